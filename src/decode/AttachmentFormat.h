#pragma once
// One encoding of an article's attachment (yEnc, uuencoded, base64, ...):
// how it is recognised in the lines as they arrive, what name it gives the
// file, and how the held lines are decoded into that file. The article's
// saver asks each format in turn; a new encoding is one more format beside
// these.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ng {

class ArticleLines;
struct LineRun;
class AttachmentFormat;
class ContentDigest;
class PauseGate;
struct MimeLeaf;

// What one article line told a format.
struct LineNote {
    // Member by member: a note value-initialised whole (a hundred bytes
    // cleared) for every line and format cost more than most formats' look
    // at the line.
    LineNote() {}
    bool restartCount = false;  // the "Lines Decoded" count starts again here
    // The output file's name is now this ("" for none).
    std::optional<std::string> name;
    // The name had no extension and ".jpg" was put on it: the file's real
    // type may give a better one once it is decoded.
    bool extensionGuessed = false;
    // The "Saving To" field shows the save folder followed by this.
    std::optional<std::string> shown;
    // The line is data of a body this format is reading: the formats after
    // it need not look at it (a test per line less on every picture line).
    bool dataLine = false;
};

struct DecodeTarget {
    int fd = -1;                      // the new file the attachment goes into
    int rawFd = -1;                   // when not -1: a copy of the article's raw lines
    PauseGate* pause = nullptr;       // decoding parks here while the pass is paused
    ContentDigest* digest = nullptr;  // when set: takes every byte written to fd
};

// How decoding went. A write error is the folder's fault and stops the pass;
// a damaged post (sizes or checksums that do not add up) is the article's,
// and nothing of it may be kept under the picture's name.
struct DecodeStatus {
    int error = 0;       // errno of the write that failed
    std::string damage;  // why the post is damaged, "" when it is not
    bool Ok() const { return error == 0 && damage.empty(); }
    static DecodeStatus Damaged(std::string why) { return {0, std::move(why)}; }
};

// One article of a post split over several: which piece of the file it
// carries. Formats that place pieces by offset say so; the others are joined
// in part order.
// One part of a file split over several articles, as the article's own
// header describes it.
struct FilePart {
    std::string name;
    int64_t size = -1;  // the whole file's
    int64_t part = 0;
    int64_t total = 0;  // 0 when the header does not say
};

struct Piece {
    std::string name;  // the file's name when this article gives it
    bool extensionGuessed = false;
    int64_t offset = -1;    // where the piece goes in the file (from 0); -1: in part order
    int64_t fileSize = -1;  // the whole file's size, when the article says
    std::optional<uint32_t> fileCrc;  // the whole file's CRC-32, when the article says
    int64_t part = 0;                 // the part number the article gives itself, 0 for none
    int64_t total = 0;                // the number of parts it says there are, 0 for none
    int64_t bytes = 0;                // bytes written into the target
};

// One attachment of a held article: the format that reads it, where it
// lies, and the name it gives.
struct Attachment {
    AttachmentFormat* format = nullptr;
    size_t begin = 0;  // bytes [begin, end) of the article's text
    size_t end = 0;
    std::string name;  // made safe (AttachmentName); "" when it gives none that can be used
    bool extensionGuessed = false;
    bool named = false;  // it gives a name, one that can be used or not
};

class AttachmentFormat {
public:
    virtual ~AttachmentFormat() = default;
    // Forgets the last article.
    virtual void Reset() = 0;
    // One line of the article as it arrives (dot-stuffing undone, line end kept).
    virtual LineNote Notice(std::string_view line) = 0;
    // Lines handed over in runs, so that a picture's body costs no call per
    // line: how many of the lines [first, last) of a run Notice would give
    // an empty note and change nothing for (QuietLines), or, while this
    // format reads a body, would call data lines and nothing more
    // (DataLines), counted up to the first that it would not. A line the
    // format is unsure of ends the count; it is noticed on its own. None by
    // default: every line noticed.
    virtual size_t QuietLines(const LineRun& /*run*/, size_t /*first*/, size_t /*last*/) const {
        return 0;
    }
    virtual size_t DataLines(const LineRun& /*run*/, size_t /*first*/, size_t /*last*/) const {
        return 0;
    }
    // The article carries an attachment of this format.
    virtual bool Found() const = 0;
    // The lines seen may hold attachments of this format: FindIn is worth
    // asking.
    virtual bool Noticed() const { return Found(); }
    // ... and they are MIME parts, so the article's structure must be read.
    // (Uuencoded files are found in the text of the body as a whole.)
    virtual bool ReadsParts() const { return false; }
    // ... and all of it, not one part of a file split over several articles.
    virtual bool FoundWhole() const { return Found(); }
    // ... one part of a named file of known size, whatever the subject says
    // (a yEnc header with a part number); nullopt otherwise.
    virtual std::optional<FilePart> FoundPart() const { return std::nullopt; }
    // The article is this format's file and nothing else need be looked for
    // (a yEnc header leaves no doubt).
    virtual bool ClaimsArticle() const { return false; }
    // Adds the attachments of this format that one leaf of the held
    // article's MIME structure holds, in article order.
    virtual void FindIn(const ArticleLines& lines, const MimeLeaf& leaf,
                        std::vector<Attachment>& found) = 0;
    // Writes one attachment of the held lines into the target.
    virtual DecodeStatus Decode(const ArticleLines& lines, const Attachment& attachment,
                                const DecodeTarget& target) = 0;
    // Writes the first attachment of this format in the held lines, all of
    // them taken as one plain text; damage when there is none.
    DecodeStatus Decode(const ArticleLines& lines, const DecodeTarget& target);
    // For an article that is one part of a multi-part post: writes the piece
    // it carries (nothing else) into the target and describes it. A format
    // that finds no piece of its kind says so as damage.
    virtual DecodeStatus DecodePiece(const ArticleLines& lines, const DecodeTarget& target,
                                     Piece& piece);
    // Whether a copy of the raw lines is kept beside the file ("SaveAscii").
    virtual bool KeepsRawCopy() const { return false; }
};

// The formats, in the order they are asked: yEnc (whose header leaves no
// doubt), then uuencoded before base64, as the program has always asked.
std::unique_ptr<AttachmentFormat> MakeYencFormat();
std::unique_ptr<AttachmentFormat> MakeUuFormat();
std::unique_ptr<AttachmentFormat> MakeBase64Format();

// A name from the server, made safe to save: its last path component,
// without blanks around it, with ".jpg" added when it has no extension
// (then *guessed is set); "" when it cannot be used.
std::string AttachmentName(std::string_view raw, bool* guessed = nullptr);

// Writes all of `data` to fd. False with errno set when a write fails.
[[nodiscard]] bool WriteAll(int fd, std::string_view data);

}  // namespace ng
