#include "platform/StagedFile.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace ng {

namespace {

// renameat2 with RENAME_NOREPLACE: the name must be free, and a link in its
// place is never followed.
int RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    // A file system without the flag: a hard link is refused just the same
    // when the name is taken.
    if (::link(from.c_str(), to.c_str()) != 0) {
        return errno;
    }
    ::unlink(from.c_str());
    return 0;
}

}  // namespace

int StagedFile::Create(const std::string& directory, mode_t mode) {
    Discard();
    m_strDirectory = directory;
    const std::string folder = directory.empty() ? "." : directory;
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
    if (fd >= 0) {
        m_fd = fd;
        return 0;
    }
    // EISDIR and EOPNOTSUPP: no unnamed files here; anything else is the
    // folder's own failure (missing, not writable, full).
    if (errno != EISDIR && errno != EOPNOTSUPP && errno != EINVAL) {
        return errno;
    }
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        m_strTempPath = directory + ".newsgleaner-" + std::to_string(::getpid()) + "-" +
                        std::to_string(counter.fetch_add(1)) + ".part";
        fd =
            ::open(m_strTempPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0) {
            m_fd = fd;
            return 0;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    int error = errno;
    m_strTempPath.clear();
    return error;
}

int StagedFile::Place(const std::string& name) {
    if (m_fd < 0) {
        return EBADF;
    }
    const std::string path = m_strDirectory + name;
    int error = 0;
    if (!m_strTempPath.empty()) {
        error = RenameNoReplace(m_strTempPath, path);
    } else {
        // linkat refuses a name that is taken, whatever is there.
        const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) != 0) {
            error = errno;
            if (error == ENOENT && ::access("/proc/self/fd", F_OK) != 0 &&
                ::linkat(m_fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) {
                error = 0;  // no /proc: the privileged way
            }
        }
    }
    if (error != 0) {
        return error;
    }
    ::close(m_fd);
    m_fd = -1;
    m_strTempPath.clear();
    return 0;
}

void StagedFile::Discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_strTempPath.empty()) {
        ::unlink(m_strTempPath.c_str());
        m_strTempPath.clear();
    }
}

}  // namespace ng
