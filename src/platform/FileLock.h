#pragma once
// An exclusive lock between processes, held for the life of the object, on
// a lock file beside what it guards (path + ".lock"). It serialises whole
// read-change-write updates of files that are replaced by rename, where a
// lock on the file itself would go with the old file.

#include <string>

namespace ng {

class FileLock {
public:
    explicit FileLock(const std::string& path);
    ~FileLock();  // closing the lock file releases the lock
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // False when the lock file could not be opened: the caller goes on unlocked.
    bool Held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

}  // namespace ng
