#pragma once
// Shared by the decoder tests: attachments encoded in memory, feeding them
// line by line as a server sends them, and a tiny file system to fill up.

#include <sys/mount.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "decode/DecodeKernels.h"
#include "support/Encoders.h"

namespace dectest {

using ng::decode::Isa;

// The vector kernel versions this processor runs (none on other machines).
inline std::vector<Isa> VectorIsas() {
    std::vector<Isa> isas;
    for (Isa isa : {Isa::Sse41, Isa::Avx2}) {
        if (ng::decode::Supported(isa)) {
            isas.push_back(isa);
        }
    }
    return isas;
}

// Every version, the plain one first.
inline std::vector<Isa> AllIsas() {
    std::vector<Isa> isas = VectorIsas();
    isas.insert(isas.begin(), Isa::Scalar);
    return isas;
}

// Decoders created while it lives use the kernels of `isa`.
class UsingIsa {
public:
    explicit UsingIsa(Isa isa) : m_previous(ng::decode::ActiveKernels().isa) {
        ng::decode::UseIsa(isa);
    }
    ~UsingIsa() { ng::decode::UseIsa(m_previous); }
    UsingIsa(const UsingIsa&) = delete;
    UsingIsa& operator=(const UsingIsa&) = delete;

private:
    Isa m_previous;
};

using ngtest::Base64Lines;
using ngtest::RandomBytes;

// The data lines of a uuencoded file, 45 bytes a line, and the zero-length
// line only where no short last line ends the data (a size that is a
// multiple of 45, none included).
inline std::vector<std::string> UuDataLines(const std::string& data) {
    std::vector<std::string> lines = ngtest::UuDataLines(data);
    if (data.size() % 45 == 0) {
        lines.push_back("`\r\n");
    }
    return lines;
}

// A tmpfs of the given size mounted on `dir` for the life of the object;
// Mounted() is false when not root or when the mount is refused.
class TinyDisk {
public:
    TinyDisk(const std::string& dir, const std::string& size) : m_dir(dir) {
        m_mounted = ::geteuid() == 0 &&
                    ::mount("tmpfs", dir.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
    }
    ~TinyDisk() {
        if (m_mounted) {
            ::umount2(m_dir.c_str(), MNT_DETACH);
        }
    }
    bool Mounted() const { return m_mounted; }

private:
    std::string m_dir;
    bool m_mounted = false;
};

}  // namespace dectest
