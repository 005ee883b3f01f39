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
    std::string directory;       // ends with "/"
    std::string path;            // directory + the name the article gave
    bool saveAscii = false;      // also keep the article's raw lines beside the picture
    PauseGate* pause = nullptr;  // decoding parks here while the pass is paused
};

enum class DecodeResult {
    Saved,
    Refused,   // the format refused the name it found: the article failed, nothing more
    DiskFull,  // the file could not be written: the pass must end
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
    // Writes the attachment of the held lines; the output file has been
    // created (empty) at target.path already.
    virtual DecodeResult Decode(const ArticleLines& lines, const DecodeTarget& target) = 0;
};

// Formats in the order they are asked: uuencoded before base64.
std::unique_ptr<AttachmentFormat> MakeUuFormat();
std::unique_ptr<AttachmentFormat> MakeBase64Format();

// A name from the server, made safe to save: its last path component, with
// ".jpg" added when it has no extension; "" when it cannot be used.
std::string AttachmentName(std::string_view raw);

}  // namespace ng
