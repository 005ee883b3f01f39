#pragma once
// Shared by the decoder tests: attachments encoded in memory, feeding them
// line by line as a server sends them, and a tiny file system to fill up.

#include <sys/mount.h>
#include <unistd.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace dectest {

inline std::string RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (auto& byte : bytes) {
        byte = static_cast<char>(random());
    }
    return bytes;
}

// The data lines of a uuencoded file, 45 bytes a line, ending with the
// zero-length line; every character in the backquote form for 0.
inline std::vector<std::string> UuDataLines(const std::string& data) {
    auto put = [](unsigned v) { return static_cast<char>(v ? v + 32 : '`'); };
    std::vector<std::string> lines;
    for (size_t at = 0; at <= data.size(); at += 45) {
        size_t n = std::min<size_t>(45, data.size() - at);
        std::string line(1, put(static_cast<unsigned>(n)));
        for (size_t i = 0; i < n; i += 3) {
            unsigned char b[3] = {};
            for (size_t k = 0; k < 3 && i + k < n; ++k) {
                b[k] = static_cast<unsigned char>(data[at + i + k]);
            }
            line += put(b[0] >> 2);
            line += put((b[0] << 4 | b[1] >> 4) & 63);
            line += put((b[1] << 2 | b[2] >> 6) & 63);
            line += put(b[2] & 63);
        }
        lines.push_back(line + "\r\n");
        if (n == 0) {
            break;
        }
    }
    return lines;
}

// base64 of the data in lines of 76 characters, each ending in CR LF.
inline std::vector<std::string> Base64Lines(const std::string& data) {
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (size_t i = 0; i < data.size(); i += 3) {
        unsigned v = static_cast<unsigned char>(data[i]) << 16;
        if (i + 1 < data.size())
            v |= static_cast<unsigned char>(data[i + 1]) << 8;
        if (i + 2 < data.size())
            v |= static_cast<unsigned char>(data[i + 2]);
        text += alphabet[v >> 18];
        text += alphabet[v >> 12 & 63];
        text += i + 1 < data.size() ? alphabet[v >> 6 & 63] : '=';
        text += i + 2 < data.size() ? alphabet[v & 63] : '=';
    }
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size(); at += 76) {
        lines.push_back(text.substr(at, 76) + "\r\n");
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
