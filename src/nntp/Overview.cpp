#include "nntp/Overview.h"

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

std::string CompactOverviewLine(std::string_view line, const OverviewFields& fields) {
    for (const std::string* text : {&fields.number, &fields.subject, &fields.from}) {
        if (text->find_first_of("\r\n") != std::string::npos) {
            return std::string(line);
        }
    }
    std::string compact;
    compact.reserve(fields.number.size() + fields.subject.size() + fields.from.size() + 20);
    compact.append(fields.number).append("\t").append(fields.subject).append("\t");
    compact.append(fields.from).append("\t\t\t\t\t").append(std::to_string(fields.lines));
    compact.append("\r\n");
    return compact;
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
