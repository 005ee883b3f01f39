#include "ui/SetupDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "settings/Keyring.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"
#include "ui/CloseUpComboBox.h"
#include "ui/DialogButtons.h"
#include "ui/ExcludesDialog.h"
#include "ui/TabOrder.h"
#include "ui/UiText.h"

namespace keys = ng::keys;
namespace setting = ng::setting;
using ng::Read;

namespace {

void ShowProductString(QLineEdit* edit, const char* key, const std::string& fallback) {
    ng::ui::SetEditBytes(edit,
                         ng::Profile().GetProfileString(keys::kProductSection, key, fallback));
}

// What the profile holds for the setting, or its default: the text as
// stored, so that what the user typed comes back as typed.
void ShowText(QLineEdit* edit, const ng::TextSetting& setting) {
    ng::ui::SetEditBytes(edit, Read(ng::Profile(), setting));
}
void ShowNumber(QLineEdit* edit, const ng::IntSetting& setting) {
    ShowProductString(edit, setting.key, std::to_string(setting.fallback));
}
// A limit left open shows blank.
void ShowLimit(QLineEdit* edit, const ng::LimitSetting& setting) {
    ShowProductString(edit, setting.key,
                      setting.fallback ? std::to_string(*setting.fallback) : std::string());
}

void StoreText(const char* key, const QLineEdit* edit) {
    ng::Profile().WriteProfileString(keys::kProductSection, key, ng::ui::EditBytes(edit));
}

// The user's Pictures folder, the place a first download goes.
std::string DefaultDownloadDirectory() {
    QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (pictures.isEmpty()) {
        pictures = QStandardPaths::writableLocation(QStandardPaths::HomeLocation);
    }
    return ng::WithTrailingSlash(ng::ui::ToBytes(pictures));
}

QLineEdit* NewEdit(QWidget* parent, const char* name) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    return edit;
}

