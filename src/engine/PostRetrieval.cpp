// One accepted post split over several articles: every part not kept yet is
// fetched and its piece kept in the work folder; once all parts are there
// they are joined into the picture, which is then saved like any other.

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "decode/PictureType.h"
#include "decode/Yenc.h"
#include "engine/PostParts.h"
#include "engine/ProcessGroups.h"
#include "platform/ShowableText.h"
#include "platform/StagedFile.h"
#include "platform/System.h"
#include "platform/TextFile.h"

using namespace ng;

namespace {

// A piece that does not fit the parts kept before it: why, or "".
std::string Mismatch(const PartialPost& post, int64_t part, const Piece& piece) {
    if (piece.total != 0 && piece.total != post.total) {
        return "says " + std::to_string(piece.total) + " parts, the subject " +
               std::to_string(post.total);
    }
    if (piece.part != 0 && piece.part != part) {
        return "says it is part " + std::to_string(piece.part);
    }
    for (const auto& [number, kept] : post.parts) {
        if ((kept.offset < 0) != (piece.offset < 0)) {
            return "encoded unlike the other parts";
        }
        break;
    }
    if (post.fileSize >= 0 && piece.fileSize >= 0 && post.fileSize != piece.fileSize) {
        return "file size " + std::to_string(piece.fileSize) + ", the other parts " +
               std::to_string(post.fileSize);
    }
    return {};
}

// Copies `bytes` bytes of `from` into `to` at `offset`. 0 or errno; EIO for
// a part that is shorter than its state says.
int CopyPart(int from, int to, int64_t offset, int64_t bytes) {
    char buffer[1 << 16];
    for (int64_t done = 0; done < bytes;) {
        size_t want = static_cast<size_t>(std::min<int64_t>(sizeof buffer, bytes - done));
        ssize_t n = ::pread(from, buffer, want, done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n == 0 ? EIO : errno;
        }
        for (ssize_t put = 0; put < n;) {
            ssize_t m =
                ::pwrite(to, buffer + put, static_cast<size_t>(n - put), offset + done + put);
            if (m < 0 && errno == EINTR) {
                continue;
            }
            if (m <= 0) {
                return m == 0 ? EIO : errno;
            }
            put += m;
        }
        done += n;
    }
    return 0;
}

uint32_t CrcOfFile(int fd, int64_t size) {
    unsigned char buffer[1 << 16];
    uint32_t crc = 0;
    for (int64_t at = 0; at < size;) {
        ssize_t n = ::pread(fd, buffer, sizeof buffer, at);
        if (n <= 0) {
            break;
        }
        crc = Crc32(crc, buffer, static_cast<size_t>(n));
        at += n;
    }
    return crc;
}

}  // namespace

bool CProcessGroups::RetrievePost(const std::vector<std::string_view>& lines) {
    std::vector<OverviewFields> parts;
    for (std::string_view line : lines) {
        parts.push_back(ParseOverviewLine(line));
    }
    auto counter = MultiPartCounter(parts.front().subject);
    const std::string key = PostKey(parts.front().subject, *counter, parts.front().from);
    std::optional<PartialPost> kept = m_parts.Find(key);
    PartialPost post = kept ? std::move(*kept) : PartialPost{};
    if (!kept) {
        post.key = key;
        post.total = counter->total;
        post.created = NowSeconds();
    }
    m_strFrom = parts.front().from;

    for (const OverviewFields& fields : parts) {
        const int64_t number = MultiPartCounter(fields.subject)->part;
        if (post.parts.count(number) != 0) {
            continue;  // kept in an earlier pass
        }
        m_strSubject = fields.subject;
        m_expectedLines = fields.lines;
        if (!KeepPart(post, number, fields)) {
            return false;
        }
    }
    if (!post.Complete()) {
        return true;  // the rest may come in a later pass
    }
    return JoinPost(post);
}

