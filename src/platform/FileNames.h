#pragma once
// Attachment names come from a news server, which is not trusted: a name
// never leads outside the folder it is saved in.

#include <optional>
#include <string>
#include <string_view>

namespace ng {

// Longest name of one folder entry, and of a whole path, that is accepted.
inline constexpr size_t kMaxLeafName = 255;
inline constexpr size_t kMaxPathLength = 4095;

// The part of `name` after its last '/'. Refused (nullopt): an empty result,
// a name beginning with "." (".", "..", hidden names), a name longer than
// kMaxLeafName bytes, or one holding a NUL.
std::optional<std::string> SafeLeafName(std::string_view name);

// directory + SafeLeafName(name), refused as above or when the whole path
// would be longer than kMaxPathLength. The directory is used as given (it
// ends with its own separator).
std::optional<std::string> SafeJoin(std::string_view directory, std::string_view name);

}  // namespace ng
