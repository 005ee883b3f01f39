#include "platform/Numbers.h"

#include <algorithm>
#include <climits>

namespace ng {

int64_t LeadingNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
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
    return static_cast<int>(std::clamp<int64_t>(LeadingNumber(text), INT_MIN, INT_MAX));
}

}  // namespace ng
