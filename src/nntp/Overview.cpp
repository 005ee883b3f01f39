#include "nntp/Overview.h"

#include <algorithm>
#include <vector>

#include "platform/AsciiCase.h"
#include "platform/Numbers.h"

namespace ng {

OverviewFields ParseOverviewLine(std::string_view line) {
    // Positions of the first eight TABs; npos where the line runs out.
    size_t tabs[8];
    size_t from = 0;
    for (size_t& tab : tabs) {
        tab = from == std::string_view::npos ? std::string_view::npos : line.find('\t', from);
        from = tab == std::string_view::npos ? tab : tab + 1;
    }
    auto field = [&](int index) -> std::string_view {
        size_t start = index == 0 ? 0 : tabs[index - 1];
        if (start == std::string_view::npos) {
            return {};
        }
        if (index > 0) {
            ++start;
        }
        size_t end = tabs[index];
        return end == std::string_view::npos ? line.substr(start) : line.substr(start, end - start);
    };
    OverviewFields fields;
    fields.number = field(0);
    fields.subject = field(1);
    fields.from = field(2);
    fields.lines = LeadingInt(field(7));
    return fields;
}

namespace {

// The fields of an overview line, without its line end.
std::vector<std::string_view> SplitFields(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    std::vector<std::string_view> fields;
    for (size_t start = 0;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos) {
            return fields;
        }
        start = tab + 1;
    }
}

std::string OneLine(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c == '\r' || c == '\n' || c == '\t') {
            c = ' ';
        }
    }
    return out;
}

}  // namespace

std::optional<OverviewRecord> ParseOverviewRecord(std::string_view line) {
    const std::vector<std::string_view> fields = SplitFields(line);
    // Without a single TAB it is no overview line, whatever it begins with.
    if (fields.size() < 2 || !IsArticleNumber(fields[0])) {
        return std::nullopt;
    }
    auto field = [&](size_t i) { return i < fields.size() ? fields[i] : std::string_view(); };
    OverviewRecord record;
    record.number = LeadingNumber(fields[0]);
    record.subject = field(1);
    record.from = field(2);
    record.messageId = field(4);
    record.bytes = std::max<int64_t>(0, LeadingNumber(field(6)));
    record.lines = LeadingInt(field(7));
    // Extra fields name themselves ("Xref: host group:1 ...").
    for (size_t i = 8; i < fields.size(); ++i) {
        if (fields[i].size() >= 5 && ToUpperAscii(fields[i].substr(0, 5)) == "XREF:") {
            std::string_view value = fields[i].substr(5);
            value.remove_prefix(std::min(value.find_first_not_of(' '), value.size()));
            record.xref = value;
            break;
        }
    }
    return record;
}

std::string FormatOverviewRecord(const OverviewRecord& r) {
    std::string line = std::to_string(r.number) + "\t" + OneLine(r.subject) + "\t" +
                       OneLine(r.from) + "\t\t" + OneLine(r.messageId) + "\t\t" +
                       std::to_string(r.bytes) + "\t" + std::to_string(r.lines);
    if (!r.xref.empty()) {
        line += "\tXref: " + OneLine(r.xref);
    }
    return line;
}

bool IsArticleNumber(std::string_view text) {
    return !text.empty() && text.size() <= 18 &&
           text.find_first_not_of("0123456789") == std::string_view::npos;
}

GroupReply ParseGroupResponse(std::string_view reply) {
    GroupReply result;
    int64_t* fields[] = {&result.code, &result.count, &result.first, &result.last};
    bool digitsOnly = true;
    size_t start = 0;
    int i = 0;
    for (; i < 4 && start != std::string_view::npos; ++i) {
        size_t blank = i < 3 ? reply.find(' ', start) : std::string_view::npos;
        std::string_view field = reply.substr(
            start, blank == std::string_view::npos ? std::string_view::npos : blank - start);
        *fields[i] = LeadingNumber(field);
        if (i == 3) {
            field = field.substr(0, field.find_first_of(" \t\r\n"));  // the name follows
        }
        digitsOnly = digitsOnly && (i == 0 || IsArticleNumber(field));
        start = blank == std::string_view::npos ? blank : blank + 1;
    }
    result.sensible = i == 4 && digitsOnly && (result.count == 0 || result.last >= result.first);
    return result;
}

}  // namespace ng
