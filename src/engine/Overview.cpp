#include "engine/Overview.h"

#include <climits>

namespace ng {

int64_t LeadingNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' ||
                               text[i] == '\r' || text[i] == '\v' || text[i] == '\f')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    constexpr int64_t kLimit = INT64_MAX / 10 - 1;
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value < kLimit) {
            value = value * 10 + (text[i] - '0');
        }
    }
    return negative ? -value : value;
}

int LeadingInt(std::string_view text) {
    int64_t value = LeadingNumber(text);
    if (value > INT_MAX) {
        return INT_MAX;
    }
    if (value < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}

void UndoDotStuffing(std::string& line) {
    if (!line.empty() && line.front() == '.') {
        line.erase(0, 1);
    }
}

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

}  // namespace ng
