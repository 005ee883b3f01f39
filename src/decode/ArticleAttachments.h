#pragma once
// Every attachment of a held article, in article order: the article's yEnc
// file, or else the uuencoded files and base64 parts of its MIME structure,
// each named from its own header, or from the subject when it gives no name.

#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "decode/AttachmentFormat.h"

namespace ng {

class ArticleLines;

// The formats that noticed the lines as they came (AttachmentFormat::Notice)
// are asked, in the order given.
std::vector<Attachment> FindAttachments(const ArticleLines& lines,
                                        std::span<const std::unique_ptr<AttachmentFormat>> formats,
                                        std::string_view subject);

}  // namespace ng
