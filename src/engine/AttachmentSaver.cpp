#include "engine/AttachmentSaver.h"

#include "platform/StagedFile.h"

namespace ng {

AttachmentSaver::AttachmentSaver() {
    m_formats.push_back(MakeYencFormat());
    m_formats.push_back(MakeUuFormat());
    m_formats.push_back(MakeBase64Format());
}

void AttachmentSaver::Begin(std::string saveDir) {
    m_strSaveDir = std::move(saveDir);
    m_strFileName.clear();
    m_bExtensionGuessed = false;
    m_lines.Clear();
    for (auto& format : m_formats) {
        format->Reset();
    }
}

LineNote AttachmentSaver::Take(std::string_view line) {
    LineNote merged;
    // A yEnc header names its file beyond doubt: once one is seen, what the
    // other formats take for a name (any line saying "base64") renames
    // nothing. Between uu and base64 the last name seen wins, as it always did.
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
            m_bExtensionGuessed = note.extensionGuessed;
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

AttachmentFormat* AttachmentSaver::FoundFormat() const {
    for (const auto& candidate : m_formats) {
        if (candidate->Found()) {
            return candidate.get();
        }
    }
    return nullptr;
}

SaveOutcome AttachmentSaver::Save(const Options& options) {
    SaveOutcome outcome;
    AttachmentFormat* format = FoundFormat();
    if (m_strFileName.empty()) {
        Drop();
        return outcome;  // nothing to name the file by
    }

    StagedFile picture;
    StagedFile raw;
    const bool keepRaw = options.saveAscii && format && format->KeepsRawCopy();
    DecodeStatus status{picture.Create(m_strSaveDir), {}};
    if (status.Ok() && keepRaw) {
        status.error = raw.Create(m_strSaveDir);
    }
    // An article without a known encoding leaves an empty file, as it always did.
    if (status.Ok() && format) {
        status = format->Decode(m_lines, {picture.Fd(), keepRaw ? raw.Fd() : -1, options.pause});
    }
    Drop();
    if (status.error != 0) {
        outcome.kind = SaveOutcome::Failed;
        outcome.error = status.error;
        return outcome;
    }
    if (!status.damage.empty()) {
        outcome.kind = SaveOutcome::Damaged;
        outcome.name = m_strFileName;
        outcome.damage = status.damage;
        return outcome;  // the staged file goes with nothing named
    }
    SaveOutcome placed = PlacePicture(picture, {m_strSaveDir, m_strFileName, m_bExtensionGuessed,
                                                keepRaw ? &raw : nullptr, options.hashes});
    m_strFileName = placed.given;
    return placed;
}

bool AttachmentSaver::HoldsWholeFile() const {
    AttachmentFormat* format = FoundFormat();
    return format && format->FoundWhole();
}

DecodeStatus AttachmentSaver::SavePiece(StagedFile& file, Piece& piece, PauseGate* pause) {
    AttachmentFormat* format =
        m_formats.front()->Found() ? m_formats.front().get() : m_formats[1].get();  // uu
    DecodeStatus status = format->DecodePiece(m_lines, {file.Fd(), -1, pause}, piece);
    Drop();
    return status;
}

}  // namespace ng
