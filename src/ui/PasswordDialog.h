#pragma once
// The news server password, asked for at the moment a login needs it. The
// dialog only collects one line; the caller decides what to do with it and
// never stores it.

#include <QDialog>
#include <string>

class QLineEdit;

class CPasswordDialog : public QDialog {
    Q_OBJECT

public:
    explicit CPasswordDialog(QWidget* parent = nullptr);

    // The text as typed when OK was pressed; empty otherwise.
    std::string GetPassword() const { return m_strPassword; }
    QLineEdit* PasswordEdit() const { return m_pEdit; }

public slots:
    void accept() override;  // takes the typed text, then closes with OK

private:
    QLineEdit* m_pEdit;
    std::string m_strPassword;
};
