// Posts split over several articles: each part kept in the work folder
// until the post is whole, then joined and placed like any other picture.

#include "engine/PostRetriever.h"

#include "decode/PictureType.h"
#include "engine/PassContext.h"
#include "engine/PassHistory.h"
#include "engine/PassReport.h"
#include "engine/PostParts.h"
#include "platform/ContentHash.h"
#include "platform/StagedFile.h"
#include "platform/System.h"

namespace ng {

namespace {

// The articles to be asked for after a post's article `from - 1`: the
// post's later parts, then what comes after the post.
std::vector<ArticleRequest> Requests(const PendingEntry& entry, size_t from,
                                     const std::vector<ArticleRequest>& later) {
    std::vector<ArticleRequest> requests;
    for (size_t i = from; i < entry.size(); ++i) {
        requests.push_back({entry[i].number, entry[i].messageId});
    }
    requests.insert(requests.end(), later.begin(), later.end());
    return requests;
}

// A piece that does not fit the parts kept before it: why, or "".
std::string Mismatch(const PartialPost& post, int64_t part, const Piece& piece) {
    if (piece.total != 0 && post.total != 0 && piece.total != post.total) {
        return "says " + std::to_string(piece.total) + " parts, the subject " +
               std::to_string(post.total);
    }
    if (piece.part != 0 && piece.part != part) {
        return "says it is part " + std::to_string(piece.part);
    }
    if (!post.parts.empty() && (post.parts.begin()->second.offset < 0) != (piece.offset < 0)) {
        return "encoded unlike the other parts";
    }
    if (post.fileSize >= 0 && piece.fileSize >= 0 && post.fileSize != piece.fileSize) {
        return "file size " + std::to_string(piece.fileSize) + ", the other parts " +
               std::to_string(post.fileSize);
    }
    return {};
}

// The number of parts of a file whose header does not say: every part but
// the last has the size of the first, so a piece's size or place gives it.
int64_t PartsOfFile(const Piece& piece) {
    int64_t partBytes = 0;
    if (piece.part == 1) {
        partBytes = piece.bytes;
    } else if (piece.part > 1 && piece.offset > 0 && piece.offset % (piece.part - 1) == 0) {
        partBytes = piece.offset / (piece.part - 1);
    }
    if (partBytes <= 0 || piece.fileSize <= 0) {
        return 0;
    }
    return (piece.fileSize + partBytes - 1) / partBytes;
}

}  // namespace

void PostRetriever::RetrievePost(const PendingEntry& entry,
                                 const std::vector<ArticleRequest>& later, EntryOutcome& outcome) {
    auto counter = MultiPartCounter(entry.front().subject);
    const std::string key = PostKey(entry.front().subject, *counter, entry.front().from);
    std::optional<PartialPost> kept = m_parts.Find(key);
    PartialPost post = kept ? std::move(*kept) : PartialPost{};
    if (!kept) {
        post.key = key;
        post.total = counter->total;
        post.created = NowSeconds();
    }
    for (size_t i = 0; i < entry.size(); ++i) {
        const OverviewRecord& record = entry[i];
        const int64_t part = MultiPartCounter(record.subject)->part;
        if (post.parts.count(part) != 0) {
            continue;  // kept in an earlier pass, or from an earlier copy of the part
        }
        m_strSubject = record.subject;
        m_expectedLines = record.lines;
        if (!KeepPart(post, part, record, Requests(entry, i + 1, later), outcome)) {
            for (size_t rest = i; rest < entry.size(); ++rest) {
                outcome.undone.push_back(entry[rest].number);
            }
            return;
        }
    }
    if (post.Complete() && !JoinPost(post, outcome)) {
        // Not saved for the folder's sake: the parts stay kept, and every
        // part stays due, so the next pass joins them again.
        for (const OverviewRecord& record : entry) {
            outcome.undone.push_back(record.number);
        }
    }
}

bool PostRetriever::KeepPart(PartialPost& post, int64_t part, const OverviewRecord& record,
                             const std::vector<ArticleRequest>& upcoming, EntryOutcome& outcome) {
    int64_t articleStart = 0;
    switch (Fetch(record, upcoming, articleStart)) {
        case Fetched::Cut:
            return false;
        case Fetched::Missing:
            outcome.missing.push_back(record);  // the post waits for it
            return true;
        case Fetched::Body:
            break;
    }
    if (m_saver.HoldsWholeFile()) {
        // A counter that counts files, not parts: this article is a picture of its own.
        const Saving saved = SaveAll(outcome);
        m_report.ShowTransferFigures(articleStart);
        if (saved == Saving::Done) {
            m_report.Window().SetSavingToText("");
        }
        return saved != Saving::Failed;
    }
    return StorePiece(post, part, record, articleStart, outcome);
}

// An article whose subject counts no parts, but whose own header says it is
// one part of a named file (posters that hide their subjects): the part is
// kept under the file's name, size and sender, and the file is joined once
// every part has come, however the articles were found.
void PostRetriever::KeepLonePart(const FilePart& held, const OverviewRecord& record,
                                 int64_t articleStart, EntryOutcome& outcome) {
    const std::string key =
        "\t" + held.name + "\t" + std::to_string(held.size) + "\t" + record.from;
    std::optional<PartialPost> kept = m_parts.Find(key);
    PartialPost post = kept ? std::move(*kept) : PartialPost{};
    if (!kept) {
        post.key = key;
        post.total = held.total;  // 0: worked out from the first piece kept
        post.created = NowSeconds();
    }
    if (post.parts.count(held.part) != 0) {
        m_saver.Drop();  // another copy of a part kept already
        return;
    }
    if (!StorePiece(post, held.part, record, articleStart, outcome) ||
        (post.Complete() && !JoinPost(post, outcome))) {
        outcome.undone.push_back(record.number);
    }
}

bool PostRetriever::StorePiece(PartialPost& post, int64_t part, const OverviewRecord& record,
                               int64_t articleStart, EntryOutcome& outcome) {
    // A part that cannot be kept is not dealt with: the mark stays below it
    // and the pass ends saying so.
    std::string folder;
    StagedFile file;
    int error = m_parts.Folder(post.key, folder);
    if (error == 0) {
        error = file.Create(folder, 0600);
    }
    if (error != 0) {
        m_saver.Drop();
        WriteFailed(error, files::kPartsFolder, /*groupFolder=*/false, outcome);
        return false;
    }
    Piece piece;
    DecodeStatus status = m_saver.SavePiece(file, piece, &m_pass.Pause());
    m_report.ShowTransferFigures(articleStart);
    m_report.Window().SetSavingToText("");
    if (status.error != 0) {
        WriteFailed(status.error, files::kPartsFolder, /*groupFolder=*/false, outcome);
        return false;
    }
    if (status.damage.empty()) {
        status.damage = Mismatch(post, part, piece);
    }
    const std::string shownName = post.name.empty() ? piece.name : post.name;
    if (!status.damage.empty()) {
        // Not kept: a later copy or a repost of the part may still complete the post.
        ReportDamage(shownName.empty() ? record.subject : shownName,
                     "part " + std::to_string(part) + ": " + status.damage);
        return true;
    }
    if (error = file.Place(PartialPosts::PartFileName(part)); error == EEXIST) {
        // Left by a pass that ended before it noted the part: ours to replace.
        ::unlink((folder + PartialPosts::PartFileName(part)).c_str());
        error = file.Place(PartialPosts::PartFileName(part));
    }
    PartialPost updated = post;
    if (error == 0) {
        if (updated.total == 0) {
            updated.total = PartsOfFile(piece);
        }
        if (updated.name.empty() && !piece.name.empty()) {
            updated.name = piece.name;
            updated.extensionGuessed = piece.extensionGuessed;
        }
        if (piece.fileSize >= 0) {
            updated.fileSize = piece.fileSize;
        }
        if (piece.fileCrc) {
            updated.fileCrc = piece.fileCrc;
        }
        updated.parts[part] = {record.lines, piece.offset, piece.bytes};
        error = m_parts.Store(updated);
    }
    if (error != 0) {
        WriteFailed(error, files::kPartsFolder, /*groupFolder=*/false, outcome);
        return false;
    }
    post = std::move(updated);
    return true;
}

bool PostRetriever::JoinPost(const PartialPost& post, EntryOutcome& outcome) {
    StagedFile picture;
    SaveOutcome saved;
    int error = picture.Create(m_folder.saveDir);
    PartialPosts::Joined joined;
    std::optional<ContentDigest> digest;
    if (m_history.Hashes()) {
        digest.emplace();
    }
    if (error == 0) {
        joined = m_parts.Join(post, picture.Fd(), digest ? &*digest : nullptr);
        error = joined.error;
    }
    if (error != 0) {
        saved.kind = SaveOutcome::Failed;
        saved.error = error;
    } else if (!joined.damage.empty()) {
        saved.kind = SaveOutcome::Damaged;
        saved.name = post.name.empty() ? post.key.substr(0, post.key.find('\t')) : post.name;
        saved.damage = joined.damage;
    } else if (m_settings.picturesOnly && !IsPictureFile(picture.Fd())) {
        saved.kind = SaveOutcome::NotPicture;
        saved.name = saved.asked = saved.given = post.name;
    } else {
        saved =
            PlacePicture(picture, {m_folder.saveDir, post.name, post.extensionGuessed, nullptr,
                                   m_history.Hashes(), digest ? digest->Finish() : std::nullopt});
    }
    if (saved.kind == SaveOutcome::Failed) {
        Report(saved, outcome);
        return false;
    }
    m_parts.Remove(post.key);
    if (saved.kind != SaveOutcome::NotSaved && Report(saved, outcome)) {
        Remember(saved);
        Finished();
    }
    return true;
}

}  // namespace ng
