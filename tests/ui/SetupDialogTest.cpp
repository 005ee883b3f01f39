// The setup dialog and its host list, and the excludes dialog it opens.

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMap>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QToolButton>
#include <string>
#include <utility>
#include <vector>

#include "WindowTestSupport.h"
#include "settings/HostList.h"
#include "settings/Keyring.h"
#include "settings/SettingsStore.h"
#include "support/TestSupport.h"
#include "ui/ExcludesDialog.h"
#include "ui/SetupDialog.h"

using ngwin::Child;
using ngwin::ModalAnswer;
using Keys = std::vector<std::pair<std::string, std::string>>;

namespace {

std::string Product(const char* key, const char* fallback = "<missing>") {
    return ng::Profile().GetProfileString("Newsgleaner", key, fallback);
}

void StoreHosts(const std::vector<std::string>& hosts) {
    const char* keys[] = {"NNTPHost", "NNTPHost2", "NNTPHost3", "NNTPHost4"};
    for (size_t i = 0; i < hosts.size(); ++i) {
        ng::Profile().WriteProfileString("Newsgleaner", keys[i], hosts[i]);
    }
}

// Opens the host drop-down list and picks the entry in `row` with the mouse.
void PickFromDropDown(QComboBox* combo, int row) {
    combo->showPopup();
    QListView* view = qobject_cast<QListView*>(combo->view());
    QTRY_VERIFY_WITH_TIMEOUT(view && view->isVisible(), 3000);
    QRect rect = view->visualRect(view->model()->index(row, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
    QTRY_VERIFY_WITH_TIMEOUT(!view->isVisible(), 3000);
    ngwin::Pump(50);  // the close-up notice is queued
}

}  // namespace

class SetupDialogTest : public QObject {
    Q_OBJECT

private slots:
    void hostListRotation() {
        ng::HostList list;
        // Stored a (current), b and c; typing d: everything moves down one.
        list.Load("a", {"b", "c", ""});
        CompareKeys(list.EarlierHostKeys("d"),
                    (Keys{{"NNTPHost2", "a"}, {"NNTPHost3", "b"}, {"NNTPHost4", "c"}}));
        // The top entry kept: the others keep their places.
        CompareKeys(list.EarlierHostKeys("a"), (Keys{{"NNTPHost2", "b"}, {"NNTPHost3", "c"}}));
        // The field emptied: NNTPHost is not written, a and b move down.
        ng::HostList two;
        two.Load("a", {"b", "", ""});
        CompareKeys(two.EarlierHostKeys(""), (Keys{{"NNTPHost2", "a"}, {"NNTPHost3", "b"}}));

        // Four hosts; choosing the third moves it to the top.
        ng::HostList four;
        four.Load("a", {"b", "c", "d"});
        QVERIFY(!four.Choose(0));
        QVERIFY(!four.Choose(4));
        QVERIFY(!four.Choose(-1));
        QVERIFY(four.Choose(2));
        QCOMPARE(four.Entries(), (std::vector<std::string>{"c", "a", "b", "d"}));
        CompareKeys(four.EarlierHostKeys("c"),
                    (Keys{{"NNTPHost2", "a"}, {"NNTPHost3", "b"}, {"NNTPHost4", "d"}}));
        // A new host with four in the list: the last one drops off.
        CompareKeys(four.EarlierHostKeys("e"),
                    (Keys{{"NNTPHost2", "c"}, {"NNTPHost3", "a"}, {"NNTPHost4", "b"}}));

        // No current host: the earlier ones still form the list.
        ng::HostList earlierOnly;
        earlierOnly.Load("", {"", "x", "y"});
        QCOMPARE(earlierOnly.Entries(), (std::vector<std::string>{"x", "y"}));
        CompareKeys(earlierOnly.EarlierHostKeys(""),
                    (Keys{{"NNTPHost2", "x"}, {"NNTPHost3", "y"}}));
        ng::HostList none;
        none.Load("", {"", "", ""});
        QVERIFY(none.EarlierHostKeys("new").empty());

        // A host stored under two keys (the emptied-field case above does
        // that) shows once.
        ng::HostList twice;
        twice.Load("a", {"a", "b", "a"});
        QCOMPARE(twice.Entries(), (std::vector<std::string>{"a", "b"}));

        QCOMPARE(ng::WithTrailingSlash(""), std::string("/"));
        QCOMPARE(ng::WithTrailingSlash("/pics"), std::string("/pics/"));
        QCOMPARE(ng::WithTrailingSlash("/pics/"), std::string("/pics/"));
    }

    void tabOrderFollowsTheFields() {
        ngtest::Sandbox sandbox;
        CSetupDialog dialog;
        // Excludes is a button of its own after OK and Cancel; the file and
        // folder choosers come last, out of the way of the fields.
        QCOMPARE(ngwin::TabOrder(dialog), QStringList({"host",
                                                       "port",
                                                       "security",
                                                       "verifyCertificate",
                                                       "caFile",
                                                       "compress",
                                                       "firstVisitMax",
                                                       "connections",
                                                       "directory",
                                                       "minKB",
                                                       "maxKB",
                                                       "classicFilters",
                                                       "minLines",
                                                       "maxLines",
                                                       "subjectIncl",
                                                       "subjectIncl2",
                                                       "picturesOnly",
                                                       "maxHist",
                                                       "histSaveFrequency",
                                                       "showThumbnail",
                                                       "userAuthentication",
                                                       "username",
                                                       "password",
                                                       "promptForPasswd",
                                                       "ok",
                                                       "cancel",
                                                       "excludes",
                                                       "caFileBrowse",
                                                       "browse"}));
        // Every mnemonic names one control.
        QMap<QChar, QString> taken;
        for (QWidget* widget : dialog.findChildren<QWidget*>()) {
            QString text;
            if (auto* label = qobject_cast<QLabel*>(widget)) {
                text = label->text();
            } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
                text = button->text();
            }
            int at = text.indexOf('&');
            if (at >= 0 && at + 1 < text.size()) {
                QChar key = text.at(at + 1).toLower();
                QVERIFY2(!taken.contains(key), qPrintable(taken[key] + " and " + text));
                taken[key] = text;
            }
        }
        QVERIFY(!qobject_cast<QDialogButtonBox*>(Child<QPushButton>(dialog, "excludes")->parent()));
    }

    void opensWithDefaults() {
        ngtest::Sandbox sandbox;
        CSetupDialog dialog;
        QCOMPARE(dialog.windowTitle(), QString("Newsgleaner Setup"));
        QCOMPARE(Child<QComboBox>(dialog, "host")->currentText(), QString());
        QCOMPARE(Child<QComboBox>(dialog, "host")->count(), 0);
        QCOMPARE(Child<QLineEdit>(dialog, "port")->text(), QString("119"));
        QCOMPARE(Child<QComboBox>(dialog, "security")->currentText(), QString("None"));
        QVERIFY(Child<QCheckBox>(dialog, "verifyCertificate")->isChecked());
        QVERIFY(!Child<QCheckBox>(dialog, "verifyCertificate")->isEnabled());
        QCOMPARE(Child<QLineEdit>(dialog, "caFile")->text(), QString());
        QVERIFY(!Child<QLineEdit>(dialog, "caFile")->isEnabled());
        QVERIFY(Child<QCheckBox>(dialog, "compress")->isChecked());
        QCOMPARE(Child<QLineEdit>(dialog, "firstVisitMax")->text(), QString("0"));
        QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        QCOMPARE(Child<QLineEdit>(dialog, "directory")->text(), pictures + "/");
        // Today's values: pictures of 20 KB to 50 MB, no line limit,
        // picture words in the subject.
        QCOMPARE(Child<QLineEdit>(dialog, "connections")->text(), QString("1"));
        QCOMPARE(Child<QLineEdit>(dialog, "minKB")->text(), QString("20"));
        QCOMPARE(Child<QLineEdit>(dialog, "maxKB")->text(), QString("51200"));
        QVERIFY(!dialog.findChild<QLabel*>("firstRunHint"));
        QCOMPARE(Child<QLineEdit>(dialog, "minLines")->text(), QString());
        QCOMPARE(Child<QLineEdit>(dialog, "maxLines")->text(), QString());
        QCOMPARE(Child<QLineEdit>(dialog, "subjectIncl")->text(), QString("jpg:jpeg:png:gif:webp"));
        QCOMPARE(Child<QLineEdit>(dialog, "subjectIncl2")->text(), QString());
        QVERIFY(Child<QCheckBox>(dialog, "picturesOnly")->isChecked());
        QCOMPARE(Child<QLineEdit>(dialog, "maxHist")->text(), QString("20000"));
        QCOMPARE(Child<QLineEdit>(dialog, "histSaveFrequency")->text(), QString("5"));
        QVERIFY(!Child<QCheckBox>(dialog, "showThumbnail")->isChecked());
        QCOMPARE(Child<QLineEdit>(dialog, "password")->echoMode(), QLineEdit::Password);
        // The login controls start disabled and follow the check box.
        auto* authentication = Child<QCheckBox>(dialog, "userAuthentication");
        QVERIFY(authentication->isEnabled());
        QVERIFY(!Child<QLineEdit>(dialog, "username")->isEnabled());
        QVERIFY(!Child<QLineEdit>(dialog, "password")->isEnabled());
        QVERIFY(!Child<QCheckBox>(dialog, "promptForPasswd")->isEnabled());
        authentication->click();
        QVERIFY(Child<QLineEdit>(dialog, "username")->isEnabled());
        QVERIFY(Child<QLineEdit>(dialog, "password")->isEnabled());
        QVERIFY(Child<QCheckBox>(dialog, "promptForPasswd")->isEnabled());
        int enabledLabels = 0;
        for (auto* label : dialog.findChildren<QLabel*>()) {
            if ((label->text() == "&Username:" || label->text() == "Pass&word:") &&
                label->isEnabled()) {
                ++enabledLabels;
            }
        }
        QCOMPARE(enabledLabels, 2);
        authentication->click();
        QVERIFY(!Child<QLineEdit>(dialog, "username")->isEnabled());
    }

    void okStoresEverythingAndCancelNothing() {
        ngtest::Sandbox sandbox;
        StoreHosts({"a", "b", "c"});
        {
            // Cancel: the store is left exactly as it was.
            std::string before = ngtest::ReadFile(sandbox.SettingsPath());
            CSetupDialog dialog;
            Child<QComboBox>(dialog, "host")->setEditText("other");
            Child<QLineEdit>(dialog, "port")->setText("9119");
            Child<QCheckBox>(dialog, "showThumbnail")->setChecked(true);
            dialog.reject();
            QCOMPARE(ngtest::ReadFile(sandbox.SettingsPath()), before);
        }
        CSetupDialog dialog;
        auto* host = Child<QComboBox>(dialog, "host");
        QCOMPARE(host->count(), 3);
        QCOMPARE(host->currentText(), QString("a"));
        host->setEditText("d");
        Child<QLineEdit>(dialog, "port")->setText("563x");  // stored as typed
        Child<QLineEdit>(dialog, "directory")->setText("/srv/pics");
        Child<QLineEdit>(dialog, "minLines")->setText("100");
        Child<QLineEdit>(dialog, "maxLines")->setText("abc");
        Child<QLineEdit>(dialog, "subjectIncl")->setText("png");
        Child<QLineEdit>(dialog, "subjectIncl2")->setText("");
        Child<QCheckBox>(dialog, "picturesOnly")->setChecked(false);
        Child<QLineEdit>(dialog, "maxHist")->setText("300");
        Child<QLineEdit>(dialog, "histSaveFrequency")->setText("7");
        Child<QCheckBox>(dialog, "showThumbnail")->setChecked(true);
        Child<QCheckBox>(dialog, "userAuthentication")->click();
        Child<QLineEdit>(dialog, "username")->setText("fred");
        Child<QLineEdit>(dialog, "password")->setText("pw 1");
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));

