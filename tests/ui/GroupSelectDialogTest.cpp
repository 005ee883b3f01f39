// The group select dialog: the lists, the categories, the per-group
// directories, OK and Cancel, and a refresh from a scripted server.

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <string>
#include <vector>

#include "WindowTestSupport.h"
#include "settings/SettingsStore.h"
#include "support/ScriptedServer.h"
#include "support/TestSupport.h"
#include "ui/AllGroupsList.h"
#include "ui/GroupSelectDialog.h"
#include "ui/PasswordDialog.h"

using ngtest::Reply;
using ngtest::ScriptedServer;
using ngwin::Child;
using ngwin::ModalAnswer;
using ngwin::Shown;
using Names = std::vector<std::string>;
using namespace std::chrono_literals;

namespace {

const std::string kHost = "news.test";

using ngtest::kSlowdown;

QStringList ComboEntries(QComboBox* combo) {
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i) {
        texts << combo->itemText(i);
    }
    return texts;
}

int SelectedRow(QListWidget* list) {
    auto selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.front());
}

void SetHost(const std::string& host) {
    ng::Profile().WriteProfileString("Newsgleaner", "NNTPHost", host);
}

// Picks a category from the drop-down list with the mouse; the list closing
// applies it.
void PickCategory(QComboBox* combo, int row) {
    combo->showPopup();
    auto* view = qobject_cast<QListView*>(combo->view());
    QTRY_VERIFY_WITH_TIMEOUT(view && view->isVisible(), 3000);
    QRect rect = view->visualRect(view->model()->index(row, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
    QTRY_VERIFY_WITH_TIMEOUT(!view->isVisible(), 3000);
    ngwin::Pump(50);
}

// A user's click on an Active Groups entry.
void ClickRow(QListWidget* list, int row) {
    QRect rect = list->visualItemRect(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

std::string ListReply(const std::vector<std::string>& names) {
    std::string reply = "215 list follows\r\n";
    for (const auto& name : names) {
        reply += name + " 12 1 y\r\n";
    }
    return reply + ".\r\n";
}

void PointAt(const ScriptedServer& server) {
    auto& store = ng::Profile();
    store.WriteProfileString("Newsgleaner", "NNTPHost", server.Address());
    store.WriteProfileInt("Newsgleaner", "NNTPPort", server.Port());
    store.WriteProfileInt("Newsgleaner", "ReadTimeout", 5);
}

}  // namespace

class GroupSelectDialogTest : public QObject {
    Q_OBJECT

private slots:
    void withoutHostNothingLoadsAndOkFails() {
        ngtest::Sandbox sandbox;
        CGroupSelectDialog dialog;
        QCOMPARE(dialog.windowTitle(), QString("Newsgleaner Group Select"));
        QCOMPARE(Child<QLineEdit>(dialog, "groupFilter")->text(), QString("pictures"));
        QCOMPARE(Child<QLabel>(dialog, "status")->text(), QString("  Ready..."));
        QVERIFY(!Child<QPushButton>(dialog, "stop")->isEnabled());
        QCOMPARE(Child<QListWidget>(dialog, "activeGroups")->count(), 0);

        ModalAnswer answer(ngwin::Press(QMessageBox::Ok));
        Child<QPushButton>(dialog, "refresh")->click();
        QVERIFY(answer.Answered());
        QCOMPARE(answer.Text(), QString("No news host specified in Setup"));
        QCOMPARE(answer.Title(), QString("Newsgleaner"));
        QVERIFY(!dialog.Refreshing());

        dialog.show();
        dialog.accept();
        QVERIFY(dialog.isVisible());  // stays open; Cancel is the way out
        QCOMPARE(Child<QLabel>(dialog, "status")->text(), QString("  Unable to create GroupList"));
        QCOMPARE(ng::Profile().GetProfileString("Newsgleaner", "GroupIncl", ""),
                 std::string("pictures"));
        dialog.reject();
        QVERIFY(!dialog.isVisible());
    }

    void tabOrderEndsWithOkCancelAndTheFilter() {
        ngtest::Sandbox sandbox;
        CGroupSelectDialog dialog;
        QCOMPARE(ngwin::TabOrder(dialog),
                 QStringList({"allGroups", "refresh", "stop", "addGroup", "removeGroup",
                              "activeGroups", "category", "categoryAdd", "categoryUpdate",
                              "categoryDelete", "enableDirectories", "directory", "directoryUpdate",
                              "ok", "cancel", "groupFilter"}));
    }

    void opensTheHostsFiles() {
        ngtest::Sandbox sandbox;
        SetHost(kHost);
        ng::Profile().WriteProfileString("Newsgleaner", "DownloadDirectory", "/base/");
        ng::Profile().WriteProfileString("Newsgleaner", "GroupIncl", "pics:bin");
        ng::Profile().WriteProfileInt("DownloadDirs", "Enable", 1);
        ng::Profile().WriteProfileString("DownloadDirs", "g.b", "bdir");
        ngtest::WriteFile("Groups." + kHost, "g.b\n\ng.a\n");
        ngtest::WriteFile("AllGroups." + kHost, "zeta\n\nBeta\nalpha\nbeta\n");
        ngtest::WriteFile("Groups.other", "not.this\n");
        CGroupSelectDialog dialog;
        auto* active = Child<QListWidget>(dialog, "activeGroups");
        auto* all = Child<QListWidget>(dialog, "allGroups");
        QCOMPARE(Shown(active), (QStringList{"g.b", "", "g.a"}));
        QCOMPARE(Shown(all), (QStringList{"alpha", "Beta", "beta", "zeta"}));
        QCOMPARE(SelectedRow(active), 0);
        QCOMPARE(SelectedRow(all), 0);
        QCOMPARE(Child<QLabel>(dialog, "baseDir")->text(), QString("/base/"));
        QCOMPARE(Child<QLineEdit>(dialog, "groupFilter")->text(), QString("pics:bin"));
        QVERIFY(Child<QCheckBox>(dialog, "enableDirectories")->isChecked());
        QVERIFY(Child<QLineEdit>(dialog, "directory")->isEnabled());
        QCOMPARE(Child<QLineEdit>(dialog, "directory")->text(), QString("bdir"));
    }

    void movingGroupsBetweenTheLists() {
        ngtest::Sandbox sandbox;
        SetHost(kHost);
        ngtest::WriteFile("Groups." + kHost, "g.c\n");
        ngtest::WriteFile("AllGroups." + kHost, "g.a\ng.b\ng.c\n");
        CGroupSelectDialog dialog;
        auto* active = Child<QListWidget>(dialog, "activeGroups");
        auto* all = Child<QListWidget>(dialog, "allGroups");
        auto* add = Child<QPushButton>(dialog, "addGroup");
        auto* remove = Child<QPushButton>(dialog, "removeGroup");

        all->setCurrentRow(1);
        add->click();  // copies g.b
        QCOMPARE(Shown(active), (QStringList{"g.c", "g.b"}));
        QCOMPARE(Shown(all), (QStringList{"g.a", "g.b", "g.c"}));
        QCOMPARE(SelectedRow(all), 1);
        QCOMPARE(SelectedRow(active), 0);
        add->click();  // already there: nothing new, the selection goes to the top
        QCOMPARE(active->count(), 2);
        active->setCurrentRow(1);
        add->click();
        QCOMPARE(SelectedRow(active), 0);

        // "<<" on a group no longer in All Groups puts it back, sorted.
        ngtest::WriteFile("AllGroups." + kHost, "g.a\n");
        CGroupSelectDialog second;
        auto* active2 = Child<QListWidget>(second, "activeGroups");
        auto* all2 = Child<QListWidget>(second, "allGroups");
        active2->setCurrentRow(0);
        Child<QPushButton>(second, "removeGroup")->click();
        QCOMPARE(Shown(all2), (QStringList{"g.a", "g.c"}));
        QCOMPARE(active2->count(), 0);
        QCOMPARE(SelectedRow(active2), -1);
        QVERIFY(!Child<QPushButton>(second, "removeGroup")->isEnabled());
        QVERIFY(Child<QPushButton>(second, "addGroup")->isEnabled());

        // Removing the middle entry selects the one now in its place;
        // removing the last selects the new last.
        active->setCurrentRow(0);
        all->setCurrentRow(0);
        add->click();
        QCOMPARE(Shown(active), (QStringList{"g.c", "g.b", "g.a"}));
        active->setCurrentRow(1);
        remove->click();
        QCOMPARE(Shown(active), (QStringList{"g.c", "g.a"}));
        QCOMPARE(SelectedRow(active), 1);
        QCOMPARE(Shown(all), (QStringList{"g.a", "g.b", "g.c"}));  // still there: not doubled
        remove->click();
        QCOMPARE(SelectedRow(active), 0);

        // Double-clicks do what the buttons do.
        all->setCurrentRow(2);
        emit all->itemDoubleClicked(all->item(2));
        QCOMPARE(Shown(active), (QStringList{"g.c"}));  // g.c is there already
        all->setCurrentRow(0);
        emit all->itemDoubleClicked(all->item(0));
        QCOMPARE(Shown(active), (QStringList{"g.c", "g.a"}));
        active->setCurrentRow(0);
        emit active->itemDoubleClicked(active->item(0));
        QCOMPARE(Shown(active), (QStringList{"g.a"}));
    }

    void categoriesAddUpdateDeleteAndApply() {
        ngtest::Sandbox sandbox;
        SetHost(kHost);
        ngtest::WriteFile("Groups." + kHost, "g.1\ng.2\n");
        ngtest::WriteFile("GroupCat." + kHost,
                          "stray.group\n[dogs]\nd.1\nd.2\n\n[Cats]\nc.1\n\n[birds]\nb.1\n\n");
        CGroupSelectDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* combo = Child<QComboBox>(dialog, "category");
        auto* active = Child<QListWidget>(dialog, "activeGroups");
        QCOMPARE(ComboEntries(combo), (QStringList{"birds", "Cats", "dogs"}));
        QCOMPARE(combo->currentIndex(), -1);

        // Applying replaces Active Groups and moves the name to the top.
        PickCategory(combo, 2);
        QCOMPARE(Shown(active), (QStringList{"d.1", "d.2"}));
        QCOMPARE(ComboEntries(combo), (QStringList{"dogs", "birds", "Cats"}));
        QCOMPARE(SelectedRow(active), 0);
        // Closing the list again re-applies the chosen category.
        active->addItem("manual");
        combo->showPopup();
        combo->hidePopup();
        QTRY_COMPARE_WITH_TIMEOUT(Shown(active), (QStringList{"d.1", "d.2"}), 3000);

        // Add: a new block from Active Groups, its name at the top, not chosen.
        combo->setEditText("fish");
        Child<QPushButton>(dialog, "categoryAdd")->click();
        QCOMPARE(ComboEntries(combo), (QStringList{"fish", "dogs", "birds", "Cats"}));
        QCOMPARE(combo->itemText(combo->currentIndex()), QString("dogs"));
        QCOMPARE(dialog.Categories().Apply("fish"), std::optional<Names>(Names{"d.1", "d.2"}));

        // Update after typing a new name: stored under the new name, the list
        // still shows the old one.
        active->clear();
        active->addItem("n.1");
        combo->setEditText("hounds");
        Child<QPushButton>(dialog, "categoryUpdate")->click();
        QCOMPARE(dialog.Categories().Apply("hounds"), std::optional<Names>(Names{"n.1"}));
        QCOMPARE(dialog.Categories().Apply("dogs"), std::nullopt);
        QCOMPARE(ComboEntries(combo), (QStringList{"fish", "dogs", "birds", "Cats"}));
        QCOMPARE(dialog.Categories().Lines().front(), std::string("stray.group"));

        // Applying the old name now finds no block: Active Groups stays.
        active->addItem("n.2");
        PickCategory(combo, 1);
        QCOMPARE(Shown(active), (QStringList{"n.1", "n.2"}));

        // Delete: the entry goes, the first one is chosen, lines before the
        // first header go too.
        combo->setCurrentIndex(ComboEntries(combo).indexOf("Cats"));
        Child<QPushButton>(dialog, "categoryDelete")->click();
        QCOMPARE(ComboEntries(combo), (QStringList{"dogs", "fish", "birds"}));
        QCOMPARE(combo->currentIndex(), 0);
        QCOMPARE(dialog.Categories().Apply("Cats"), std::nullopt);
        QCOMPARE(dialog.Categories().Lines().front(), std::string("[birds]"));
        QCOMPARE(Shown(active), (QStringList{"n.1", "n.2"}));  // Delete leaves Active alone

        dialog.accept();
        QCOMPARE(ngtest::ReadFile("GroupCat." + kHost),
                 std::string("[birds]\nb.1\n\n[fish]\nd.1\nd.2\n\n[hounds]\nn.1\n\n"));
    }

    void categoryFileKeptWhenEveryCategoryWasDeleted() {
        ngtest::Sandbox sandbox;
        SetHost(kHost);
        const std::string file = "[only]\nx.1\n\n";
        ngtest::WriteFile("GroupCat." + kHost, file);
        CGroupSelectDialog dialog;
        auto* combo = Child<QComboBox>(dialog, "category");
        combo->setCurrentIndex(0);
        Child<QPushButton>(dialog, "categoryDelete")->click();
        QCOMPARE(combo->count(), 0);
        Child<QPushButton>(dialog, "categoryDelete")->click();  // nothing chosen: nothing done
        dialog.accept();
        QCOMPARE(ngtest::ReadFile("GroupCat." + kHost), file);
    }

    void perGroupDirectories() {
        ngtest::Sandbox sandbox;
        SetHost(kHost);
        ng::Profile().WriteProfileString("DownloadDirs", "g.2", "two");
        ngtest::WriteFile("Groups." + kHost, "g.1\ng.2\n");
        CGroupSelectDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* enable = Child<QCheckBox>(dialog, "enableDirectories");
        auto* directory = Child<QLineEdit>(dialog, "directory");
        auto* update = Child<QPushButton>(dialog, "directoryUpdate");
        auto* active = Child<QListWidget>(dialog, "activeGroups");
        QVERIFY(!enable->isChecked());
        QVERIFY(!directory->isEnabled());
        QVERIFY(!update->isEnabled());

        enable->click();  // stored at once
        QCOMPARE(ng::Profile().GetProfileInt("DownloadDirs", "Enable", 0), 1);
        QVERIFY(directory->isEnabled());
        QVERIFY(update->isEnabled());

        ClickRow(active, 1);
        QCOMPARE(directory->text(), QString("two"));
        directory->setText("second/");
        update->click();
        QCOMPARE(ng::Profile().GetProfileString("DownloadDirs", "g.2", ""), std::string("second/"));
        ClickRow(active, 0);
        QCOMPARE(directory->text(), QString(""));
        update->click();  // an empty directory is stored as well
        QCOMPARE(ng::Profile().GetProfileString("DownloadDirs", "g.1", "<none>"), std::string());

        // Cancel does not undo these.
        enable->click();
        dialog.reject();
        QCOMPARE(ng::Profile().GetProfileInt("DownloadDirs", "Enable", 9), 0);
        QCOMPARE(ng::Profile().GetProfileString("DownloadDirs", "g.2", ""), std::string("second/"));
    }

    void okWritesTheFilesInOrderAndCancelNone() {
        ngtest::Sandbox sandbox;
        SetHost(kHost);
        ngtest::WriteFile("Groups." + kHost, "g.1\n\ng.2\ng.3\n");
        ngtest::WriteFile("AllGroups." + kHost, "g.1\nz.z\n");
        {
            CGroupSelectDialog dialog;
            Child<QLineEdit>(dialog, "groupFilter")->setText("changed");
            Child<QListWidget>(dialog, "activeGroups")->clear();
            dialog.reject();
            QCOMPARE(ngtest::ReadFile("Groups." + kHost), std::string("g.1\n\ng.2\ng.3\n"));
            QVERIFY(!ngtest::FileExists(sandbox.SettingsPath()) ||
                    ng::Profile().GetProfileString("Newsgleaner", "GroupIncl", "<none>") ==
                        "<none>");
        }
        CGroupSelectDialog dialog;
        auto* active = Child<QListWidget>(dialog, "activeGroups");
        // A drag that moves g.3 to the top (the same signals as a drop).
        QVERIFY(active->model()->moveRows({}, 3, 1, {}, 0));
        QCOMPARE(Shown(active), (QStringList{"g.3", "g.1", "", "g.2"}));
        Child<QLineEdit>(dialog, "groupFilter")->setText("pics:");
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(ngtest::ReadFile("Groups." + kHost), std::string("g.3\ng.1\n\ng.2\n"));
        QCOMPARE(ngtest::ReadFile("AllGroups." + kHost), std::string("g.1\nz.z\n"));
        QCOMPARE(ng::Profile().GetProfileString("Newsgleaner", "GroupIncl", ""),
                 std::string("pics:"));
        QVERIFY(!ngtest::FileExists("GroupCat." + kHost));  // no categories: no file
    }

    void okReportsAFileItCannotWrite() {
        ngtest::Sandbox sandbox;
        SetHost(kHost);
        ngtest::WriteFile("Groups." + kHost, "g.1\n");
        QVERIFY(QDir().mkdir(QString::fromStdString("AllGroups." + kHost)));
        CGroupSelectDialog dialog;
        dialog.show();
        dialog.accept();
        QVERIFY(dialog.isVisible());
        QCOMPARE(Child<QLabel>(dialog, "status")->text(), QString("  Unable to create AllGroups"));
        QCOMPARE(ngtest::ReadFile("Groups." + kHost), std::string("g.1\n"));  // written first

        QVERIFY(QDir().rmdir(QString::fromStdString("AllGroups." + kHost)));
        QVERIFY(QDir().mkdir(QString::fromStdString("Groups." + kHost + "x")));
        SetHost(kHost + "x");
        CGroupSelectDialog other;
        other.show();
        other.accept();
        QVERIFY(other.isVisible());
        QCOMPARE(Child<QLabel>(other, "status")->text(), QString("  Unable to create GroupList"));
        QVERIFY(!ngtest::FileExists("AllGroups." + kHost + "x"));
        other.reject();
    }

    void refreshFillsAllGroupsFromTheServer() {
        ngtest::Sandbox sandbox;
        ScriptedServer server;
        server.On("LIST", ListReply({"alt.pictures.z", "comp.lang.c", "alt.Pictures.x",
                                     "alt.pictures.a", "misc.pictures.b", "noblank"}));
        PointAt(server);
        ngtest::WriteFile("AllGroups." + server.Address(), "old.group\n");
        CGroupSelectDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* all = Child<QListWidget>(dialog, "allGroups");
        QCOMPARE(Shown(all), (QStringList{"old.group"}));
        Child<QPushButton>(dialog, "refresh")->click();
        QVERIFY(dialog.Refreshing());
        QVERIFY(!Child<QPushButton>(dialog, "ok")->isEnabled());
        QVERIFY(!Child<QPushButton>(dialog, "cancel")->isEnabled());
        QVERIFY(!Child<QPushButton>(dialog, "refresh")->isEnabled());
        QVERIFY(Child<QPushButton>(dialog, "stop")->isEnabled());
        QVERIFY(ngwin::WaitUntil([&] { return !dialog.Refreshing(); }, 15000));
        QCOMPARE(Shown(all), (QStringList{"alt.pictures.a", "alt.pictures.z", "misc.pictures.b"}));
        QCOMPARE(SelectedRow(all), 0);
        QCOMPARE(Child<QLabel>(dialog, "status")->text(),
                 QString("  Operation complete -- 6 groups scanned; 3 groups added"));
        QVERIFY(Child<QPushButton>(dialog, "ok")->isEnabled());
        QVERIFY(!Child<QPushButton>(dialog, "stop")->isEnabled());
        dialog.accept();
        QCOMPARE(ngtest::ReadFile("AllGroups." + server.Address()),
                 std::string("alt.pictures.a\nalt.pictures.z\nmisc.pictures.b\n"));
    }

    void refusedLoginAfterThePromptLeavesAllGroupsEmpty() {
        ngtest::Sandbox sandbox;
        ScriptedServer server;
        server.On("AUTHINFO USER fred", "381 password please\r\n");
        server.On("AUTHINFO PASS typed pw", "481 refused\r\n");
        PointAt(server);
        const std::string host = server.Address();
        ng::Profile().WriteProfileInt(host, "UserAuthentication", 1);
        ng::Profile().WriteProfileInt(host, "PromptForPasswd", 1);
        ng::Profile().WriteProfileString(host, "Username", "fred");
        ngtest::WriteFile("AllGroups." + host, "old.group\n");
        CGroupSelectDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        ModalAnswer answer([](QWidget* modal) {
            auto* prompt = qobject_cast<CPasswordDialog*>(modal);
            if (!prompt) {
                return false;
            }
            QTest::keyClicks(prompt->PasswordEdit(), "typed pw");
            QTest::keyClick(prompt->PasswordEdit(), Qt::Key_Return);
            return true;
        });
        Child<QPushButton>(dialog, "refresh")->click();
        QVERIFY(ngwin::WaitUntil([&] { return !dialog.Refreshing(); }, 15000));
        QVERIFY(answer.Answered());
        QCOMPARE(server.Received(),
                 std::string("AUTHINFO USER fred\r\nAUTHINFO PASS typed pw\r\n"));
        QCOMPARE(Child<QLabel>(dialog, "status")->text(), QString("  Authentication failed"));
        QCOMPARE(Child<QListWidget>(dialog, "allGroups")->count(), 0);
        dialog.accept();
        QCOMPARE(ngtest::ReadFile("AllGroups." + host), std::string());
        // The typed password is never stored.
        QCOMPARE(ng::Profile().GetProfileString(host, "Password", "<none>"), std::string("<none>"));
    }

    void closingRefusedWhileARefreshRuns() {
        ngtest::Sandbox sandbox;
        ScriptedServer server;
        std::string first = ListReply({"alt.pictures.1", "alt.pictures.2"});
        first.resize(first.size() - 3);
        // Two names, then a long silence: the refresh is still running.
        server.On("LIST", Reply::Pieces({first, "alt.pictures.3 1 1 y\r\n.\r\n"}, 8000ms));
        PointAt(server);
        ngtest::WriteFile("Groups." + server.Address(), "alt.pictures.0\n");
        CGroupSelectDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        Child<QPushButton>(dialog, "refresh")->click();
        QVERIFY(server.WaitForText("LIST\r\n"));
        ngwin::Pump(200);
        QTest::keyClick(&dialog, Qt::Key_Escape);
        dialog.reject();
        dialog.close();
        QVERIFY(dialog.isVisible());

        // The lists stay usable: "<<" puts a group back while names arrive.
        auto* active = Child<QListWidget>(dialog, "activeGroups");
        QCOMPARE(Shown(active), (QStringList{"alt.pictures.0"}));
        active->setCurrentRow(0);
        Child<QPushButton>(dialog, "removeGroup")->click();
        QCOMPARE(active->count(), 0);

        QElapsedTimer clock;
        clock.start();
        Child<QPushButton>(dialog, "stop")->click();
        QVERIFY(ngwin::WaitUntil([&] { return !dialog.Refreshing(); }, 5000));
        QVERIFY(clock.elapsed() < 2000);  // Stop cut the wait for the server short
        QCOMPARE(Shown(Child<QListWidget>(dialog, "allGroups")),
                 (QStringList{"alt.pictures.0", "alt.pictures.1", "alt.pictures.2"}));
        QCOMPARE(Child<QLabel>(dialog, "status")->text(),
                 QString("  Operation complete -- 2 groups scanned; 2 groups added"));
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
    }

    void closingTheDialogMidRefreshEndsTheThread() {
        ngtest::Sandbox sandbox;
        ScriptedServer server;
        server.On("LIST", Reply("215 list\r\nalt.pictures.1 1 1 y\r\n").After(8000ms));
        PointAt(server);
        QElapsedTimer clock;
        {
            CGroupSelectDialog dialog;
            Child<QPushButton>(dialog, "refresh")->click();
            QVERIFY(server.WaitForText("LIST\r\n"));
            clock.start();
        }  // destroyed while the thread waits for the server
        QVERIFY(clock.elapsed() < 2000);
    }

    void hundredThousandGroupsEndToEnd() {
        ngtest::Sandbox sandbox;
        ScriptedServer server;
        constexpr int kGroups = 100000;
        std::vector<std::string> names;
        names.reserve(kGroups);
        // Not in sorted order, so the dialog has to merge.
        for (int i = 0; i < kGroups; ++i) {
            names.push_back("alt.binaries.pictures.g" + std::to_string((i * 7919) % kGroups));
        }
        server.On("LIST", ListReply(names));
        PointAt(server);
        CGroupSelectDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        Child<QLineEdit>(dialog, "groupFilter")->setText("");
        QElapsedTimer clock;
        clock.start();
        Child<QPushButton>(dialog, "refresh")->click();
        QVERIFY(ngwin::WaitUntil([&] { return !dialog.Refreshing(); }, 60000));
        qint64 elapsed = clock.elapsed();
        qInfo("[ figure ] dialog refresh of %d groups: %lld ms", kGroups,
              static_cast<long long>(elapsed));
        auto* all = Child<QListWidget>(dialog, "allGroups");
        QCOMPARE(all->count(), kGroups);
        QCOMPARE(Child<QLabel>(dialog, "status")->text(),
                 QString("  Operation complete -- 100000 groups scanned; 100000 groups added"));
        std::vector<std::string> sorted = names;
        std::stable_sort(sorted.begin(), sorted.end(), CAllGroupsList::SortsBefore);
        QVERIFY(dialog.AllGroups() == sorted);
        QCOMPARE(all->item(0)->text().toStdString(), sorted.front());
        QCOMPARE(all->item(kGroups - 1)->text().toStdString(), sorted.back());
        QVERIFY(elapsed < 10000 * kSlowdown);
    }
};

QTEST_MAIN(GroupSelectDialogTest)
#include "GroupSelectDialogTest.moc"
