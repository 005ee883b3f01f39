#pragma once
// One encoding of an article's attachment (uuencoded, base64, ...): how it
// is recognised in the lines as they arrive, what name it gives the file,
// and how the held lines are decoded into that file. The article's saver
// asks each format in turn; a new encoding is one more format beside these.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace ng {

class ArticleLines;
class PauseGate;

// What one article line told a format.
struct LineNote {
    bool restartCount = false;  // the "Lines Decoded" count starts again here
    // The output file's name is now this ("" for none).
    std::optional<std::string> name;
    // The "Saving To" field shows the save folder followed by this.
    std::optional<std::string> shown;
};

struct DecodeTarget {
    int fd = -1;                 // the new file the attachment goes into
    int rawFd = -1;              // when not -1: a copy of the article's raw lines
    PauseGate* pause = nullptr;  // decoding parks here while the pass is paused
};

class AttachmentFormat {
public:
    virtual ~AttachmentFormat() = default;
    // Forgets the last article.
    virtual void Reset() = 0;
    // One line of the article as it arrives (dot-stuffing undone, line end kept).
    virtual LineNote Notice(std::string_view line) = 0;
    // The article carries an attachment of this format.
    virtual bool Found() const = 0;
    // Writes the attachment of the held lines into the target. 0, or the
    // errno of the write that failed.
    virtual int Decode(const ArticleLines& lines, const DecodeTarget& target) = 0;
    // Whether a copy of the raw lines is kept beside the file ("SaveAscii").
    virtual bool KeepsRawCopy() const { return false; }
};

// Formats in the order they are asked: uuencoded before base64.
std::unique_ptr<AttachmentFormat> MakeUuFormat();
std::unique_ptr<AttachmentFormat> MakeBase64Format();

// A name from the server, made safe to save: its last path component, with
// ".jpg" added when it has no extension; "" when it cannot be used.
std::string AttachmentName(std::string_view raw);

}  // namespace ng
