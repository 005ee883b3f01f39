// An article's MIME structure and attachments; the input is the article.
// GMime is handed a skeleton of the article (decode/MimeStructure.cpp): where
// the article's head declares its parts and nothing in it needs the one
// repair the skeleton makes (a blank line where a part's headers run into
// base64 data), its leaves must be those GMime finds in the whole text.
// Articles holding control characters (other than tab, CR and LF) are not
// compared: GMime's reading of a header whose name holds one depends on
// where the line falls in its read buffer, so the same lines at other
// offsets may read otherwise (fuzz/regressions/mime).
// Every attachment lies inside the article, in article order, has a safe
// name or none, and decodes without a write error into the one file of the
// scratch folder.

#include <fcntl.h>
#include <gmime/gmime.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "decode/ArticleAttachments.h"
#include "decode/ArticleLines.h"
#include "decode/AttachmentFormat.h"
#include "decode/MimePart.h"
#include "decode/MimeStructure.h"
#include "platform/FileNames.h"

namespace {

bool HeaderLike(std::string_view line) {
    line = ng::WithoutLineEnd(line);
    return !line.empty() && (line[0] == ' ' || line[0] == '\t' ||
                             std::memchr(line.data(), ':', line.size()) != nullptr);
}

bool Base64DataLine(std::string_view line) {
    line = ng::WithoutLineEnd(line);
    return line.size() >= 16 && line.find_first_not_of(
                                    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopq"
                                    "rstuvwxyz0123456789+/=") == line.npos;
}

// The leaves GMime finds in the whole text, as the reader walks them.
void Walk(GMimeObject* object, GMimeStream* stream, size_t size, int depth,
          std::vector<ng::MimeLeaf>& out) {
    if (!object || depth > 32) {
        return;
    }
    if (GMIME_IS_MULTIPART(object)) {
        for (int i = 0; i < g_mime_multipart_get_count(GMIME_MULTIPART(object)); ++i) {
            Walk(g_mime_multipart_get_part(GMIME_MULTIPART(object), i), stream, size, depth + 1,
                 out);
        }
        return;
    }
    if (GMIME_IS_MESSAGE_PART(object)) {
        GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
        if (inner) {
            Walk(g_mime_message_get_mime_part(inner), stream, size, depth + 1, out);
        }
        return;
    }
    if (!GMIME_IS_PART(object)) {
        return;
    }
    GMimePart* part = GMIME_PART(object);
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    GMimeStream* bytes = content ? g_mime_data_wrapper_get_stream(content) : nullptr;
    if (!bytes || bytes->super_stream != stream || bytes->bound_start < 0) {
        return;
    }
    ng::MimeLeaf leaf;
    leaf.begin = static_cast<size_t>(bytes->bound_start);
    leaf.end = bytes->bound_end < 0 ? size : std::min(static_cast<size_t>(bytes->bound_end), size);
    leaf.end = std::max(leaf.begin, leaf.end);
    ng::DescribeLeaf(part, leaf);
    out.push_back(std::move(leaf));
}

// The leaves of the whole text when the head declares parts; nullopt when
// it does not (then the reader looks for parts in other ways).
std::optional<std::vector<ng::MimeLeaf>> WholeTextLeaves(std::string_view text) {
    GMimeStream* stream = g_mime_stream_mem_new_with_buffer(text.data(), text.size());
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    g_mime_parser_set_format(parser, GMIME_FORMAT_MESSAGE);
    GMimeParserOptions* options = g_mime_parser_options_new();
    g_mime_parser_options_set_parameter_compliance_mode(options, GMIME_RFC_COMPLIANCE_LOOSE);
    g_mime_parser_options_set_rfc2047_compliance_mode(options, GMIME_RFC_COMPLIANCE_LOOSE);
    GMimeMessage* message = g_mime_parser_construct_message(parser, options);
    g_mime_parser_options_free(options);
    std::optional<std::vector<ng::MimeLeaf>> leaves;
    GMimeObject* top = message ? g_mime_message_get_mime_part(message) : nullptr;
    if (top) {
        const GMimeContentEncoding encoding =
            GMIME_IS_PART(top) ? g_mime_part_get_content_encoding(GMIME_PART(top))
                               : GMIME_CONTENT_ENCODING_DEFAULT;
        GMimeContentType* type = g_mime_object_get_content_type(top);
        if (!GMIME_IS_PART(top) || (type && !g_mime_content_type_is_type(type, "text", "*")) ||
            encoding == GMIME_CONTENT_ENCODING_BASE64 ||
            encoding == GMIME_CONTENT_ENCODING_UUENCODE) {
            leaves.emplace();
            Walk(top, stream, text.size(), 0, *leaves);
        }
    }
    if (message) {
        g_object_unref(message);
    }
    g_object_unref(parser);
    g_object_unref(stream);
    return leaves;
}

// Lines that may declare a boundary: past 1000 the reader reads none.
size_t BoundaryLines(const ng::ArticleLines& lines) {
    size_t count = 0;
    for (size_t i = 0; i < lines.Size(); ++i) {
        std::string lower(lines[i]);
        for (char& c : lower) {
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        }
        count += lower.find("boundary") != std::string::npos;
    }
    return count;
}

bool SameLeaves(const std::vector<ng::MimeLeaf>& a, const std::vector<ng::MimeLeaf>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].begin != b[i].begin || a[i].end != b[i].end || a[i].encoding != b[i].encoding ||
            a[i].text != b[i].text || a[i].attachment != b[i].attachment ||
            a[i].name != b[i].name) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzzsupport::ScratchDir scratch;
    static const bool gmime = (g_mime_init(), true);
    (void)gmime;
    const std::string path = scratch.File("out");
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    std::vector<std::unique_ptr<ng::AttachmentFormat>> formats;
    formats.push_back(ng::MakeYencFormat());
    formats.push_back(ng::MakeUuFormat());
    formats.push_back(ng::MakeBase64Format());
    ng::ArticleLines lines;
    bool repaired = false;
    const bool controls = std::any_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return (u < ' ' && c != '\t' && c != '\r' && c != '\n') || u == 0x7F;
    });
    std::string_view previous;
    for (std::string_view line : fuzzsupport::LinesWithEnds(text)) {
        for (auto& format : formats) {
            if (format->Notice(line).dataLine) {
                break;
            }
        }
        repaired = repaired || (HeaderLike(previous) && Base64DataLine(line));
        previous = line;
        lines.Add(line);
    }

    const std::vector<ng::MimeLeaf> leaves = ng::ReadMimeLeaves(lines);
    size_t last = 0;
    for (const ng::MimeLeaf& leaf : leaves) {
        FUZZ_CHECK(leaf.begin <= leaf.end && leaf.end <= size);
        FUZZ_CHECK(leaf.begin >= last);
        last = leaf.begin;
    }
    if (!repaired && !controls && BoundaryLines(lines) <= 1000) {
        if (auto whole = WholeTextLeaves(text)) {
            FUZZ_CHECK(SameLeaves(leaves, *whole));
        }
    }

    last = 0;
    for (const ng::Attachment& a : ng::FindAttachments(lines, formats, "\"named.jpg\" (1/1)")) {
        FUZZ_CHECK(a.format && a.begin <= a.end && a.end <= size && a.begin >= last);
        last = a.begin;
        FUZZ_CHECK(a.name.empty() || ng::SafeLeafName(a.name) == a.name);
        int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_RDWR | O_CLOEXEC, 0600);
        FUZZ_CHECK(fd >= 0);
        const ng::DecodeStatus status = a.format->Decode(lines, a, {fd, -1, nullptr});
        ::close(fd);
        FUZZ_CHECK(status.error == 0);
    }
    FUZZ_CHECK(fuzzsupport::ListTree(scratch.Path()).size() <= 1);
    return 0;
}