QCheckBox* NewCheckBox(QWidget* parent, const char* text, const char* name) {
    auto* box = new QCheckBox(QString::fromUtf8(text), parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

QToolButton* NewChooser(QWidget* parent, const char* name, const char* tip) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(QStringLiteral("..."));
    button->setToolTip(QString::fromUtf8(tip));
    return button;
}

// The security choices as shown and as stored ("NNTPSecurity").
struct SecurityChoice {
    const char* shown;
    const char* stored;
};
constexpr SecurityChoice kSecurityChoices[] = {
    {"None", "none"}, {"TLS", "tls"}, {"STARTTLS", "starttls"}};

// The entry for the stored text; anything the pass reads as no protection
// shows as None.
int SecurityIndex(const std::string& stored) {
    const QString text = QString::fromLatin1(stored.data(), static_cast<qsizetype>(stored.size()));
    for (int i = 0; i < static_cast<int>(std::size(kSecurityChoices)); ++i) {
        if (text.compare(QLatin1String(kSecurityChoices[i].stored), Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return 0;
}

const char* ChosenSecurity(const QComboBox* security) {
    return kSecurityChoices[std::max(0, security->currentIndex())].stored;
}

}  // namespace

CSetupDialog::CSetupDialog(QWidget* parent, bool firstRun) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Newsgleaner Setup"));

    m_pHost = new CCloseUpComboBox(this);
    m_pHost->setObjectName(QStringLiteral("host"));
    m_pHost->setEditable(true);
    // The list changes only by the dialog's own rules: typing a host neither
    // adds it nor completes it from the list.
    m_pHost->setInsertPolicy(QComboBox::NoInsert);
    m_pHost->setCompleter(nullptr);
    m_pHost->setMinimumContentsLength(24);
    m_pPort = NewEdit(this, "port");
    m_pSecurity = new QComboBox(this);
    m_pSecurity->setObjectName(QStringLiteral("security"));
    for (const SecurityChoice& choice : kSecurityChoices) {
        m_pSecurity->addItem(QString::fromLatin1(choice.shown));
    }
    m_pVerifyCertificate =
        NewCheckBox(this, "Ve&rify the server's certificate", "verifyCertificate");
    m_pCaFile = NewEdit(this, "caFile");
    m_pCaFileBrowse = NewChooser(this, "caFileBrowse", "Choose a file of trusted certificates");
    m_pCompress =
        NewCheckBox(this, "Co&mpress the connection when the server offers it", "compress");
    m_pFirstVisitMax = NewEdit(this, "firstVisitMax");
    m_pDirectory = NewEdit(this, "directory");
    auto* browse = NewChooser(this, "browse", "Choose the download directory");
    m_pConnections = NewEdit(this, "connections");
    m_pMinKB = NewEdit(this, "minKB");
    m_pMaxKB = NewEdit(this, "maxKB");
    m_pMinLines = NewEdit(this, "minLines");
    m_pMaxLines = NewEdit(this, "maxLines");
    m_pSubjectIncl = NewEdit(this, "subjectIncl");
    m_pSubjectIncl2 = NewEdit(this, "subjectIncl2");
    m_pPicturesOnly =
        NewCheckBox(this, "Save pictures onl&y (JPEG, PNG, GIF, WebP, BMP, TIFF)", "picturesOnly");
    m_pMaxHist = NewEdit(this, "maxHist");
    m_pHistSaveFrequency = NewEdit(this, "histSaveFrequency");
    m_pShowThumbnail = new QCheckBox(QStringLiteral("Display Thumbnail"), this);
    m_pShowThumbnail->setObjectName(QStringLiteral("showThumbnail"));

    auto* grid = new QGridLayout;
    int row = 0;
    auto addRow = [&](const char* caption, QWidget* field,
                      std::initializer_list<QWidget*> extras = {}) {
        auto* label = new QLabel(QString::fromUtf8(caption), this);
        label->setBuddy(field);
        grid->addWidget(label, row, 0);
        if (extras.size() != 0) {
            auto* line = new QHBoxLayout;
            line->addWidget(field, 1);
            for (QWidget* extra : extras) {
                line->addWidget(extra);
            }
            grid->addLayout(line, row, 1);
        } else {
            grid->addWidget(field, row, 1);
        }
        ++row;
        return label;
    };
    auto addBox = [&](QCheckBox* box) { grid->addWidget(box, row++, 1); };
    addRow("&Host:", m_pHost);
    auto* securityLabel = new QLabel(QStringLiteral("Se&curity:"), this);
    securityLabel->setBuddy(m_pSecurity);
    addRow("&Port:", m_pPort, {securityLabel, m_pSecurity});
    addBox(m_pVerifyCertificate);
    m_pCaFileLabel = addRow("C&A file:", m_pCaFile, {m_pCaFileBrowse});
    addBox(m_pCompress);
    auto* firstVisit = new QHBoxLayout;
    auto* firstVisitLabel = new QLabel(QStringLiteral("&First visit:"), this);
    firstVisitLabel->setBuddy(m_pFirstVisitMax);
    m_pFirstVisitMax->setMaximumWidth(80);
    firstVisit->addWidget(new QLabel(QStringLiteral("at most"), this));
    firstVisit->addWidget(m_pFirstVisitMax);
    firstVisit->addWidget(new QLabel(QStringLiteral("newest articles (0 = all)"), this), 1);
    grid->addWidget(firstVisitLabel, row, 0);
    grid->addLayout(firstVisit, row++, 1);
    auto* connections = new QHBoxLayout;
    auto* connectionsLabel = new QLabel(QStringLiteral("C&onnections:"), this);
    connectionsLabel->setBuddy(m_pConnections);
    m_pConnections->setMaximumWidth(80);
    connections->addWidget(m_pConnections);
    connections->addWidget(new QLabel(QStringLiteral("at once to this server (1 to %1)")
                                          .arg(ng::server_setting::kMaxConnections),
                                      this),
                           1);
    grid->addWidget(connectionsLabel, row, 0);
    grid->addLayout(connections, row++, 1);
    addRow("&Download Directory:", m_pDirectory, {browse});
    // Sizes of whole pictures first, as today's posts are measured; the line
    // limits of the old uuencoded days after them, blank unless wanted.
    auto* classic = new QPushButton(QStringLiteral("C&lassic filters"), this);
    classic->setObjectName(QStringLiteral("classicFilters"));
    classic->setAutoDefault(false);
    classic->setToolTip(QStringLiteral(
        "Lines of uuencoded articles and single JPEG or GIF files, as the filters were"));
    addRow("Min si&ze (KB):", m_pMinKB);
    addRow("Max size (K&B):", m_pMaxKB, {classic});
    addRow("Mi&n Lines:", m_pMinLines);
    addRow("Ma&x Lines:", m_pMaxLines);
    addRow("Subject &Include:", m_pSubjectIncl);
    addRow("And...", m_pSubjectIncl2);
    addBox(m_pPicturesOnly);

    auto* history = new QHBoxLayout;
    auto* keepLabel = new QLabel(QStringLiteral("&Keep a maximum of "), this);
    keepLabel->setBuddy(m_pMaxHist);
    m_pMaxHist->setMaximumWidth(80);
    history->addWidget(keepLabel);
    history->addWidget(m_pMaxHist);
    history->addWidget(new QLabel(QStringLiteral("filenames in history list"), this));
    history->addStretch(1);
    auto* saving = new QHBoxLayout;
    auto* saveLabel = new QLabel(QStringLiteral("&Save history list every"), this);
    saveLabel->setBuddy(m_pHistSaveFrequency);
    m_pHistSaveFrequency->setMaximumWidth(80);
    saving->addWidget(saveLabel);
    saving->addWidget(m_pHistSaveFrequency);
    saving->addWidget(new QLabel(QStringLiteral("files downloaded"), this));
    saving->addStretch(1);

    auto* login = new QGroupBox(QStringLiteral("News Server Authentication"), this);
    m_pUserAuthentication = new QCheckBox(QStringLiteral("Ser&ver requires password"), login);
    m_pUserAuthentication->setObjectName(QStringLiteral("userAuthentication"));
    m_pUsernameLabel = new QLabel(QStringLiteral("&Username:"), login);
    m_pUsername = NewEdit(login, "username");
    m_pUsernameLabel->setBuddy(m_pUsername);
    m_pPasswordLabel = new QLabel(QStringLiteral("Pass&word:"), login);
    m_pPassword = NewEdit(login, "password");
    m_pPassword->setEchoMode(QLineEdit::Password);
    m_pPasswordLabel->setBuddy(m_pPassword);
    m_pPromptForPasswd =
        new QCheckBox(QStringLiteral("Promp&t for password for each session"), login);
    m_pPromptForPasswd->setObjectName(QStringLiteral("promptForPasswd"));
    auto* loginGrid = new QGridLayout(login);
    loginGrid->addWidget(m_pUserAuthentication, 0, 0, 1, 2);
    loginGrid->addWidget(m_pUsernameLabel, 1, 0);
    loginGrid->addWidget(m_pUsername, 1, 1);
    loginGrid->addWidget(m_pPasswordLabel, 2, 0);
    loginGrid->addWidget(m_pPassword, 2, 1);
    loginGrid->addWidget(m_pPromptForPasswd, 3, 0, 1, 2);

    const auto [buttons, ok, cancel] = ng::ui::MakeSideOkCancel(this);
    // A button of its own, apart from OK and Cancel: it answers nothing.
    auto* excludes = new QPushButton(QStringLiteral("&Excludes..."), this);
    excludes->setObjectName(QStringLiteral("excludes"));
    excludes->setAutoDefault(false);
    auto* side = new QVBoxLayout;
    side->addWidget(buttons);
    side->addStretch(1);
    side->addWidget(excludes);

    auto* fields = new QVBoxLayout;
    if (firstRun) {
        // Nothing is set yet: say what a first pass needs.
        auto* hint = new QLabel(
            QStringLiteral("Welcome. Fill in your news server (and its login if it asks for "
                           "one) and the folder for the pictures, then press OK and choose "
                           "groups. The filters below suit today's posts."),
            this);
        hint->setObjectName(QStringLiteral("firstRunHint"));
        hint->setWordWrap(true);
        fields->addWidget(hint);
    }
    fields->addLayout(grid);
    fields->addLayout(history);
    fields->addLayout(saving);
    fields->addWidget(m_pShowThumbnail);
    fields->addWidget(login);
    auto* top = new QHBoxLayout(this);
    top->addLayout(fields, 1);
    top->addLayout(side);

    // The fields top to bottom, then OK, Cancel and Excludes; the file and
    // folder choosers last, so they do not sit between the fields.
    ng::ui::ChainTabOrder({m_pHost,
                           m_pPort,
                           m_pSecurity,
                           m_pVerifyCertificate,
                           m_pCaFile,
                           m_pCompress,
                           m_pFirstVisitMax,
                           m_pConnections,
                           m_pDirectory,
                           m_pMinKB,
                           m_pMaxKB,
                           classic,
                           m_pMinLines,
                           m_pMaxLines,
                           m_pSubjectIncl,
                           m_pSubjectIncl2,
                           m_pPicturesOnly,
                           m_pMaxHist,
                           m_pHistSaveFrequency,
                           m_pShowThumbnail,
                           m_pUserAuthentication,
                           m_pUsername,
                           m_pPassword,
                           m_pPromptForPasswd,
                           ok,
                           cancel,
                           excludes,
                           m_pCaFileBrowse,
                           browse});

    connect(excludes, &QPushButton::clicked, this, &CSetupDialog::OnExcludes);
    connect(classic, &QPushButton::clicked, this, &CSetupDialog::OnClassicFilters);
    connect(browse, &QToolButton::clicked, this, &CSetupDialog::OnBrowseDirectory);
    connect(m_pCaFileBrowse, &QToolButton::clicked, this, &CSetupDialog::OnBrowseCaFile);
    // Only a choice the user makes suggests a port, not the stored one shown.
    connect(m_pSecurity, &QComboBox::activated, this, &CSetupDialog::OnSecurityChosen);
    connect(m_pSecurity, &QComboBox::currentIndexChanged, this, &CSetupDialog::UpdateTlsControls);
    connect(m_pUserAuthentication, &QCheckBox::clicked, this, &CSetupDialog::UpdateLoginControls);
    connect(m_pHost, &CCloseUpComboBox::closedUp, this, &CSetupDialog::OnHostCloseUp);
    m_pDirectory->installEventFilter(this);

    // The login controls start disabled; the stored state may enable them.
    for (QWidget* control :
         {static_cast<QWidget*>(m_pUsernameLabel), static_cast<QWidget*>(m_pUsername),
          static_cast<QWidget*>(m_pPasswordLabel), static_cast<QWidget*>(m_pPassword),
          static_cast<QWidget*>(m_pPromptForPasswd)}) {
        control->setEnabled(false);
    }
    OnInitDialog();
}

void CSetupDialog::OnInitDialog() {
    const ng::SettingsStore& store = ng::Profile();
    m_pShowThumbnail->setChecked(Read(store, setting::kShowThumbnail) != 0);
    m_hosts.LoadFromProfile();
    for (const auto& host : m_hosts.Entries()) {
        ng::ui::InsertComboItem(m_pHost, m_pHost->count(), host);
    }
    std::string current = ng::Read(store, ng::setting::kNNTPHost);
    if (!current.empty()) {
        m_pHost->setCurrentIndex(0);
        ShowLogin(current);
    } else {
        m_pHost->setCurrentIndex(-1);
        m_pHost->setEditText(QString());
        m_pConnections->setText(QString::number(ng::server_setting::kConnectionsFallback));
    }

    ShowNumber(m_pPort, setting::kNNTPPort);
    m_pSecurity->setCurrentIndex(SecurityIndex(Read(store, setting::kNNTPSecurity)));
    UpdateTlsControls();
    m_pVerifyCertificate->setChecked(Read(store, setting::kTLSVerify) != 0);
    ShowText(m_pCaFile, setting::kTLSCAFile);
    m_pCompress->setChecked(Read(store, setting::kNNTPCompress) != 0);
    ShowNumber(m_pFirstVisitMax, setting::kFirstVisitMax);
    ShowProductString(m_pDirectory, keys::kDownloadDirectory, DefaultDownloadDirectory());
    ShowKBLimits();
    ShowLimit(m_pMinLines, setting::kMinLines);
    ShowLimit(m_pMaxLines, setting::kMaxLines);
    ShowText(m_pSubjectIncl, setting::kSubjectIncl);
    ShowText(m_pSubjectIncl2, setting::kSubjectIncl2);
    m_pPicturesOnly->setChecked(Read(store, setting::kPicturesOnly) != 0);
    ShowNumber(m_pMaxHist, setting::kMaxHist);
    ShowNumber(m_pHistSaveFrequency, setting::kHistSaveFrequency);
}

void CSetupDialog::ShowLogin(const std::string& host) {
    const ng::SettingsStore& store = ng::Profile();
    m_pUserAuthentication->setChecked(store.GetProfileInt(host, keys::kUserAuthentication, 0) != 0);
    UpdateLoginControls();
    m_pPromptForPasswd->setChecked(store.GetProfileInt(host, keys::kPromptForPasswd, 0) != 0);
    const std::string user = store.GetProfileString(host, keys::kUsername, "");
    ng::ui::SetEditBytes(m_pUsername, user);
    // The keyring's entry where there is one; else the file's, as before.
    std::optional<std::string> kept = ng::Keyring().Lookup(host, user).password;
    ng::ui::SetEditBytes(m_pPassword,
                         kept ? *kept : store.GetProfileString(host, keys::kPassword, ""));
    m_pConnections->setText(QString::number(ng::ReadConnections(store, host)));
}

// A profile that limits lines and not kilobytes filters on lines alone, so
// its kilobyte fields show blank, as the pass reads them.
void CSetupDialog::ShowKBLimits() {
    const ng::SettingsStore& store = ng::Profile();
    const bool linesOnly =
        (ng::IsSet(store, setting::kMinLines) || ng::IsSet(store, setting::kMaxLines));
    for (auto [edit, limit] :
         {std::pair{m_pMinKB, setting::kMinKB}, std::pair{m_pMaxKB, setting::kMaxKB}}) {
        if (linesOnly && !ng::IsSet(store, limit)) {
            edit->clear();
        } else {
            ShowLimit(edit, limit);
        }
    }
}

void CSetupDialog::OnClassicFilters() {
    m_pMinKB->clear();
    m_pMaxKB->clear();
    m_pMinLines->setText(QString::fromLatin1(ng::classic::kMinLines));
    m_pMaxLines->setText(QString::fromLatin1(ng::classic::kMaxLines));
    m_pSubjectIncl->setText(QString::fromLatin1(ng::classic::kSubjectIncl));
    m_pSubjectIncl2->setText(QString::fromLatin1(ng::classic::kSubjectIncl2));
}

void CSetupDialog::UpdateLoginControls() {
    bool enable = m_pUserAuthentication->isChecked();
    m_pUsernameLabel->setEnabled(enable);
    m_pUsername->setEnabled(enable);
    m_pPasswordLabel->setEnabled(enable);
    m_pPassword->setEnabled(enable);
    m_pPromptForPasswd->setEnabled(enable);
}

void CSetupDialog::OnSecurityChosen() {
    // TLS from the first byte has a port of its own; the usual port of the
    // other choice gives way to it, a port chosen by hand stays.
    const bool tls = std::string_view(ChosenSecurity(m_pSecurity)) == "tls";
    const QString from = tls ? QStringLiteral("119") : QStringLiteral("563");
    if (m_pPort->text() == from) {
        m_pPort->setText(tls ? QStringLiteral("563") : QStringLiteral("119"));
    }
}

void CSetupDialog::UpdateTlsControls() {
    const bool enable = std::string_view(ChosenSecurity(m_pSecurity)) != "none";
    for (QWidget* control :
         {static_cast<QWidget*>(m_pVerifyCertificate), static_cast<QWidget*>(m_pCaFileLabel),
          static_cast<QWidget*>(m_pCaFile), static_cast<QWidget*>(m_pCaFileBrowse)}) {
        control->setEnabled(enable);
    }
}

void CSetupDialog::OnDirectoryKillFocus() {
    if (!m_pDirectory->text().endsWith(QLatin1Char('/'))) {
        ng::ui::SetEditBytes(m_pDirectory, ng::WithTrailingSlash(ng::ui::EditBytes(m_pDirectory)));
    }
}

bool CSetupDialog::eventFilter(QObject* watched, QEvent* event) {
    // A context menu opening over the field does not end the editing.
    if (watched == m_pDirectory && event->type() == QEvent::FocusOut &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
        OnDirectoryKillFocus();
    }
    return QDialog::eventFilter(watched, event);
}

void CSetupDialog::OnHostCloseUp() {
    int index = m_pHost->currentIndex();
    if (index <= 0 || !m_hosts.Choose(index)) {
        return;
    }
    // The combo box mirrors the host list, which has just moved the entry up.
    m_pHost->removeItem(index);
    ng::ui::InsertComboItem(m_pHost, 0, m_hosts.Entries().front());
    m_pHost->setCurrentIndex(0);
    ShowLogin(m_hosts.Entries().front());
}

void CSetupDialog::OnExcludes() {
    CExcludesDialog excludes(this);
    excludes.exec();  // it stores its own values; its result does not matter here
}

void CSetupDialog::OnBrowseDirectory() {
    QString directory =
        QFileDialog::getExistingDirectory(this, QStringLiteral("Download Directory"),
                                          m_pDirectory->text(), QFileDialog::ShowDirsOnly);
    if (!directory.isEmpty()) {
        ng::ui::SetEditBytes(m_pDirectory,
                             ng::WithTrailingSlash(QFile::encodeName(directory).toStdString()));
    }
}

void CSetupDialog::OnBrowseCaFile() {
    QString file = QFileDialog::getOpenFileName(
        this, QStringLiteral("Trusted Certificates"), m_pCaFile->text(),
        QStringLiteral("Certificates (*.pem *.crt);;All files (*)"));
    if (!file.isEmpty()) {
        ng::ui::SetEditBytes(m_pCaFile, QFile::encodeName(file).toStdString());
    }
}

void CSetupDialog::accept() {
    ng::SettingsStore& store = ng::Profile();
    store.WriteProfileInt(keys::kProductSection, keys::kShowThumbnail,
                          m_pShowThumbnail->isChecked() ? 1 : 0);
    OnDirectoryKillFocus();

    std::string host = ng::ui::ComboTextBytes(m_pHost);
    if (!host.empty()) {
        store.WriteProfileString(keys::kProductSection, keys::kNNTPHost, host);
        bool authentication = m_pUserAuthentication->isChecked();
        bool prompt = m_pPromptForPasswd->isChecked();
        store.WriteProfileInt(host, keys::kUserAuthentication, authentication ? 1 : 0);
        store.WriteProfileInt(host, keys::kPromptForPasswd, prompt ? 1 : 0);
        store.WriteProfileString(host, keys::kConnections, ng::ui::EditBytes(m_pConnections));
        if (authentication) {
            const std::string user = ng::ui::EditBytes(m_pUsername);
            store.WriteProfileString(host, keys::kUsername, user);
            // A password asked for at every session is never kept.
            const std::string password = prompt ? std::string() : ng::ui::EditBytes(m_pPassword);
            // Where the keyring takes the password, the file keeps none.
            const ng::Keyring keyring;
            bool inKeyring = false;
            if (password.empty()) {
                keyring.Erase(host, user);
            } else {
                inKeyring = keyring.Store(host, user, password);
            }
            store.WriteProfileString(host, keys::kPassword, inKeyring ? std::string() : password);
        }
    }
    m_hosts.StoreEarlierHosts(host);

    StoreText(keys::kNNTPPort, m_pPort);
    store.WriteProfileString(keys::kProductSection, keys::kNNTPSecurity,
                             ChosenSecurity(m_pSecurity));
    store.WriteProfileInt(keys::kProductSection, keys::kTLSVerify,
                          m_pVerifyCertificate->isChecked() ? 1 : 0);
    StoreText(keys::kTLSCAFile, m_pCaFile);
    store.WriteProfileInt(keys::kProductSection, keys::kNNTPCompress,
                          m_pCompress->isChecked() ? 1 : 0);
    StoreText(keys::kFirstVisitMax, m_pFirstVisitMax);
    StoreText(keys::kDownloadDirectory, m_pDirectory);
    StoreText(keys::kMinKB, m_pMinKB);
    StoreText(keys::kMaxKB, m_pMaxKB);
    StoreText(keys::kMinLines, m_pMinLines);
    StoreText(keys::kMaxLines, m_pMaxLines);
    StoreText(keys::kSubjectIncl, m_pSubjectIncl);
    StoreText(keys::kSubjectIncl2, m_pSubjectIncl2);
    store.WriteProfileInt(keys::kProductSection, keys::kPicturesOnly,
                          m_pPicturesOnly->isChecked() ? 1 : 0);
    StoreText(keys::kMaxHist, m_pMaxHist);
    StoreText(keys::kHistSaveFrequency, m_pHistSaveFrequency);
    QDialog::accept();
}

int RunSetupDialog(QWidget* parent, bool firstRun) {
    CSetupDialog dialog(parent, firstRun);
    return dialog.exec();
}
