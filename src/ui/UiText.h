#pragma once
// Texts between the core and Qt. Lists, settings, file names and server
// replies are bytes: mostly UTF-8, but Usenet still carries Latin-1 and a
// file from another system may hold 8-bit text. Such text is shown as
// Latin-1 rather than mangled, and a control that shows it keeps its bytes
// beside it, so that it is written back unchanged.

#include <QString>
#include <string>
#include <string_view>

class QComboBox;
class QLineEdit;
class QListWidgetItem;

namespace ng::ui {

// The bytes as shown: UTF-8 when they are valid UTF-8, else Latin-1.
QString FromBytes(std::string_view bytes);
// Text the user typed, as UTF-8. Text shown from bytes goes back through
// the control that keeps them (ItemBytes, ComboItemBytes, EditBytes).
std::string ToBytes(const QString& text);

// What a label that treats "&" as a mnemonic marker shows: "&x" becomes x
// (underlined), "&&" becomes "&", a trailing "&" stays.
QString WithoutMnemonics(const QString& text);

// A list entry showing the bytes, and the bytes back from it.
QListWidgetItem* NewListItem(std::string_view bytes);
// Gives an item whose text is FromBytes(bytes) its bytes where needed.
void KeepBytes(QListWidgetItem* item, std::string_view bytes);
std::string ItemBytes(const QListWidgetItem* item);

// A combo box entry showing the bytes, and the bytes back from it.
void InsertComboItem(QComboBox* combo, int index, std::string_view bytes);
std::string ComboItemBytes(const QComboBox* combo, int index);
// The text of an editable combo box: the chosen entry's bytes while it shows
// unchanged, else the typed text as UTF-8.
std::string ComboTextBytes(const QComboBox* combo);

// An edit field shows the bytes; EditBytes gives them back unchanged as long
// as the shown text is not edited, else the typed text as UTF-8.
void SetEditBytes(QLineEdit* edit, std::string_view bytes);
std::string EditBytes(const QLineEdit* edit);

}  // namespace ng::ui
