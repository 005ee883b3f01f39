#pragma once
// The program's message boxes: titled "Newsgleaner" and modal to their
// window.

#include <QMessageBox>
#include <QString>

class QWidget;

namespace ng::ui {

// A question answered with Yes or No; true for Yes.
bool AskYesNo(QWidget* parent, const QString& text, bool yesIsDefault);
// A message acknowledged with OK.
void Tell(QWidget* parent, const QString& text, QMessageBox::Icon icon);

}  // namespace ng::ui
