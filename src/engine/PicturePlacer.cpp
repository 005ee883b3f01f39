#include "engine/PicturePlacer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "decode/PictureType.h"
#include "platform/ContentHash.h"
#include "platform/FileNames.h"
#include "platform/StagedFile.h"
#include "store/PictureHashes.h"

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

std::string NameByType(int fd, const std::string& name, bool extensionGuessed) {
    constexpr std::string_view kGuess = ".jpg";
    if (!extensionGuessed || !name.ends_with(kGuess)) {
        return name;
    }
    char head[kPictureSignatureBytes];
    ssize_t n = ::pread(fd, head, sizeof head, 0);
    std::string_view extension =
        PictureExtension(SniffPictureType(std::string_view(head, n > 0 ? n : 0)));
    if (extension.empty() || extension == kGuess) {
        return name;
    }
    std::string typed = name.substr(0, name.size() - kGuess.size()) + std::string(extension);
    return SafeLeafName(typed).value_or(name);  // ".webp" may make it too long
}

SaveOutcome PlacePicture(StagedFile& picture, const PlaceRequest& request) {
    SaveOutcome outcome;
    const std::string name = NameByType(picture.Fd(), request.name, request.extensionGuessed);
    outcome.asked = request.name;
    outcome.given = name;
    std::optional<std::string> hash = request.hash;
    if (request.hashes && !hash) {
        hash = Sha256OfFile(picture.Fd());
    }
    if (request.hashes && hash) {
        if (auto earlier = request.hashes->Find(*hash)) {
            outcome.kind = SaveOutcome::KnownContent;
            outcome.name = name;
            outcome.earlier = *earlier;
            return outcome;
        }
    }
    for (int n = 0; n < kMaxFreeNames; ++n) {
        std::string candidate = FreeNameCandidate(name, n);
        if (SameBytes(request.dir + candidate, picture.Fd())) {
            outcome.kind = SaveOutcome::Duplicate;
            outcome.name = std::move(candidate);
            break;
        }
        int error = picture.Place(candidate);
        if (error == EEXIST) {
            continue;
        }
        if (error != 0) {
            outcome.kind = IsBadName(error) ? SaveOutcome::NotSaved : SaveOutcome::Failed;
            outcome.error = error;
            return outcome;
        }
        if (request.raw) {
            // Never over a file that is there already; the picture counts more than its text.
            (void)request.raw->Place(candidate + "a");
        }
        outcome.kind = SaveOutcome::Saved;
        outcome.name = std::move(candidate);
        break;
    }
    if (hash && request.hashes && outcome.kind != SaveOutcome::NotSaved) {
        request.hashes->Add(*hash, outcome.name);
    }
    return outcome;  // NotSaved when every name beside it was taken
}

}  // namespace ng
