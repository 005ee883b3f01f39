#pragma once
// Readers of the two structured replies a pass uses: the GROUP status line
// and the lines of an XOVER block.

#include <cstdint>
#include <optional>
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

// One overview line parsed once into what the pass uses of it: the
// article's number, subject, sender, message-id, size in bytes and in
// lines, and its Xref field's value ("host group:number ...").
struct OverviewRecord {
    int64_t number = 0;
    std::string subject;
    std::string from;
    std::string messageId;
    std::string xref;
    int64_t bytes = 0;
    int lines = 0;
    bool operator==(const OverviewRecord&) const = default;
};

// The record of an overview line (its line end dropped); nullopt when its
// number cannot go into a command (no TABs, say).
std::optional<OverviewRecord> ParseOverviewRecord(std::string_view line);
// The record as an overview line without its line end, which parses back
// to the same record. Line breaks and TABs in its texts become blanks, so
// that it stays one line of one list file.
std::string FormatOverviewRecord(const OverviewRecord& record);

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
