#include "decode/SubjectName.h"

#include <array>

#include "platform/AsciiCase.h"

namespace ng {

namespace {

constexpr std::array<std::string_view, 8> kPictureExtensions = {".jpg",  ".jpeg", ".png", ".gif",
                                                                ".webp", ".bmp",  ".tif", ".tiff"};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool HasLetter(std::string_view text) {
    for (char c : text) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            return true;
        }
    }
    return false;
}

// The length of the word's name: up to the end of a picture extension that
// ends the word, but for punctuation or a part counter glued on
// ("cat.jpg(1/1)" is "cat.jpg"; "cat.jpg.par2" ends in no picture's); 0
// when there is none.
size_t PictureNameLength(std::string_view word) {
    for (size_t at = word.rfind('.'); at != std::string_view::npos && at > 0;
         at = word.rfind('.', at - 1)) {
        for (std::string_view extension : kPictureExtensions) {
            const size_t end = at + extension.size();
            if (StartsWithIgnoreCaseAscii(word.substr(at), extension) &&
                (end == word.size() || !IsAlnum(word[end])) && !HasLetter(word.substr(end))) {
                return end;
            }
        }
    }
    return 0;
}

}  // namespace

std::string NameFromSubject(std::string_view subject) {
    const size_t open = subject.find('"');
    const size_t close = open == subject.npos ? open : subject.find('"', open + 1);
    if (close != subject.npos) {
        std::string_view quoted = subject.substr(open + 1, close - open - 1);
        while (!quoted.empty() && IsBlank(quoted.back())) {
            quoted.remove_suffix(1);
        }
        while (!quoted.empty() && IsBlank(quoted.front())) {
            quoted.remove_prefix(1);
        }
        if (!quoted.empty()) {
            return std::string(quoted);
        }
    }
    std::string_view best;
    for (size_t at = 0; at < subject.size();) {
        while (at < subject.size() && IsBlank(subject[at])) {
            ++at;
        }
        size_t end = at;
        while (end < subject.size() && !IsBlank(subject[end])) {
            ++end;
        }
        std::string_view word = subject.substr(at, end - at);
        // Brackets and quotes before a name are not the name's.
        while (!word.empty() && std::string_view("([{<'").find(word.front()) != word.npos) {
            word.remove_prefix(1);
        }
        if (size_t length = PictureNameLength(word); length > 0) {
            best = word.substr(0, length);
        }
        at = end;
    }
    return std::string(best);
}

}  // namespace ng
