#pragma once
// The MIME structure of a held article, as GMime reads it: its leaf parts in
// article order, where each one's content lies in the article's text, how it
// is encoded and what it is called. An article without MIME structure is one
// leaf: its body, plain text (where uuencoded files may stand).

#include <cstddef>
#include <string>
#include <vector>

namespace ng {

class ArticleLines;

struct MimeLeaf {
    enum class Encoding { Plain, Base64, Uuencode, Other };
    size_t begin = 0;  // its content: bytes [begin, end) of the article's text
    size_t end = 0;
    Encoding encoding = Encoding::Plain;
    bool text = true;         // a text type, or none given
    bool attachment = false;  // Content-Disposition says "attachment"
    // Content-Disposition's filename, else Content-Type's name, decoded
    // (RFC 2231, RFC 2047) as UTF-8; "" for none.
    std::string name;
};

std::vector<MimeLeaf> ReadMimeLeaves(const ArticleLines& lines);

// The article's body as one plain leaf, its structure not read: everything
// after the blank line that ends the head.
MimeLeaf BodyLeaf(const ArticleLines& lines);

}  // namespace ng
