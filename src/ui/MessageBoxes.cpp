#include "ui/MessageBoxes.h"

namespace ng::ui {

bool AskYesNo(QWidget* parent, const QString& text, bool yesIsDefault) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Newsgleaner"), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(yesIsDefault ? QMessageBox::Yes : QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void Tell(QWidget* parent, const QString& text, QMessageBox::Icon icon) {
    QMessageBox box(icon, QStringLiteral("Newsgleaner"), text, QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace ng::ui
