#include "platform/ShowableText.h"

namespace ng {

namespace {

// Whether the text is UTF-8 throughout: then 0x80..0x9F are parts of
// characters, not controls of their own.
bool IsUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        auto c = static_cast<unsigned char>(text[i]);
        size_t length = c < 0x80           ? 1
                        : (c >> 5) == 0x6  ? 2
                        : (c >> 4) == 0xE  ? 3
                        : (c >> 3) == 0x1E ? 4
                                           : 0;
        if (length == 0 || i + length > text.size()) {
            return false;
        }
        for (size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

}  // namespace

std::string ShowableText(std::string_view text) {
    const bool utf8 = IsUtf8(text);
    std::string shown;
    shown.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' || c == '\n') {
            shown += ' ';
        } else if ((c < 0x20 && c != '\t') || c == 0x7F || (!utf8 && c >= 0x80 && c <= 0x9F)) {
            shown += '?';
        } else if (utf8 && c == 0xC2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            shown += '?';  // a C1 control written in UTF-8
            ++i;
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown;
}

}  // namespace ng
