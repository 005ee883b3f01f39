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
    bool parts = false;
    for (const auto& format : formats) {
        if (format->ClaimsArticle()) {
            MimeLeaf whole;
            whole.end = lines.Text().size();
            format->FindIn(lines, whole, found);
            found.resize(std::min<size_t>(found.size(), 1));
            break;
        }
        noticed = noticed || format->Noticed();
        parts = parts || format->ReadsParts();
    }
    // The article's structure is read only when it may hold MIME parts to
    // save: uuencoded files are found in the body's text as a whole, and
    // where no format saw a sign of an attachment there is nothing to find.
    if (found.empty() && noticed) {
        const std::vector<MimeLeaf> leaves =
            parts ? ReadMimeLeaves(lines) : std::vector<MimeLeaf>{BodyLeaf(lines)};
        for (const MimeLeaf& leaf : leaves) {
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
