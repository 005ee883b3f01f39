// GMime reads the structure; the payload never goes through it. It is
// handed a skeleton of the article: every line that can matter to the
// structure (headers, boundaries, blank lines, and the first and last line
// of every run of other lines), so that a 10 MB base64 part costs it two
// lines, not a second pass over the data. Offsets into the skeleton map
// back to the article's text.

#include "decode/MimeStructure.h"
#include "decode/MimePart.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>

#include "decode/ArticleLines.h"
#include "platform/AsciiCase.h"

namespace ng {

namespace {

// Parts within parts deeper than this are not looked into.
constexpr int kMaxDepth = 32;
// GMime's time grows with the boundaries open at once; an article that
// declares more than this many is read as plain text.
constexpr size_t kMaxBoundaries = 1000;

bool HasColon(std::string_view line) {
    return std::memchr(line.data(), ':', line.size()) != nullptr;
}

// A header, or a folded header's continuation.
bool HeaderLike(std::string_view line) {
    line = WithoutLineEnd(line);
    return !line.empty() && (line[0] == ' ' || line[0] == '\t' || HasColon(line));
}

// A line of base64 data: 16 characters of the alphabet or more, nothing else.
bool Base64DataLine(std::string_view line) {
    line = WithoutLineEnd(line);
    if (line.size() < 16) {
        return false;
    }
    for (char c : line) {
        const bool alphabet = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                              (c >= '0' && c <= '9') || c == '+' || c == '/' || c == '=';
        if (!alphabet) {
            return false;
        }
    }
    return true;
}

// Whether a header line (or continuation) names a boundary parameter.
bool NamesBoundary(std::string_view line) {
    for (size_t at = line.find_first_of("bB"); at != std::string_view::npos;
         at = line.find_first_of("bB", at + 1)) {
        if (StartsWithIgnoreCaseAscii(line.substr(at), "boundary")) {
            return true;
        }
    }
    return false;
}

bool StartsContentHeader(std::string_view line) {
    return StartsWithIgnoreCaseAscii(line, "content-") && HasColon(line);
}

// The lines [first, end) of an article as GMime is to see them, after a
// prefix of header lines the article does not hold.
class Skeleton {
public:
    Skeleton(const ArticleLines& lines, size_t first, size_t end, std::string_view prefix)
        : m_text(prefix),
          m_originalEnd(end < lines.Size() ? lines.Start(end) : lines.Text().size()) {
        const std::string_view text = lines.Text();
        m_nextColon = first < end ? text.find(':', lines.Start(first)) : text.npos;
        bool before = false;
        bool here = first < end && Opaque(lines, first);
        for (size_t i = first; i < end; ++i) {
            const std::string_view line = lines[i];
            const bool after = i + 1 < end && Opaque(lines, i + 1);
            if (!(before && here && after)) {
                // A part's headers run straight into its data in some posts:
                // a blank line put between ends the headers where the data
                // begins, as the poster meant. Within data it changes nothing.
                if (!before && i > first && HeaderLike(lines[i - 1]) && Base64DataLine(line)) {
                    m_text += "\r\n";
                }
                if (!here && NamesBoundary(line)) {
                    ++m_boundaries;
                }
                Keep(lines.Start(i), line);
            }
            before = here;
            here = after;
        }
    }

    const std::string& Text() const { return m_text; }
    // Lines that may declare a boundary.
    size_t Boundaries() const { return m_boundaries; }

    // The article's offset of the skeleton's `offset`. One in a line the
    // article does not hold is the start of the next line it holds.
    size_t Original(int64_t offset) const {
        const auto at = static_cast<size_t>(std::max<int64_t>(offset, 0));
        auto it = std::upper_bound(m_pieces.begin(), m_pieces.end(), at,
                                   [](size_t o, const Piece& p) { return o < p.at + p.size; });
        if (it == m_pieces.end()) {
            return m_originalEnd;
        }
        return it->original + (at > it->at ? at - it->at : 0);
    }

private:
    // A line GMime can only skip wherever it stands: ended (so GMime sees
    // the same line), not blank, no boundary ("-"), no folded header's
    // continuation (a blank first), no header (no ":"). Of three such lines
    // in a row GMime treats the middle one as it treats its neighbours, so
    // it need not see it. Asked of the lines in order: the text is searched
    // for its next ":" once for a run of lines without one, not line by line.
    bool Opaque(const ArticleLines& lines, size_t i) {
        const std::string_view line = lines[i];
        const std::string_view content = WithoutLineEnd(line);
        if (!line.ends_with('\n') || content.empty() || content[0] == '-' || content[0] == ' ' ||
            content[0] == '\t') {
            return false;
        }
        const size_t start = lines.Start(i);
        if (m_nextColon < start) {
            m_nextColon = lines.Text().find(':', start);
        }
        return m_nextColon >= start + content.size();
    }

    // Lines kept one after the other in both texts.
    struct Piece {
        size_t at;        // in the skeleton
        size_t original;  // in the article
        size_t size;
    };

