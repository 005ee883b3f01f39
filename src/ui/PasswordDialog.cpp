#include "ui/PasswordDialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/UiText.h"

CPasswordDialog::CPasswordDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Newsgleaner"));
    setObjectName(QStringLiteral("passwordDialog"));

    auto* label = new QLabel(QStringLiteral("&Password:"), this);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_pEdit = new QLineEdit(this);
    m_pEdit->setObjectName(QStringLiteral("password"));
    m_pEdit->setEchoMode(QLineEdit::Password);
    m_pEdit->setMinimumWidth(160);
    label->setBuddy(m_pEdit);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &CPasswordDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CPasswordDialog::reject);

    auto* row = new QGridLayout;
    row->addWidget(label, 0, 0);
    row->addWidget(m_pEdit, 0, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addSpacing(8);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    m_pEdit->setFocus();
}

void CPasswordDialog::accept() {
    m_strPassword = ng::ui::ToBytes(m_pEdit->text());  // exactly as typed, blanks and all
    QDialog::accept();
}