// Fetches one part and keeps its piece. False when the pass cannot go on
// with this post (a stop, a lost connection, a folder that cannot be written).
bool CProcessGroups::KeepPart(PartialPost& post, int64_t number, const OverviewFields& fields) {
    int64_t articleStart = 0;
    switch (FetchIntoSaver(fields.number, articleStart)) {
        case Fetched::NoAnswer:
        case Fetched::Cut:
            return false;
        case Fetched::NoArticle:
            return true;  // the post waits for a repost of this part
        case Fetched::Held:
            break;
    }
    if (m_saver.HoldsWholeFile()) {
        // A counter that counts files, not parts: this article is a picture of its own.
        std::vector<SaveOutcome> outcomes =
            m_saver.Save({m_settings.saveAscii, &m_pause, HashesInUse(), m_settings.picturesOnly});
        ShowTransferFigures(articleStart);
        if (!ReportOutcomes(outcomes)) {
            return !m_pass.StopRequested();
        }
        Window().SetSavingToText("");
        return true;
    }

    std::string folder;
    StagedFile file;
    int error = m_parts.Folder(post.key, folder);
    if (error == 0) {
        error = file.Create(folder, 0600);
    }
    if (error != 0) {
        m_saver.Drop();
        if (!m_bWorkFolderRefusalShown) {
            m_bWorkFolderRefusalShown = true;
            Window().SetStatusText(std::string("Unable to keep parts in ") + files::kPartsFolder +
                                   " (" + std::strerror(error) + ")");
        }
        return true;
    }
    Piece piece;
    DecodeStatus status = m_saver.SavePiece(file, piece, &m_pause);
    ShowTransferFigures(articleStart);
    Window().SetSavingToText("");
    if (status.error != 0) {
        m_pass.Fail(IsDiskFullError(status.error)
                        ? "Error--disk or directory full"
                        : std::string("Error--cannot write in ") + files::kPartsFolder + " (" +
                              std::strerror(status.error) + ")");
        return false;
    }
    if (status.damage.empty()) {
        status.damage = Mismatch(post, number, piece);
    }
    const std::string shownName = post.name.empty() ? piece.name : post.name;
    if (!status.damage.empty()) {
        // Not kept: a repost of the part may still complete the post.
        ReportDamage(shownName.empty() ? fields.subject : shownName,
                     "part " + std::to_string(number) + ": " + status.damage);
        return true;
    }
    if (error = file.Place(PartialPosts::PartFileName(number)); error == EEXIST) {
        // Left by a pass that ended before it noted the part: ours to replace.
        ::unlink((folder + PartialPosts::PartFileName(number)).c_str());
        error = file.Place(PartialPosts::PartFileName(number));
    }
    if (error != 0) {
        return true;
    }
    if (post.name.empty() && !piece.name.empty()) {
        post.name = piece.name;
        post.extensionGuessed = piece.extensionGuessed;
    }
    if (piece.fileSize >= 0) {
        post.fileSize = piece.fileSize;
    }
    if (piece.fileCrc) {
        post.fileCrc = piece.fileCrc;
    }
    post.parts[number] = {fields.lines, piece.offset, piece.bytes};
    m_parts.Store(post);
    return true;
}

// Joins the kept parts into the picture: pieces with offsets where they
// belong, which must cover the file exactly once; the others in part order.
bool CProcessGroups::JoinPost(const PartialPost& post) {
    std::vector<std::pair<int64_t, KeptPart>> order(post.parts.begin(), post.parts.end());
    const bool byOffset = order.front().second.offset >= 0;
    if (byOffset) {
        // Part numbers need not follow the offsets.
        std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) {
            return a.second.offset < b.second.offset;
        });
    }
    std::string damage;
    int64_t size = 0;
    for (const auto& [number, part] : order) {
        if (byOffset && part.offset != size) {
            damage = "the parts do not cover the file once";
        }
        size += part.bytes;
    }
    if (post.fileSize >= 0 && size != post.fileSize) {
        damage =
            "the parts hold " + std::to_string(size) + " bytes of " + std::to_string(post.fileSize);
    }
    if (post.name.empty()) {
        damage = "no part names the file";
    }

    StagedFile picture;
    int error = damage.empty() ? picture.Create(m_strSaveDir) : 0;
    int64_t appended = 0;
    for (auto it = order.begin(); damage.empty() && error == 0 && it != order.end(); ++it) {
        const auto& [number, part] = *it;
        const int64_t place = byOffset ? part.offset : appended;
        appended += part.bytes;
        int fd = m_parts.OpenPart(post.key, number);
        if (fd < 0) {
            damage = "part " + std::to_string(number) + " is missing from the work folder";
            break;
        }
        error = CopyPart(fd, picture.Fd(), place, part.bytes);
        ::close(fd);
        if (error == EIO) {
            damage = "part " + std::to_string(number) + " is cut short in the work folder";
            error = 0;
        }
    }
    if (damage.empty() && error == 0 && post.fileCrc &&
        CrcOfFile(picture.Fd(), size) != *post.fileCrc) {
        damage = "the joined file's CRC does not match";
    }

    SaveOutcome saved;
    if (error != 0) {
        saved.kind = SaveOutcome::Failed;
        saved.error = error;
    } else if (!damage.empty()) {
        saved.kind = SaveOutcome::Damaged;
        saved.name = post.name.empty() ? post.key.substr(0, post.key.find('\t')) : post.name;
        saved.damage = damage;
    } else if (m_settings.picturesOnly && !IsPictureFile(picture.Fd())) {
        saved.kind = SaveOutcome::NotPicture;
        saved.name = post.name;
    } else {
        saved = PlacePicture(
            picture, {m_strSaveDir, post.name, post.extensionGuessed, nullptr, HashesInUse()});
    }
    if (saved.kind != SaveOutcome::Failed) {
        m_parts.Remove(post.key);  // a full folder keeps the parts for the next pass
    }
    if (!ReportOutcome(saved)) {
        return false;
    }
    if (saved.kind != SaveOutcome::Damaged && saved.kind != SaveOutcome::NotPicture) {
        RememberName(saved.given);
    }
    Window().SetSavingToText("");
    Window().SetProgress(LinesDecoded, 0, 0, true);
    return true;
}
