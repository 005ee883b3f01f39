#pragma once
// Saves the attachments of one article: watches the lines as they arrive
// for an attachment and its name (asking each encoding's format in turn),
// holds them, and at the end finds every attachment they hold and has its
// format decode it into a new file in the group's folder, which gets its
// name only once it is complete (PicturePlacer). An article that is one part
// of a multi-part post has its piece decoded instead, into a folder of the
// caller's choosing.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "decode/ArticleLines.h"
#include "decode/AttachmentFormat.h"
#include "engine/PicturePlacer.h"

namespace ng {

class PauseGate;
class PictureHashes;
class StagedFile;

class AttachmentSaver {
public:
    AttachmentSaver();

    // Starts an article whose files go into saveDir (ending in "/"); its
    // subject names an attachment that gives no name.
    void Begin(std::string saveDir, std::string subject = {});
    // One article line as it arrives; what it means for the window.
    LineNote Take(std::string_view line);
    // Takes lines from `first` on that mean nothing for the window (no
    // note), as many as it can at once: the data of a picture's body, and
    // the lines no format looks twice at. How many; 0 when line `first` is
    // to go through Take. A run is taken from its first line on, in order.
    size_t TakeQuiet(const LineRun& run, size_t first);

    struct Options {
        bool saveAscii = false;
        PauseGate* pause = nullptr;
        PictureHashes* hashes = nullptr;  // when duplicates by content are skipped
        bool picturesOnly = false;        // an attachment that is no picture is not saved
    };
    // Decodes every attachment of the held lines and puts each file in
    // place; forgets the lines. One outcome per attachment, in article
    // order; none when the article holds none. After a Failed outcome (the
    // folder cannot be written) no later attachment is tried.
    std::vector<SaveOutcome> Save(const Options& options);

    // The article holds a whole file, not one part of several.
    bool HoldsWholeFile() const;
    // The part of a file the article's own header says it holds, or nullopt.
    std::optional<FilePart> HeldPart() const;
    // Decodes the piece of a multi-part post the held lines carry into
    // `piece` (a staged file the caller places), yEnc when the article has a
    // yEnc header, else uuencoded data; forgets the lines.
    DecodeStatus SavePiece(StagedFile& file, Piece& piece, PauseGate* pause);

    // Forgets the article without saving anything.
    void Drop();

    // The name the article gives its file (once saved: its first
    // attachment's, with the extension of its real type when it had none),
    // and the folder it goes into.
    const std::string& FileName() const { return m_strFileName; }
    const std::string& SaveDir() const { return m_strSaveDir; }

    // Gives back the room held for the lines.
    void Release() { m_lines.Release(); }

private:
    AttachmentFormat* FoundFormat() const;
    SaveOutcome SaveOne(const Attachment& attachment, const Options& options);

    std::vector<std::unique_ptr<AttachmentFormat>> m_formats;  // yEnc first
    ArticleLines m_lines;
    // Per format, in the run being taken: up to which line it was found
    // quiet, or reading its body's data.
    struct RunEnd {
        size_t end = 0;
        bool data = false;
    };
    std::vector<RunEnd> m_runEnds;
    std::string m_strSaveDir;
    std::string m_strSubject;
    std::string m_strFileName;
};

}  // namespace ng
