#pragma once
// A new file that is written out of sight in its folder and given its name
// only once it is complete. Naming it never follows or replaces anything
// already there (a planted link, a user's own file): a name that is taken is
// refused, and the caller picks another. A file never named is removed, so a
// stopped or broken download leaves nothing under a picture's name.
//
// The file is unnamed while it is written (O_TMPFILE) where the file system
// allows, so a crash leaves nothing behind; elsewhere it is a hidden file
// beginning ".newsgleaner-", a name no attachment can have.

#include <sys/types.h>

#include <string>

namespace ng {

class StagedFile {
public:
    StagedFile() = default;
    ~StagedFile() { Discard(); }
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Creates the file in `directory` (ending in "/"), mode `mode` less the
    // umask. 0, or the errno of the failure.
    [[nodiscard]] int Create(const std::string& directory, mode_t mode = 0666);
    // The file to write (and read back); -1 before Create and after Place or Discard.
    int Fd() const { return m_fd; }
    // Names the file `name` in its folder and closes it. 0; EEXIST when the
    // name is taken (the file stays staged: try another); another errno when
    // it cannot be named.
    [[nodiscard]] int Place(const std::string& name);
    // Removes a file that was not placed.
    void Discard();

private:
    int m_fd = -1;
    std::string m_strDirectory;
    std::string m_strTempPath;  // the hidden stand-in, when there is no unnamed file
};

}  // namespace ng
