#include "engine/AttachmentSaver.h"

#include <algorithm>

#include "decode/ArticleAttachments.h"
#include "decode/PictureType.h"
#include "platform/ContentHash.h"
#include "platform/StagedFile.h"

namespace ng {

AttachmentSaver::AttachmentSaver() {
    m_formats.push_back(MakeYencFormat());
    m_formats.push_back(MakeUuFormat());
    m_formats.push_back(MakeBase64Format());
}

void AttachmentSaver::Begin(std::string saveDir, std::string subject) {
    m_strSaveDir = std::move(saveDir);
    m_strSubject = std::move(subject);
    m_strFileName.clear();
    m_lines.Clear();
    m_runEnds.clear();
    for (auto& format : m_formats) {
        format->Reset();
    }
}

LineNote AttachmentSaver::Take(std::string_view line) {
    LineNote merged;
    // A yEnc header names its file beyond doubt: once one is seen, what the
    // other formats take for a name (any line saying "base64") renames
    // nothing. Between uu and base64 the last name seen is shown.
    const bool yencFound = m_formats.front()->Found();
    for (auto& format : m_formats) {
        if (merged.dataLine) {
            break;  // a body's data line: nothing for the formats after it
        }
        LineNote note = format->Notice(line);
        merged.dataLine = note.dataLine;
        merged.restartCount = merged.restartCount || note.restartCount;
        if (yencFound && format != m_formats.front()) {
            continue;
        }
        if (note.name) {
            m_strFileName = *note.name;
            merged.name = std::move(note.name);
            merged.extensionGuessed = note.extensionGuessed;
        }
        if (note.shown) {
            merged.shown = std::move(note.shown);
        }
    }
    m_lines.Add(line);
    return merged;
}

size_t AttachmentSaver::TakeQuiet(const LineRun& run, size_t first) {
    if (first == 0) {
        m_runEnds.assign(m_formats.size(), {});  // a new run
    }
    // As Take asks the formats: in order, none after one whose body data
    // the lines are. What a format found stays true up to where it stopped
    // counting: only at the line that ended its run can its state change.
    size_t end = run.Size();
    for (size_t f = 0; f < m_formats.size() && end > first; ++f) {
        RunEnd& known = m_runEnds[f];
        if (first >= known.end) {
            // No further than the formats before it let the run go.
            known.end = first + m_formats[f]->DataLines(run, first, end);
            known.data = known.end > first;
            if (!known.data) {
                known.end = first + m_formats[f]->QuietLines(run, first, end);
            }
        }
        end = std::min(end, known.end);
        if (known.data) {
            break;
        }
    }
    if (end <= first) {
        return 0;
    }
    m_lines.Add(run, first, end - first);
    return end - first;
}

void AttachmentSaver::Drop() {
    m_lines.Clear();
}

AttachmentFormat* AttachmentSaver::FoundFormat() const {
    for (const auto& candidate : m_formats) {
        if (candidate->Found()) {
            return candidate.get();
        }
    }
    return nullptr;
}

std::vector<SaveOutcome> AttachmentSaver::Save(const Options& options) {
    std::vector<SaveOutcome> outcomes;
    for (const Attachment& attachment : FindAttachments(m_lines, m_formats, m_strSubject)) {
        outcomes.push_back(SaveOne(attachment, options));
        if (outcomes.back().kind == SaveOutcome::Failed) {
            break;  // the folder's fault: no later attachment would fare better
        }
    }
    Drop();
    if (!outcomes.empty() && !outcomes.front().given.empty()) {
        m_strFileName = outcomes.front().given;
    }
    return outcomes;
}

SaveOutcome AttachmentSaver::SaveOne(const Attachment& attachment, const Options& options) {
    SaveOutcome outcome;
    outcome.name = outcome.asked = outcome.given = attachment.name;
    if (attachment.name.empty()) {
        return outcome;  // nothing to name the file by: NotSaved
    }
    StagedFile picture;
    StagedFile raw;
    const bool keepRaw = options.saveAscii && attachment.format->KeepsRawCopy();
    DecodeStatus status{picture.Create(m_strSaveDir), {}};
    if (status.Ok() && keepRaw) {
        status.error = raw.Create(m_strSaveDir);
    }
    // The hash is taken while the bytes are written, not read back after.
    std::optional<ContentDigest> digest;
    if (options.hashes) {
        digest.emplace();
    }
    if (status.Ok()) {
        status = attachment.format->Decode(
            m_lines, attachment,
            {picture.Fd(), keepRaw ? raw.Fd() : -1, options.pause, digest ? &*digest : nullptr});
    }
    if (status.error != 0) {
        outcome.kind = SaveOutcome::Failed;
        outcome.error = status.error;
        return outcome;
    }
    // The staged file goes with nothing named.
    if (!status.damage.empty()) {
        outcome.kind = SaveOutcome::Damaged;
        outcome.damage = status.damage;
        return outcome;
    }
    if (options.picturesOnly && !IsPictureFile(picture.Fd())) {
        outcome.kind = SaveOutcome::NotPicture;
        return outcome;
    }
    return PlacePicture(picture, {m_strSaveDir, attachment.name, attachment.extensionGuessed,
                                  keepRaw ? &raw : nullptr, options.hashes,
                                  digest ? digest->Finish() : std::nullopt});
}

bool AttachmentSaver::HoldsWholeFile() const {
    AttachmentFormat* format = FoundFormat();
    return format && format->FoundWhole();
}

std::optional<FilePart> AttachmentSaver::HeldPart() const {
    AttachmentFormat* format = FoundFormat();
    return format ? format->FoundPart() : std::nullopt;
}

DecodeStatus AttachmentSaver::SavePiece(StagedFile& file, Piece& piece, PauseGate* pause) {
    AttachmentFormat* format =
        m_formats.front()->Found() ? m_formats.front().get() : m_formats[1].get();  // uu
    DecodeStatus status = format->DecodePiece(m_lines, {file.Fd(), -1, pause}, piece);
    Drop();
    return status;
}

}  // namespace ng
