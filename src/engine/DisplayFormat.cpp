#include "engine/DisplayFormat.h"

#include <cstdio>

namespace ng {

std::string StatusLineText(const std::string& text) {
    return "  " + text;
}

std::string GroupThousands(int64_t count) {
    uint64_t magnitude =
        count < 0 ? 0 - static_cast<uint64_t>(count) : static_cast<uint64_t>(count);
    std::string digits = std::to_string(magnitude);
    std::string grouped;
    size_t lead = digits.size() % 3;
    grouped.append(digits, 0, lead);
    for (size_t i = lead; i < digits.size(); i += 3) {
        if (!grouped.empty()) {
            grouped += ',';
        }
        grouped.append(digits, i, 3);
    }
    return count < 0 ? "-" + grouped : grouped;
}

ProgressState ProgressOf(int done, int total) {
    if (total == 0) {
        done = 0;
        total = 1;
    }
    ProgressState state;
    state.percent = static_cast<int>(static_cast<int64_t>(done) * 100 / total);
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%d of %d (%d%%)", done, total, state.percent);
    state.text = buffer;
    return state;
}

int StatusProgressPercent(int done, int total) {
    if (total == 0) {
        return 0;
    }
    return static_cast<int>(static_cast<int64_t>(done) * 100 / total);
}

std::string RateText(int64_t seconds, int64_t bytes) {
    return seconds == 0 ? "0" : std::to_string(bytes / seconds);
}

std::string RateSinceText(int64_t start, int64_t end, int64_t bytes) {
    return RateText(end - start, bytes);
}

std::string ElapsedText(int64_t seconds) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%2d:%02d:%02d", static_cast<int>((seconds / 3600) % 24),
                  static_cast<int>((seconds / 60) % 60), static_cast<int>(seconds % 60));
    return buffer;
}

std::string DoubleAmpersands(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        out += c;
        if (c == '&') {
            out += '&';
        }
    }
    return out;
}

}  // namespace ng