    void Keep(size_t original, std::string_view line) {
        if (!m_pieces.empty()) {
            Piece& last = m_pieces.back();
            if (last.original + last.size == original && last.at + last.size == m_text.size()) {
                last.size += line.size();
                m_text.append(line);
                return;
            }
        }
        m_pieces.push_back({m_text.size(), original, line.size()});
        m_text.append(line);
    }

    std::string m_text;
    std::vector<Piece> m_pieces;
    size_t m_originalEnd;
    size_t m_boundaries = 0;
    size_t m_nextColon = 0;  // the text's first ":" from the line last asked about
};

struct Unref {
    void operator()(void* object) const { g_object_unref(object); }
};
template <class T>
using Owned = std::unique_ptr<T, Unref>;

// GMime's one-time set-up, before its first use on any thread.
void InitGmime() {
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

// GLib's own locks (of its slice allocator and type system) guard the state
// GMime's objects share across threads, but ThreadSanitizer cannot see
// them. One lock of ours around every use of GMime makes the order
// visible; it costs nothing, as a pass reads one article at a time.
std::mutex& GmimeLock() {
    static std::mutex lock;
    return lock;
}

class Reader {
public:
    explicit Reader(const Skeleton& skeleton) : m_skeleton(skeleton) {
        InitGmime();
        const std::string& text = skeleton.Text();
        m_stream.reset(g_mime_stream_mem_new_with_buffer(text.data(), text.size()));
        Owned<GMimeParser> parser(g_mime_parser_new_with_stream(m_stream.get()));
        g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
        // The parts' contents stay in the stream, where their offsets are.
        g_mime_parser_set_persist_stream(parser.get(), TRUE);
        GMimeParserOptions* options = g_mime_parser_options_new();
        g_mime_parser_options_set_parameter_compliance_mode(options, GMIME_RFC_COMPLIANCE_LOOSE);
        g_mime_parser_options_set_rfc2047_compliance_mode(options, GMIME_RFC_COMPLIANCE_LOOSE);
        m_message.reset(g_mime_parser_construct_message(parser.get(), options));
        g_mime_parser_options_free(options);
    }

    GMimeObject* Top() const {
        return m_message ? g_mime_message_get_mime_part(m_message.get()) : nullptr;
    }

    void Leaves(GMimeObject* object, int depth, std::vector<MimeLeaf>& out) const {
        if (!object || depth > kMaxDepth) {
            return;
        }
        if (GMIME_IS_MULTIPART(object)) {
            auto* multipart = GMIME_MULTIPART(object);
            const int count = g_mime_multipart_get_count(multipart);
            for (int i = 0; i < count; ++i) {
                Leaves(g_mime_multipart_get_part(multipart, i), depth + 1, out);
            }
        } else if (GMIME_IS_MESSAGE_PART(object)) {
            GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
            if (inner) {
                Leaves(g_mime_message_get_mime_part(inner), depth + 1, out);
            }
        } else if (GMIME_IS_PART(object)) {
            if (auto leaf = Leaf(GMIME_PART(object))) {
                out.push_back(std::move(*leaf));
            }
        }
    }

private:
    std::optional<MimeLeaf> Leaf(GMimePart* part) const {
        GMimeDataWrapper* content = g_mime_part_get_content(part);
        GMimeStream* stream = content ? g_mime_data_wrapper_get_stream(content) : nullptr;
        // Only content that lies in the skeleton can be found in the article.
        if (!stream || stream->super_stream != m_stream.get() || stream->bound_start < 0) {
            return std::nullopt;
        }
        const auto size = static_cast<int64_t>(m_skeleton.Text().size());
        const int64_t end = stream->bound_end < 0 ? size : std::min(stream->bound_end, size);
        MimeLeaf leaf;
        leaf.begin = m_skeleton.Original(stream->bound_start);
        leaf.end = std::max(leaf.begin, m_skeleton.Original(end));
        DescribeLeaf(part, leaf);
        return leaf;
    }

    const Skeleton& m_skeleton;
    Owned<GMimeStream> m_stream;
    Owned<GMimeMessage> m_message;
};

// Whether the head declares parts to read: several, or one that is no
// plain text.
bool DeclaresParts(GMimeObject* top) {
    if (!top) {
        return false;
    }
    if (!GMIME_IS_PART(top)) {
        return true;  // multipart, or a message within
    }
    GMimeContentType* type = g_mime_object_get_content_type(top);
    const GMimeContentEncoding encoding = g_mime_part_get_content_encoding(GMIME_PART(top));
    return (type && !g_mime_content_type_is_type(type, "text", "*")) ||
           encoding == GMIME_CONTENT_ENCODING_BASE64 || encoding == GMIME_CONTENT_ENCODING_UUENCODE;
}

// Adds the leaves GMime finds in lines [first, end); false, adding none,
// when they declare too many boundaries to be read.
bool AddLeaves(const ArticleLines& lines, size_t first, size_t end, std::string_view prefix,
               std::vector<MimeLeaf>& out) {
    Skeleton skeleton(lines, first, end, prefix);
    if (skeleton.Boundaries() > kMaxBoundaries) {
        return false;
    }
    Reader reader(skeleton);
    reader.Leaves(reader.Top(), 0, out);
    return true;
}

// The boundary of parts a body holds without its head declaring them (a
// gateway dropped the header, or the poster's program never wrote it): the
// first line "--X" that a Content- header follows.
std::optional<size_t> UndeclaredBoundary(const ArticleLines& lines, size_t first, size_t end,
                                         std::string& boundary) {
    const std::string_view text = lines.Text();
    size_t searchFrom = first < lines.Size() ? lines.Start(first) : text.size();
    for (size_t i = first; i + 1 < end;) {
        const std::string_view line = lines[i];
        if (line.starts_with("--") && StartsContentHeader(lines[i + 1])) {
            std::string_view name = WithoutLineEnd(line).substr(2);
            while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) {
                name.remove_suffix(1);
            }
            // What a boundary parameter can carry quoted.
            if (!name.empty() && name.size() <= 200 && name.find_first_of("\"\\") == name.npos &&
                std::all_of(name.begin(), name.end(),
                            [](char c) { return static_cast<unsigned char>(c) >= ' '; })) {
                boundary = name;
                return i;
            }
        }
        // Lines beginning "--" are few: the next one is looked for in the
        // text, not line by line.
        const size_t hit = text.find("\n--", std::max(searchFrom, lines.Start(i)));
        if (hit == std::string_view::npos) {
            break;
        }
        searchFrom = hit + 1;
        i = std::max(i + 1, lines.LineAt(hit + 1));
    }
    return std::nullopt;
}

// The first line of the body: the one after the blank line that ends the
// head (the article's end when there is none).
size_t BodyLine(const ArticleLines& lines) {
    const size_t count = lines.Size();
    size_t blank = 0;
    while (blank < count && !WithoutLineEnd(lines[blank]).empty()) {
        ++blank;
    }
    return std::min(blank + 1, count);
}

}  // namespace

MimeLeaf BodyLeaf(const ArticleLines& lines) {
    MimeLeaf leaf;
    leaf.begin = lines.Start(BodyLine(lines));
    leaf.end = lines.Text().size();
    return leaf;
}

void DescribeLeaf(GMimePart* part, MimeLeaf& leaf) {
    switch (g_mime_part_get_content_encoding(part)) {
        case GMIME_CONTENT_ENCODING_DEFAULT:
        case GMIME_CONTENT_ENCODING_7BIT:
        case GMIME_CONTENT_ENCODING_8BIT:
        case GMIME_CONTENT_ENCODING_BINARY:
            leaf.encoding = MimeLeaf::Encoding::Plain;
            break;
        case GMIME_CONTENT_ENCODING_BASE64:
            leaf.encoding = MimeLeaf::Encoding::Base64;
            break;
        case GMIME_CONTENT_ENCODING_UUENCODE:
            leaf.encoding = MimeLeaf::Encoding::Uuencode;
            break;
        default:
            leaf.encoding = MimeLeaf::Encoding::Other;
            break;
    }
    GMimeObject* object = GMIME_OBJECT(part);
    GMimeContentType* type = g_mime_object_get_content_type(object);
    leaf.text = !type || g_mime_content_type_is_type(type, "text", "*");
    GMimeContentDisposition* disposition = g_mime_object_get_content_disposition(object);
    leaf.attachment = disposition && g_mime_content_disposition_is_attachment(disposition);
    if (const char* name = g_mime_part_get_filename(part)) {
        leaf.name = name;
    }
}

std::vector<MimeLeaf> ReadMimeLeaves(const ArticleLines& lines) {
    std::lock_guard lock(GmimeLock());
    std::vector<MimeLeaf> leaves;
    const size_t count = lines.Size();
    const size_t body = BodyLine(lines);
    // Parts the head declares, read from the whole article's skeleton.
    {
        Skeleton whole(lines, 0, count, {});
        if (whole.Boundaries() <= kMaxBoundaries) {
            Reader reader(whole);
            if (DeclaresParts(reader.Top())) {
                reader.Leaves(reader.Top(), 0, leaves);
                return leaves;
            }
        }
    }
    MimeLeaf plain;
    plain.begin = lines.Start(body);
    plain.end = lines.Text().size();
    std::string boundary;
    if (auto at = UndeclaredBoundary(lines, body, count, boundary)) {
        // The text before the parts may hold uuencoded files.
        std::vector<MimeLeaf> parts;
        if (AddLeaves(lines, *at, count,
                      "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n",
                      parts)) {
            plain.end = lines.Start(*at);
        }
        if (plain.end > plain.begin) {
            leaves.push_back(plain);
        }
        leaves.insert(leaves.end(), parts.begin(), parts.end());
        return leaves;
    }
    // A body that is one part, its headers first.
    if (body < count && StartsContentHeader(lines[body]) &&
        AddLeaves(lines, body, count, {}, leaves)) {
        return leaves;
    }
    if (plain.end > plain.begin) {
        leaves.push_back(plain);
    }
    return leaves;
}

}  // namespace ng
