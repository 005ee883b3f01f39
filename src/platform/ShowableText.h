#pragma once
// Text from a news server on its way to a screen or a log. Subjects, names
// and senders are the server's to choose, and a control character in them
// would reach the user's terminal as a command (retitling, clearing or
// recolouring it) or forge lines in a log.

#include <string>
#include <string_view>

namespace ng {

// The text with every control character replaced: C0 but TAB, DEL, and C1
// (U+0080..U+009F in valid UTF-8, the bytes 0x80..0x9F in 8-bit text). Line
// breaks become a blank, the others "?". Everything else is kept as it is.
std::string ShowableText(std::string_view text);

}  // namespace ng
