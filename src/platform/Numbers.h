#pragma once
// Reading numbers out of text the way atoi does (leading blanks, a sign,
// digits, anything after ignored), but saturating instead of overflowing:
// settings files and news servers may hold any digits at all.

#include <cstdint>
#include <string_view>

namespace ng {

int64_t LeadingNumber(std::string_view text);
// As LeadingNumber, held to the range of int.
int LeadingInt(std::string_view text);

}  // namespace ng
