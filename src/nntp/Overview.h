#pragma once
// Readers of the two structured replies a pass uses: the GROUP status line
// and the lines of an XOVER block.

#include <cstdint>
#include <string>
#include <string_view>

namespace ng {

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

// The line as ParseOverviewLine's fields alone, ending in CR LF: number,
// subject, sender, four empty fields and the line count. It parses back to
// the same fields in a third of the room, which counts when a group has a
// million of them waiting. A line whose fields hold a line break (one cut
// short before its fourth field) is kept as it is.
std::string CompactOverviewLine(std::string_view line, const OverviewFields& fields);

// "211 count first last name": the number at the start of each of the first
// four blank-separated fields; 0 for a field that is missing.
struct GroupReply {
    int64_t code = 0, count = 0, first = 0, last = 0;
    // The three numbers are plain digits that fit, and a group that has
    // articles does not end before it begins. Numbers that make no sense
    // must not become a mark or a command.
    bool sensible = false;
};
GroupReply ParseGroupResponse(std::string_view reply);

// An article number as it may go into a command: 1 to 18 digits, nothing else.
bool IsArticleNumber(std::string_view text);

}  // namespace ng
