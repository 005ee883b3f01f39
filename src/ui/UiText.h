#pragma once
// Texts between the core (8-bit strings as the server and the file system
// give them) and Qt (Unicode). Usenet still carries Latin-1 subjects, so a
// text that is not valid UTF-8 is read as Latin-1 instead of being mangled.

#include <QString>
#include <string>
#include <string_view>

namespace ng::ui {

QString FromBytes(std::string_view text);
std::string ToBytes(const QString& text);

// What a label that treats "&" as a mnemonic marker shows: "&x" becomes x
// (underlined), "&&" becomes "&", a trailing "&" stays.
QString WithoutMnemonics(const QString& text);

}  // namespace ng::ui