        QCOMPARE(Product("NNTPHost"), std::string("d"));
        QCOMPARE(Product("NNTPHost2"), std::string("a"));
        QCOMPARE(Product("NNTPHost3"), std::string("b"));
        QCOMPARE(Product("NNTPHost4"), std::string("c"));
        QCOMPARE(Product("NNTPPort"), std::string("563x"));
        QCOMPARE(Product("DownloadDirectory"), std::string("/srv/pics/"));
        QCOMPARE(Child<QLineEdit>(dialog, "directory")->text(), QString("/srv/pics/"));
        QCOMPARE(Product("MinLines"), std::string("100"));
        QCOMPARE(ng::Profile().GetProfileInt("Newsgleaner", "MaxLines", 99), 0);
        QCOMPARE(Product("SubjectIncl"), std::string("png"));
        QCOMPARE(Product("SubjectIncl2"), std::string(""));
        QCOMPARE(Product("PicturesOnly"), std::string("0"));
        QCOMPARE(Product("MaxHist"), std::string("300"));
        QCOMPARE(Product("HistSaveFrequency"), std::string("7"));
        QCOMPARE(ng::Profile().GetProfileInt("Newsgleaner", "ShowThumbnail", 0), 1);
        // The login shown is stored under the typed host.
        QCOMPARE(ng::Profile().GetProfileInt("d", "UserAuthentication", 0), 1);
        QCOMPARE(ng::Profile().GetProfileInt("d", "PromptForPasswd", 9), 0);
        QCOMPARE(ng::Profile().GetProfileString("d", "Username", ""), std::string("fred"));
        QCOMPARE(ng::Profile().GetProfileString("d", "Password", ""), std::string("pw 1"));

