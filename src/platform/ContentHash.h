#pragma once
// A picture's identity by content: the SHA-256 of its bytes, from OpenSSL's
// libcrypto (a hash every distribution keeps up to date, rather than one of
// our own).

#include <optional>
#include <string>
#include <string_view>

namespace ng {

// The SHA-256 of everything in the open file `fd`, read from its start
// (the file position is left alone), as 64 lower-case hex digits. nullopt
// when the file cannot be read.
std::optional<std::string> Sha256OfFile(int fd);

// The SHA-256 of a text, as 64 lower-case hex digits.
std::string Sha256OfText(std::string_view text);

}  // namespace ng
