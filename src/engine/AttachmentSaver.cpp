#include "engine/AttachmentSaver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/StagedFile.h"

namespace ng {

namespace {

// How many names beside a taken one are tried before the picture is given up.
constexpr int kMaxFreeNames = 1000;

// Whether the regular file at `path` holds exactly the bytes of `fd`. Never
// follows a link and never waits on a FIFO.
bool SameBytes(const std::string& path, int fd) {
    int other = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (other < 0) {
        return false;
    }
    struct stat mine {
    }, theirs{};
    bool same = ::fstat(fd, &mine) == 0 && ::fstat(other, &theirs) == 0 &&
                S_ISREG(theirs.st_mode) && mine.st_size == theirs.st_size;
    char a[65536], b[65536];
    for (off_t at = 0; same && at < mine.st_size;) {
        ssize_t n = ::pread(fd, a, sizeof a, at);
        ssize_t m = n > 0 ? ::pread(other, b, static_cast<size_t>(n), at) : -1;
        same = n > 0 && m == n && std::memcmp(a, b, static_cast<size_t>(n)) == 0;
        at += n;
    }
    ::close(other);
    return same;
}

// A name the file system refuses is the article's fault, not the folder's.
bool IsBadName(int error) {
    return error == ENAMETOOLONG || error == EINVAL || error == EILSEQ;
}

}  // namespace

std::string FreeNameCandidate(const std::string& name, int n) {
    if (n == 0) {
        return name;
    }
    size_t dot = name.find_last_of('.');
    if (dot == std::string::npos) {
        dot = name.size();
    }
    return name.substr(0, dot) + "-" + std::to_string(n) + name.substr(dot);
}

AttachmentSaver::AttachmentSaver() {
    m_formats.push_back(MakeUuFormat());
    m_formats.push_back(MakeBase64Format());
}

void AttachmentSaver::Begin(std::string saveDir) {
    m_strSaveDir = std::move(saveDir);
    m_strFileName.clear();
    m_lines.Clear();
    for (auto& format : m_formats) {
        format->Reset();
    }
}

LineNote AttachmentSaver::Take(std::string_view line) {
    LineNote merged;
    for (auto& format : m_formats) {
        LineNote note = format->Notice(line);
        merged.restartCount = merged.restartCount || note.restartCount;
        if (note.name) {
            m_strFileName = *note.name;
            merged.name = std::move(note.name);
        }
        if (note.shown) {
            merged.shown = std::move(note.shown);
        }
    }
    m_lines.Add(line);
    return merged;
}

void AttachmentSaver::Drop() {
    m_lines.Clear();
}

AttachmentSaver::Outcome AttachmentSaver::Save(bool saveAscii, PauseGate* pause) {
    Outcome outcome;
    AttachmentFormat* format = nullptr;
    for (auto& candidate : m_formats) {
        if (candidate->Found()) {
            format = candidate.get();
            break;
        }
    }
    if (m_strFileName.empty()) {
        Drop();
        return outcome;  // nothing to name the file by
    }

    StagedFile picture;
    StagedFile raw;
    const bool keepRaw = saveAscii && format && format->KeepsRawCopy();
    int error = picture.Create(m_strSaveDir);
    if (error == 0 && keepRaw) {
        error = raw.Create(m_strSaveDir);
    }
    // An article without a known encoding leaves an empty file, as it always did.
    if (error == 0 && format) {
        error = format->Decode(m_lines, {picture.Fd(), keepRaw ? raw.Fd() : -1, pause});
    }
    Drop();
    if (error != 0) {
        outcome.kind = Outcome::Failed;
        outcome.error = error;
        return outcome;
    }

    for (int n = 0; n < kMaxFreeNames; ++n) {
        std::string name = FreeNameCandidate(m_strFileName, n);
        if (SameBytes(m_strSaveDir + name, picture.Fd())) {
            outcome.kind = Outcome::Duplicate;
            outcome.name = std::move(name);
            return outcome;
        }
        error = picture.Place(name);
        if (error == EEXIST) {
            continue;
        }
        if (error != 0) {
            outcome.kind = IsBadName(error) ? Outcome::NotSaved : Outcome::Failed;
            outcome.error = error;
            return outcome;
        }
        if (keepRaw) {
            raw.Place(name + "a");  // never over a file that is there already
        }
        outcome.kind = Outcome::Saved;
        outcome.name = std::move(name);
        return outcome;
    }
    return outcome;  // every name beside it taken: give the picture up
}

}  // namespace ng
