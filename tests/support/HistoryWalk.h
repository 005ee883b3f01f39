#pragma once
// The download history test and the subject filters done the plain way:
// every name or term walked in turn and upper-cased on the fly. The tests
// check the indexed history against it, the benchmarks time it beside the
// engine's filter, and a fuzz target checks accepted headers with it.
// Header-only and free of any test framework; the upper-casing is its own,
// not the code under test's.

#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ngtest {

// a-z to A-Z; every other byte as it is.
inline std::string UpperAscii(std::string text) {
    for (char& c : text) {
        c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return text;
}

// The history test, newest name first: the first name longer than three
// characters that starts the (upper-cased) subject gives that name, one found
// after a blank gives the name with the blank; none, nullopt.
inline std::optional<std::string> PlainHistoryWalk(const std::deque<std::string>& names,
                                                   std::string_view subject) {
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        if (it->size() <= 3) {
            continue;
        }
        std::string entry = UpperAscii(*it);
        size_t at = subject.find(entry);
        if (at == 0) {
            return entry;
        }
        if (at != std::string_view::npos && subject.find(" " + entry) != std::string_view::npos) {
            return " " + entry;
        }
    }
    return std::nullopt;
}

// Whether the upper-cased text holds any of the terms, each upper-cased anew.
inline bool ContainsAnyTerm(const std::vector<std::string>& terms, const std::string& upperText) {
    for (const auto& term : terms) {
        if (upperText.find(UpperAscii(term)) != std::string::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace ngtest
