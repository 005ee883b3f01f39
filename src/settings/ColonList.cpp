#include "settings/ColonList.h"

namespace ng {

namespace {

std::vector<std::string> Split(std::string_view text, bool keepEmptyLast) {
    std::vector<std::string> entries;
    for (size_t colon = text.find(':'); colon != std::string_view::npos; colon = text.find(':')) {
        entries.emplace_back(text.substr(0, colon));
        text.remove_prefix(colon + 1);
    }
    if (keepEmptyLast || !text.empty()) {
        entries.emplace_back(text);
    }
    return entries;
}

}  // namespace

std::vector<std::string> SplitList(std::string_view text) {
    return Split(text, false);
}

std::vector<std::string> SplitGroupFilter(std::string_view text) {
    return Split(text, true);
}

}  // namespace ng
