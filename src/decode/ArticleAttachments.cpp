#include "decode/ArticleAttachments.h"

#include <algorithm>

#include "decode/ArticleLines.h"
#include "decode/MimeStructure.h"
#include "decode/SubjectName.h"

namespace ng {

std::vector<Attachment> FindAttachments(const ArticleLines& lines,
                                        std::span<const std::unique_ptr<AttachmentFormat>> formats,
                                        std::string_view subject) {
    std::vector<Attachment> found;
    bool noticed = false;
    for (const auto& format : formats) {
        if (format->ClaimsArticle()) {
            MimeLeaf whole;
            whole.end = lines.Text().size();
            format->FindIn(lines, whole, found);
            found.resize(std::min<size_t>(found.size(), 1));
            break;
        }
        noticed = noticed || format->Noticed();
    }
    // No format saw a sign of an attachment: the article's structure need
    // not be read.
    if (found.empty() && noticed) {
        for (const MimeLeaf& leaf : ReadMimeLeaves(lines)) {
            for (const auto& format : formats) {
                if (format->Noticed()) {
                    format->FindIn(lines, leaf, found);
                }
            }
        }
    }
    for (Attachment& attachment : found) {
        if (!attachment.named) {
            attachment.name =
                AttachmentName(NameFromSubject(subject), &attachment.extensionGuessed);
        }
    }
    return found;
}

}  // namespace ng