        // Reopened: d first, the earlier hosts after it.
        CSetupDialog again;
        auto* hosts = Child<QComboBox>(again, "host");
        QCOMPARE(hosts->count(), 4);
        QCOMPARE(hosts->itemText(0), QString("d"));
        QCOMPARE(hosts->itemText(3), QString("c"));
        QCOMPARE(Child<QLineEdit>(again, "username")->text(), QString("fred"));
        QVERIFY(!Child<QCheckBox>(again, "picturesOnly")->isChecked());
    }

    void connectionSettingsShownAndStored() {
        ngtest::Sandbox sandbox;
        auto& store = ng::Profile();
        {
            // A profile from before these settings: OK writes their defaults.
            CSetupDialog dialog;
            dialog.accept();
            QCOMPARE(Product("NNTPSecurity"), std::string("none"));
            QCOMPARE(Product("TLSVerify"), std::string("1"));
            QCOMPARE(Product("TLSCAFile"), std::string());
            QCOMPARE(Product("NNTPCompress"), std::string("1"));
            QCOMPARE(Product("FirstVisitMax"), std::string("0"));
        }
        store.WriteProfileString("Newsgleaner", "NNTPPort", "563");
        store.WriteProfileString("Newsgleaner", "NNTPSecurity", "STARTTLS");
        store.WriteProfileString("Newsgleaner", "TLSVerify", "0");
        store.WriteProfileString("Newsgleaner", "TLSCAFile", "/etc/news/ca.pem");
        store.WriteProfileString("Newsgleaner", "NNTPCompress", "0");
        store.WriteProfileString("Newsgleaner", "FirstVisitMax", "5000");
        {
            CSetupDialog dialog;
            QCOMPARE(Child<QComboBox>(dialog, "security")->currentText(), QString("STARTTLS"));
            QCOMPARE(Child<QLineEdit>(dialog, "port")->text(), QString("563"));  // as stored
            QVERIFY(!Child<QCheckBox>(dialog, "verifyCertificate")->isChecked());
            QVERIFY(Child<QCheckBox>(dialog, "verifyCertificate")->isEnabled());
            QCOMPARE(Child<QLineEdit>(dialog, "caFile")->text(), QString("/etc/news/ca.pem"));
            QVERIFY(!Child<QCheckBox>(dialog, "compress")->isChecked());
            QCOMPARE(Child<QLineEdit>(dialog, "firstVisitMax")->text(), QString("5000"));
            Child<QLineEdit>(dialog, "firstVisitMax")->setText("12x");  // stored as typed
            Child<QCheckBox>(dialog, "compress")->setChecked(true);
            dialog.accept();
            QCOMPARE(Product("NNTPSecurity"), std::string("starttls"));
            QCOMPARE(Product("TLSVerify"), std::string("0"));
            QCOMPARE(Product("TLSCAFile"), std::string("/etc/news/ca.pem"));
            QCOMPARE(Product("NNTPCompress"), std::string("1"));
            QCOMPARE(Product("FirstVisitMax"), std::string("12x"));
        }

        // Choosing a protection suggests its usual port in place of the
        // other's; a port typed by hand stays. The certificate controls
        // follow the choice.
        struct Choice {
            const char* port;
            int row;  // None, TLS, STARTTLS
            const char* portAfter;
        };
        const Choice choices[] = {{"119", 1, "563"}, {"563", 0, "119"},   {"563", 2, "119"},
                                  {"119", 2, "119"}, {"8119", 1, "8119"}, {"8563", 0, "8563"}};
        CSetupDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* security = Child<QComboBox>(dialog, "security");
        for (const Choice& choice : choices) {
            security->setCurrentIndex(choice.row == 0 ? 1 : 0);
            Child<QLineEdit>(dialog, "port")->setText(choice.port);
            PickFromDropDown(security, choice.row);
            QCOMPARE(security->currentIndex(), choice.row);
            QCOMPARE(Child<QLineEdit>(dialog, "port")->text(), QString(choice.portAfter));
            QCOMPARE(Child<QLineEdit>(dialog, "caFile")->isEnabled(), choice.row != 0);
            QCOMPARE(Child<QToolButton>(dialog, "caFileBrowse")->isEnabled(), choice.row != 0);
        }
    }

    // The size fields as the pass reads them, the classic button, the
    // server's connections under its own section, and the first run's hint.
    void filtersOldAndNewAndTheFirstRun() {
        ngtest::Sandbox sandbox;
        auto& store = ng::Profile();
        store.WriteProfileString("Newsgleaner", "NNTPHost", "news.example");
        store.WriteProfileString("Newsgleaner", "MinLines", "300");
        store.WriteProfileString("news.example", "Connections", "4");
        {
            // A profile that limits lines filters on lines alone: no KB shown.
            CSetupDialog dialog;
            QCOMPARE(Child<QLineEdit>(dialog, "minKB")->text(), QString());
            QCOMPARE(Child<QLineEdit>(dialog, "maxKB")->text(), QString());
            QCOMPARE(Child<QLineEdit>(dialog, "minLines")->text(), QString("300"));
            QCOMPARE(Child<QLineEdit>(dialog, "connections")->text(), QString("4"));
            Child<QLineEdit>(dialog, "minKB")->setText("50");
            Child<QLineEdit>(dialog, "connections")->setText("8");
            dialog.accept();
            QCOMPARE(Product("MinKB"), std::string("50"));
            QCOMPARE(Product("MaxKB"), std::string());
            QCOMPARE(store.GetProfileString("news.example", "Connections", ""), std::string("8"));
        }
        {
            CSetupDialog dialog;
            QCOMPARE(Child<QLineEdit>(dialog, "minKB")->text(), QString("50"));
            Child<QPushButton>(dialog, "classicFilters")->click();
            dialog.accept();
            QCOMPARE(Product("MinKB"), std::string());
            QCOMPARE(Product("MaxKB"), std::string());
            QCOMPARE(Product("MinLines"), std::string("500"));
            QCOMPARE(Product("MaxLines"), std::string("2500"));
            QCOMPARE(Product("SubjectIncl"), std::string("jpg:gif"));
            QCOMPARE(Product("SubjectIncl2"), std::string("1/1:01/01"));
        }
        CSetupDialog first(nullptr, /*firstRun=*/true);
        QVERIFY(Child<QLabel>(first, "firstRunHint")->text().contains("news server"));
    }

    void emptyHostStoresNoHostAndNoLogin() {
        ngtest::Sandbox sandbox;
        StoreHosts({"a", "b"});
        CSetupDialog dialog;
        Child<QComboBox>(dialog, "host")->setEditText("");
        Child<QLineEdit>(dialog, "directory")->setText("");
        Child<QCheckBox>(dialog, "userAuthentication")->click();
        Child<QLineEdit>(dialog, "username")->setText("nobody");
        dialog.accept();
        QCOMPARE(Product("NNTPHost"), std::string("a"));
        QCOMPARE(Product("NNTPHost2"), std::string("a"));
        QCOMPARE(Product("NNTPHost3"), std::string("b"));
        QCOMPARE(ng::Profile().GetProfileString("", "Username", "<none>"), std::string("<none>"));
        QCOMPARE(Product("DownloadDirectory"), std::string("/"));
    }

    void loginKeptOrErasedAsTheBoxesSay() {
        ngtest::Sandbox sandbox;
        StoreHosts({"news.example"});
        auto& store = ng::Profile();
        store.WriteProfileInt("news.example", "UserAuthentication", 1);
        store.WriteProfileString("news.example", "Username", "fred");
        store.WriteProfileString("news.example", "Password", "secret");
        {
            // Unticking the login keeps the stored name and password.
            CSetupDialog dialog;
            QVERIFY(Child<QLineEdit>(dialog, "password")->isEnabled());
            QCOMPARE(Child<QLineEdit>(dialog, "password")->text(), QString("secret"));
            Child<QCheckBox>(dialog, "userAuthentication")->click();
            Child<QLineEdit>(dialog, "username")->setText("changed");
            dialog.accept();
            QCOMPARE(store.GetProfileInt("news.example", "UserAuthentication", 9), 0);
            QCOMPARE(store.GetProfileString("news.example", "Username", ""), std::string("fred"));
            QCOMPARE(store.GetProfileString("news.example", "Password", ""), std::string("secret"));
        }
        {
            // Asking at every session erases the stored password.
            CSetupDialog dialog;
            Child<QCheckBox>(dialog, "userAuthentication")->click();
            Child<QCheckBox>(dialog, "promptForPasswd")->click();
            dialog.accept();
            QCOMPARE(store.GetProfileInt("news.example", "PromptForPasswd", 0), 1);
            QCOMPARE(store.GetProfileString("news.example", "Password", "<none>"), std::string());
            QCOMPARE(store.GetProfileString("news.example", "Username", ""), std::string("fred"));
        }
    }

    void choosingAHostShowsItsLogin() {
        ngtest::Sandbox sandbox;
        StoreHosts({"a", "b", "c", "d"});
        auto& store = ng::Profile();
        store.WriteProfileString("a", "Username", "user-a");
        store.WriteProfileInt("c", "UserAuthentication", 1);
        store.WriteProfileInt("c", "PromptForPasswd", 1);
        store.WriteProfileString("c", "Username", "user-c");
        store.WriteProfileString("c", "Password", "pw-c");

        CSetupDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* host = Child<QComboBox>(dialog, "host");
        QCOMPARE(Child<QLineEdit>(dialog, "username")->text(), QString("user-a"));
        QVERIFY(!Child<QLineEdit>(dialog, "username")->isEnabled());

        PickFromDropDown(host, 2);
        QStringList shown;
        for (int i = 0; i < host->count(); ++i) {
            shown << host->itemText(i);
        }
        QCOMPARE(shown, (QStringList{"c", "a", "b", "d"}));
        QCOMPARE(host->currentText(), QString("c"));
        QVERIFY(Child<QCheckBox>(dialog, "userAuthentication")->isChecked());
        QVERIFY(Child<QCheckBox>(dialog, "promptForPasswd")->isChecked());
        QVERIFY(Child<QLineEdit>(dialog, "username")->isEnabled());
        QCOMPARE(Child<QLineEdit>(dialog, "username")->text(), QString("user-c"));
        QCOMPARE(Child<QLineEdit>(dialog, "password")->text(), QString("pw-c"));

        // Picking the top entry again changes nothing.
        PickFromDropDown(host, 0);
        QCOMPARE(host->itemText(0), QString("c"));

        // Typing a host does not change the login shown.
        host->setEditText("e");
        QCOMPARE(Child<QLineEdit>(dialog, "username")->text(), QString("user-c"));
        host->setEditText("c");
        dialog.accept();
        QCOMPARE(Product("NNTPHost"), std::string("c"));
        QCOMPARE(Product("NNTPHost2"), std::string("a"));
        QCOMPARE(Product("NNTPHost3"), std::string("b"));
        QCOMPARE(Product("NNTPHost4"), std::string("d"));
        // Asked for at every session: the shown password is not kept.
        QCOMPARE(store.GetProfileString("c", "Password", "<none>"), std::string());
    }

    void directoryGetsItsSlashOnFocusLoss() {
        ngtest::Sandbox sandbox;
        CSetupDialog dialog;
        dialog.show();
        QApplication::setActiveWindow(&dialog);
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        auto* directory = Child<QLineEdit>(dialog, "directory");
        directory->setFocus();
        QTRY_VERIFY_WITH_TIMEOUT(directory->hasFocus(), 3000);
        directory->setText("/home/me/pics");
        Child<QLineEdit>(dialog, "port")->setFocus();
        QTRY_COMPARE_WITH_TIMEOUT(directory->text(), QString("/home/me/pics/"), 3000);
        directory->setText("");
        directory->setFocus();
        Child<QLineEdit>(dialog, "port")->setFocus();
        QTRY_COMPARE_WITH_TIMEOUT(directory->text(), QString("/"), 3000);
    }

    void choosersFillTheirFields() {
        ngtest::Sandbox sandbox;
        std::string folder = sandbox.File("chosen");
        QVERIFY(QDir().mkpath(QString::fromStdString(folder)));
        std::string certificates = sandbox.File("ca.pem");
        ngtest::WriteFile(certificates, "-----BEGIN CERTIFICATE-----\n");
        struct Case {
            const char* button;
            const char* field;
            std::string chosen;
            std::string shown;
        };
        const Case cases[] = {{"browse", "directory", folder, folder + "/"},
                              {"caFileBrowse", "caFile", certificates, certificates}};
        CSetupDialog dialog;
        Child<QComboBox>(dialog, "security")->setCurrentIndex(1);  // TLS: the CA file is open
        for (const Case& c : cases) {
            ModalAnswer answer([&](QWidget* modal) {
                auto* files = qobject_cast<QFileDialog*>(modal);
                auto* name = files ? files->findChild<QLineEdit*>("fileNameEdit") : nullptr;
                if (!name) {
                    return false;
                }
                name->setText(QString::fromStdString(c.chosen));
                QTest::keyClick(name, Qt::Key_Return);
                return true;
            });
            Child<QToolButton>(dialog, c.button)->click();
            QVERIFY2(answer.Answered(), c.button);
            QCOMPARE(Child<QLineEdit>(dialog, c.field)->text(), QString::fromStdString(c.shown));
        }
    }

    void excludesButtonOpensTheExcludesDialog() {
        ngtest::Sandbox sandbox;
        CSetupDialog dialog;
        ModalAnswer answer([](QWidget* modal) {
            auto* excludes = qobject_cast<CExcludesDialog*>(modal);
            if (!excludes) {
                return false;
            }
            excludes->findChild<QLineEdit*>("subjectExcl")->setText("spam");
            excludes->accept();
            return true;
        });
        Child<QPushButton>(dialog, "excludes")->click();
        QVERIFY(answer.Answered());
        QCOMPARE(answer.Title(), QString("Newsgleaner Excludes"));
        // The excludes dialog stores its own values whatever setup does next.
        dialog.reject();
        QCOMPARE(Product("SubjectExcl"), std::string("spam"));
    }

    void eightBitTextComesBackUnchanged() {
        ngtest::Sandbox sandbox;
        const std::string latin1 = "caf\xe9";  // not UTF-8
        StoreHosts({"h"});
        ng::Profile().WriteProfileString("Newsgleaner", "SubjectIncl", latin1);
        ng::Profile().WriteProfileString("Newsgleaner", "DownloadDirectory", "/p\xe9");
        CSetupDialog dialog;
        QCOMPARE(Child<QLineEdit>(dialog, "subjectIncl")->text(), QString::fromLatin1("caf\xe9"));
        dialog.accept();
        QCOMPARE(Product("SubjectIncl"), latin1);
        QCOMPARE(Product("DownloadDirectory"), std::string("/p\xe9/"));
    }

    // Run by ui.SetupDialogKeyring under a Secret Service of its own.
    void passwordGoesToTheKeyring() {
        if (!qEnvironmentVariableIsSet("NG_TEST_KEYRING")) {
            QSKIP("runs under tests/settings/with-secret-service");
        }
        ngtest::Sandbox sandbox;
        StoreHosts({"news.example"});
        auto& store = ng::Profile();
        store.WriteProfileInt("news.example", "UserAuthentication", 1);
        store.WriteProfileString("news.example", "Username", "fred");
        store.WriteProfileString("news.example", "Password", "secret");  // from before
        const ng::Keyring keyring;
        auto kept = [&] { return keyring.Lookup("news.example", "fred").password; };
        auto inFile = [&] { return store.GetProfileString("news.example", "Password", "<none>"); };
        {
            // OK moves the file's password into the keyring.
            CSetupDialog dialog;
            QCOMPARE(Child<QLineEdit>(dialog, "password")->text(), QString("secret"));
            dialog.accept();
            QCOMPARE(kept(), std::optional<std::string>("secret"));
            QCOMPARE(inFile(), std::string());
        }
        {
            // The keyring's password is shown, and a new one replaces it.
            CSetupDialog dialog;
            QCOMPARE(Child<QLineEdit>(dialog, "password")->text(), QString("secret"));
            Child<QLineEdit>(dialog, "password")->setText("changed");
            dialog.accept();
            QCOMPARE(kept(), std::optional<std::string>("changed"));
            QCOMPARE(inFile(), std::string());
        }
        {
            // Unticking the login keeps it.
            CSetupDialog dialog;
            Child<QCheckBox>(dialog, "userAuthentication")->click();
            dialog.accept();
            QCOMPARE(kept(), std::optional<std::string>("changed"));
        }
        {
            // Asking at every session erases it.
            CSetupDialog dialog;
            QCOMPARE(Child<QLineEdit>(dialog, "password")->text(), QString("changed"));
            Child<QCheckBox>(dialog, "userAuthentication")->click();
            Child<QCheckBox>(dialog, "promptForPasswd")->click();
            dialog.accept();
            QCOMPARE(kept(), std::nullopt);
            QCOMPARE(inFile(), std::string());
        }
    }

private:
    static void CompareKeys(const Keys& actual, const Keys& expected) {
        QCOMPARE(actual, expected);
    }
};

QTEST_MAIN(SetupDialogTest)
#include "SetupDialogTest.moc"
