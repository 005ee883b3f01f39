#pragma once
// Colon lists: one settings value holding entries separated by ':'
// ("jpg:gif"). An empty entry matches every text wherever a list is matched.

#include <string>
#include <string_view>
#include <vector>

namespace ng {

// The subject and sender lists of a pass: "jpg:gif" gives jpg and gif; a
// leading colon or two side by side give an empty entry; a trailing colon,
// or an empty value, adds nothing.
std::vector<std::string> SplitList(std::string_view text);

// The group filter, as its dialog field holds it: the parts between colons,
// the last one even when empty, so "" gives one empty entry.
std::vector<std::string> SplitGroupFilter(std::string_view text);

}  // namespace ng
