#include "platform/TextFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

namespace ng {
namespace {

void SetError(int* error, int value) {
    if (error) {
        *error = value;
    }
}

bool WriteAll(int fd, const char* data, size_t size, int* error) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            SetError(error, errno);
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

std::string DirectoryOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Creates a fresh temporary file beside `path`. The name is unique within the
// process (counter) and among processes (pid); O_EXCL guards the rest.
int CreateTemporaryBeside(const std::string& path, mode_t mode, std::string& tempPath) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = path + ".~tmp" + std::to_string(::getpid()) + "-" +
                   std::to_string(counter.fetch_add(1));
        int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

// Opens a file to add to it, creating it when missing: never through a link,
// never into a file that has other names, never into anything but a regular
// file, and never waiting (a FIFO without a reader is refused at once).
int OpenForWriting(const std::string& path, int* error) {
    int fd = ::open(path.c_str(),
                    O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        SetError(error, errno);
        return -1;
    }
    struct stat st {};
    int refusal = 0;
    if (::fstat(fd, &st) != 0) {
        refusal = errno;
    } else if (!S_ISREG(st.st_mode)) {
        refusal = EINVAL;
    } else if (st.st_nlink > 1) {
        refusal = EMLINK;
    }
    if (refusal != 0) {
        ::close(fd);
        SetError(error, refusal);
        errno = refusal;
        return -1;
    }
    return fd;
}

}  // namespace

std::string_view WithoutByteOrderMarks(std::string_view text) {
    while (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    return text;
}

std::vector<std::string> SplitTextLines(std::string_view text) {
    // Some editors begin a UTF-8 file with a byte order mark: it is no text.
    text = WithoutByteOrderMarks(text);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t lf = text.find('\n', start);
        size_t end = (lf == std::string_view::npos) ? text.size() : lf;
        size_t len = end - start;
        if (len > 0 && text[start + len - 1] == '\r') {
            --len;
        }
        lines.emplace_back(text.substr(start, len));
        if (lf == std::string_view::npos) {
            break;
        }
        start = lf + 1;
    }
    return lines;
}

bool ReadWholeFile(const std::string& path, std::string& contents) {
    contents.clear();
    // Without blocking: opening a FIFO would wait for a writer forever.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        int error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        errno = error;
        return false;
    }
    if (st.st_size > 0) {
        contents.reserve(static_cast<size_t>(st.st_size));
    }
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            int saved = errno;
            ::close(fd);
            errno = saved;
            return false;
        }
        if (n == 0) {
            break;
        }
        contents.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}

bool ReadTextLines(const std::string& path, std::vector<std::string>& lines) {
    std::string contents;
    if (!ReadWholeFile(path, contents)) {
        lines.clear();
        return false;
    }
    lines = SplitTextLines(contents);
    return true;
}

bool ForEachTextLine(const std::string& path, const std::function<void(std::string_view)>& onLine) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        int error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        errno = error;
        return false;
    }
    auto hand = [&](std::string_view line) {
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        onLine(line);
    };
    static constexpr std::string_view kMark = "\xEF\xBB\xBF";
    std::string pending;  // the start of a line not yet ended
    bool atStart = true;  // byte order marks may still be coming
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            int saved = errno;
            ::close(fd);
            errno = saved;
            return false;
        }
        if (n == 0) {
            break;
        }
        pending.append(buffer, static_cast<size_t>(n));
        if (atStart) {
            std::string_view rest = WithoutByteOrderMarks(pending);
            if (rest.size() < kMark.size() && kMark.starts_with(rest)) {
                continue;  // a mark cut by the read: wait for the rest of it
            }
            pending.erase(0, pending.size() - rest.size());
            atStart = false;
        }
        std::string_view text = pending;
        for (size_t lf = text.find('\n'); lf != std::string_view::npos; lf = text.find('\n')) {
            hand(text.substr(0, lf));
            text.remove_prefix(lf + 1);
        }
        pending.erase(0, pending.size() - text.size());
    }
    ::close(fd);
    std::string_view rest = atStart ? WithoutByteOrderMarks(pending) : std::string_view(pending);
    if (!rest.empty()) {
        hand(rest);
    }
    return true;
}

bool ReplaceFileContents(const std::string& path, std::string_view contents, int* error,
                         mode_t mode, Durability durability) {
    const bool durable = durability == Durability::Durable;
    std::string tempPath;
    int fd = CreateTemporaryBeside(path, mode, tempPath);
    if (fd < 0) {
        SetError(error, errno);
        return false;
    }
    bool ok = WriteAll(fd, contents.data(), contents.size(), error);
    if (ok && durable && ::fsync(fd) != 0) {
        SetError(error, errno);
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        SetError(error, errno);
        ok = false;
    }
    if (ok && ::rename(tempPath.c_str(), path.c_str()) != 0) {
        SetError(error, errno);
        ok = false;
    }
    if (!ok) {
        ::unlink(tempPath.c_str());
        return false;
    }
    // Make the rename itself durable; a failure here loses nothing already written.
    int dirFd =
        durable ? ::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

bool ReplaceTextFile(const std::string& path, const std::vector<std::string>& lines, int* error,
                     mode_t mode, Durability durability) {
    std::string contents;
    size_t total = 0;
    for (const auto& line : lines) {
        total += line.size() + 1;
    }
    contents.reserve(total);
    for (const auto& line : lines) {
        contents += line;
        contents += '\n';
    }
    return ReplaceFileContents(path, contents, error, mode, durability);
}

bool AppendTextLine(const std::string& path, std::string_view line, int* error) {
    int fd = OpenForWriting(path, error);
    if (fd < 0) {
        return false;
    }
    std::string record;
    record.reserve(line.size() + 1);
    record.append(line);
    record += '\n';
    bool ok = WriteAll(fd, record.data(), record.size(), error);
    if (::close(fd) != 0 && ok) {
        SetError(error, errno);
        ok = false;
    }
    return ok;
}

bool CreateEmptyFile(const std::string& path, int* error) {
    int fd = OpenForWriting(path, error);
    if (fd < 0) {
        return false;
    }
    bool ok = ::ftruncate(fd, 0) == 0;
    if (!ok) {
        SetError(error, errno);
    }
    ::close(fd);
    return ok;
}

std::string LinkTarget(const std::string& path) {
    std::string target = path;
    // A bounded walk: a loop of links ends as the last name reached.
    for (int hops = 0; hops < 40; ++hops) {
        char buffer[4096];
        ssize_t n = ::readlink(target.c_str(), buffer, sizeof buffer);
        if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer) {
            break;
        }
        std::string next(buffer, static_cast<size_t>(n));
        if (next.front() != '/') {
            std::string dir = DirectoryOf(target);
            next = (dir == "/" ? "" : dir) + "/" + next;
        }
        target = std::move(next);
    }
    return target;
}

bool IsRefusedFile(int error) {
    return error == ELOOP || error == EMLINK || error == EINVAL || error == ENXIO;
}

bool IsDiskFullError(int error) {
    return error == ENOSPC || error == EDQUOT;
}

bool CanEnterDirectory(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

}  // namespace ng
