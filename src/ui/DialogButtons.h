#pragma once
// OK above Cancel at a dialog's side, the way the setup and excludes dialogs
// show them: OK is the default button, each is named for the tests, and
// they accept or reject the dialog.

#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>

namespace ng::ui {

struct SideButtons {
    QDialogButtonBox* box;
    QPushButton* ok;
    QPushButton* cancel;
};

inline SideButtons MakeSideOkCancel(QDialog* dialog) {
    auto* box = new QDialogButtonBox(Qt::Vertical, dialog);
    auto* ok = box->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    auto* cancel = box->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cancel"));
    QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return {box, ok, cancel};
}

}  // namespace ng::ui
