#pragma once
// The setup dialog: news server, port, how the connection is protected and
// compressed, how far back a first visit to a group reaches, how many
// connections, download directory, picture and article size limits (and
// a button for the classic ones), subject includes, history limits,
// thumbnail switch and the server's login. It holds its values in its
// controls; OK stores them all, Cancel stores nothing. The password goes
// into the keyring where one answers, else into the settings file.

#include <QDialog>

#include <string>

#include "settings/HostList.h"

class CCloseUpComboBox;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QToolButton;

class CSetupDialog : public QDialog {
    Q_OBJECT
public:
    // `firstRun`: no settings yet; a hint says what to fill in.
    explicit CSetupDialog(QWidget* parent = nullptr, bool firstRun = false);

    void accept() override;  // OnOK

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The directory field's text made to end in "/".
    void OnDirectoryKillFocus();
    void OnHostCloseUp();
    void UpdateLoginControls();
    void OnExcludes();
    void OnBrowseDirectory();
    void OnSecurityChosen();
    void UpdateTlsControls();
    void OnBrowseCaFile();
    void OnInitDialog();
    void ShowLogin(const std::string& host);
    void ShowKBLimits();
    void OnClassicFilters();

    ng::HostList m_hosts;

    CCloseUpComboBox* m_pHost = nullptr;
    QLineEdit* m_pPort = nullptr;
    QComboBox* m_pSecurity = nullptr;
    QCheckBox* m_pVerifyCertificate = nullptr;
    QLabel* m_pCaFileLabel = nullptr;
    QLineEdit* m_pCaFile = nullptr;
    QToolButton* m_pCaFileBrowse = nullptr;
    QCheckBox* m_pCompress = nullptr;
    QLineEdit* m_pFirstVisitMax = nullptr;
    QLineEdit* m_pDirectory = nullptr;
    QLineEdit* m_pConnections = nullptr;
    QLineEdit* m_pMinKB = nullptr;
    QLineEdit* m_pMaxKB = nullptr;
    QLineEdit* m_pMinLines = nullptr;
    QLineEdit* m_pMaxLines = nullptr;
    QLineEdit* m_pSubjectIncl = nullptr;
    QLineEdit* m_pSubjectIncl2 = nullptr;
    QCheckBox* m_pPicturesOnly = nullptr;
    QLineEdit* m_pMaxHist = nullptr;
    QLineEdit* m_pHistSaveFrequency = nullptr;
    QCheckBox* m_pShowThumbnail = nullptr;
    QCheckBox* m_pUserAuthentication = nullptr;
    QLabel* m_pUsernameLabel = nullptr;
    QLineEdit* m_pUsername = nullptr;
    QLabel* m_pPasswordLabel = nullptr;
    QLineEdit* m_pPassword = nullptr;
    QCheckBox* m_pPromptForPasswd = nullptr;
};

// Runs the setup dialog modally; QDialog::Accepted or QDialog::Rejected.
int RunSetupDialog(QWidget* parent, bool firstRun = false);
