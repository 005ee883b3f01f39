#pragma once
// The setup dialog: news server, port, download directory, article size
// limits, subject includes, history limits, thumbnail switch and the
// server's login. It holds its values in its controls; OK stores them all,
// Cancel stores nothing.

#include <QComboBox>
#include <QDialog>
#include <QString>

#include <string>

#include "settings/HostList.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidgetItem;
class QPushButton;
class QToolButton;

// Shared by the program's dialogs. Lists, settings and server replies are
// bytes: mostly UTF-8, but a file from another system may hold 8-bit text.
// Such text is shown as Latin-1 and its bytes are kept beside it, so that it
// is written back unchanged.
namespace ngui {
QString ShownText(const std::string& bytes);
QListWidgetItem* NewListItem(const std::string& bytes);
// Gives an item made with `label` == ShownText(bytes) its bytes when needed.
void KeepBytes(QListWidgetItem* item, const std::string& bytes);
std::string ItemBytes(const QListWidgetItem* item);
void InsertComboItem(QComboBox* combo, int index, const std::string& bytes);
// An edit field shows the bytes; EditBytes gives them back unchanged as long
// as the shown text is not edited, else the typed text as UTF-8.
void SetEditBytes(QLineEdit* edit, const std::string& bytes);
std::string EditBytes(const QLineEdit* edit);
std::string ComboItemBytes(const QComboBox* combo, int index);
}  // namespace ngui

// A combo box that tells when its drop-down list closes, whether or not an
// entry was picked. The notice is queued so that it comes after the combo box
// has taken the picked entry.
class CCloseUpComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit CCloseUpComboBox(QWidget* parent = nullptr);
    void showPopup() override;
    void hidePopup() override;

signals:
    void closedUp();

private:
    bool m_bPopupShown = false;
};

class CSetupDialog : public QDialog {
    Q_OBJECT
public:
    explicit CSetupDialog(QWidget* parent = nullptr);

    // The directory field's text made to end in "/".
    void OnDirectoryKillFocus();
    void OnHostCloseUp();
    void UpdateLoginControls();
    void OnExcludes();
    void OnBrowseDirectory();

    void accept() override;  // OnOK

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnInitDialog();
    std::string HostText() const;
    void ShowLogin(const std::string& host);

    ng::HostList m_hosts;

    CCloseUpComboBox* m_pHost = nullptr;
    QLineEdit* m_pPort = nullptr;
    QLineEdit* m_pDirectory = nullptr;
    QToolButton* m_pBrowse = nullptr;
    QLineEdit* m_pMinLines = nullptr;
    QLineEdit* m_pMaxLines = nullptr;
    QLineEdit* m_pSubjectIncl = nullptr;
    QLineEdit* m_pSubjectIncl2 = nullptr;
    QLineEdit* m_pMaxHist = nullptr;
    QLineEdit* m_pHistSaveFrequency = nullptr;
    QCheckBox* m_pShowThumbnail = nullptr;
    QCheckBox* m_pUserAuthentication = nullptr;
    QLabel* m_pUsernameLabel = nullptr;
    QLineEdit* m_pUsername = nullptr;
    QLabel* m_pPasswordLabel = nullptr;
    QLineEdit* m_pPassword = nullptr;
    QCheckBox* m_pPromptForPasswd = nullptr;
    QPushButton* m_pExcludes = nullptr;
};

// Runs the setup dialog modally; QDialog::Accepted or QDialog::Rejected.
int RunSetupDialog(QWidget* parent);
