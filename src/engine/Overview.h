#pragma once
// Small readers of what a news server sends: reply codes, the end of a
// multi-line block, dot-stuffing, and the fields of an overview line.

#include <cstdint>
#include <string>
#include <string_view>

namespace ng {

// The number a text begins with, as atoi reads it, but saturating instead of
// overflowing: a hostile server's digits must not make undefined behaviour.
int64_t LeadingNumber(std::string_view text);
int LeadingInt(std::string_view text);

// The code of a reply line: the number it begins with.
inline int ReplyCode(std::string_view line) {
    return LeadingInt(line);
}

// A multi-line reply ends at exactly ".\r\n".
inline bool IsEndOfBlock(std::string_view line) {
    return line == ".\r\n";
}

// A server doubles a leading "." in every line of a block; this undoes it.
void UndoDotStuffing(std::string& line);

struct OverviewFields {
    std::string number;
    std::string subject;
    std::string from;
    int lines = 0;
};

// The fields of one overview line: number, subject and sender are the first
// three TAB-separated fields; the line count is the eighth (or, without an
// eighth TAB, the rest of the line). Missing fields come out empty or zero.
OverviewFields ParseOverviewLine(std::string_view line);

}  // namespace ng
