#pragma once
// What the fuzz targets share: a scratch folder per process, a look at every
// file under it, a loopback peer, the splitting of input into lines, and a
// check that aborts (so libFuzzer keeps the input) with a message.

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "support/Loopback.h"
#include "support/TempDir.h"

namespace fuzzsupport {

[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "\nFUZZ CHECK FAILED: %s (%s:%d)\n", what, file, line);
    std::abort();
}

#define FUZZ_CHECK(condition)                                    \
    do {                                                         \
        if (!(condition)) {                                      \
            ::fuzzsupport::Fail(#condition, __FILE__, __LINE__); \
        }                                                        \
    } while (0)

// A fresh folder under $TMPDIR (or /tmp) for the life of the process.
class ScratchDir : public ngtest::TempDir {
public:
    ScratchDir() : TempDir("ng-fuzz.") {}
};

// Listens on an ephemeral loopback port for the life of the process: a
// thread of its own accepts one connection at a time, sets TCP_NODELAY (tiny
// writes leave as tiny segments), hands it to `talk` and closes it after.
// Gives the port.
inline int ServeLoopback(std::function<void(int fd)> talk) {
    int port = 0;
    const int listenFd = ngtest::BindLoopback(port, 4);
    FUZZ_CHECK(listenFd >= 0);
    std::thread([listenFd, talk = std::move(talk)] {
        for (;;) {
            int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                continue;
            }
            int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            talk(fd);
            ::close(fd);
        }
    }).detach();
    return port;
}

// Every entry under `root`, as paths relative to it; folders end in '/',
// and anything that is neither a plain file nor a folder (a link, a fifo)
// ends in "/?", which no file name can (a name may well end in '?').
inline std::set<std::string> ListTree(const std::string& root) {
    std::set<std::string> entries;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(root, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        std::string relative = std::filesystem::relative(it->path(), root).string();
        auto status = it->symlink_status();
        if (std::filesystem::is_directory(status)) {
            relative += '/';
        } else if (!std::filesystem::is_regular_file(status)) {
            relative += "/?";
        }
        entries.insert(relative);
    }
    return entries;
}

// Empties a folder, keeping the folder itself.
inline void RemoveContents(const std::string& dir) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
        std::filesystem::remove_all(entry.path(), error);
    }
}

// The lines of a text, each with its '\n'; text after the last '\n' is one
// more line without it.
inline std::vector<std::string_view> LinesWithEnds(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        size_t lf = text.find('\n');
        size_t length = lf == std::string_view::npos ? text.size() : lf + 1;
        lines.push_back(text.substr(0, length));
        text.remove_prefix(length);
    }
    return lines;
}

inline std::string ReadAll(const std::string& path) {
    std::string bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buffer[65536];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
            bytes.append(buffer, n);
        }
        std::fclose(f);
    }
    return bytes;
}

inline void WriteAll(const std::string& path, std::string_view bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    FUZZ_CHECK(std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
    std::fclose(f);
}

}  // namespace fuzzsupport
