// The group select dialog's Refresh against a real INN server. Run by
// scripts/inn/run-tests, which starts the server and names its ports in the
// environment; without them (a plain ctest run) every case is skipped.

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <cstdlib>
#include <string>

#include "WindowTestSupport.h"
#include "settings/SettingsStore.h"
#include "support/TestSupport.h"
#include "ui/GroupSelectDialog.h"

using ngwin::Child;
using ngwin::Shown;

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

const QStringList kTestGroups{"ng.test.empty", "ng.test.more", "ng.test.pictures"};

// Points the settings at INN's port and runs one refresh with the filter.
// Gives the status line it ended with.
QString Refresh(CGroupSelectDialog& dialog, const QString& filter) {
    Child<QLineEdit>(dialog, "groupFilter")->setText(filter);
    Child<QPushButton>(dialog, "refresh")->click();
    if (!ngwin::WaitUntil([&] { return !dialog.Refreshing(); }, 30000)) {
        return "(still refreshing)";
    }
    return Child<QLabel>(dialog, "status")->text();
}

void UseServer(const std::string& port) {
    auto& store = ng::Profile();
    store.WriteProfileString("Newsgleaner", "NNTPHost", "127.0.0.1");
    store.WriteProfileString("Newsgleaner", "NNTPPort", port);
    store.WriteProfileInt("Newsgleaner", "ReadTimeout", 10);
}

}  // namespace

class GroupSelectInnTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        if (Env("NG_INN_OPEN_PORT").empty()) {
            QSKIP("no INN server: run scripts/inn/run-tests");
        }
    }

    void refreshListsInnsGroupsThroughTheFilter() {
        ngtest::Sandbox sandbox;
        UseServer(Env("NG_INN_OPEN_PORT"));
        CGroupSelectDialog dialog;
        dialog.show();
        QString status = Refresh(dialog, "ng.test");
        QVERIFY2(QRegularExpression("^  Operation complete -- \\d+ groups scanned; 3 groups added$")
                     .match(status)
                     .hasMatch(),
                 qPrintable(status));
        auto* all = Child<QListWidget>(dialog, "allGroups");
        QCOMPARE(Shown(all), kTestGroups);
        // An empty filter keeps every group INN lists, its own among them.
        Refresh(dialog, "");
        QVERIFY(Shown(all).contains("control"));
        QVERIFY(Shown(all).size() >= kTestGroups.size() + 1);
        Refresh(dialog, "ng.test");
        dialog.accept();
        QCOMPARE(ngtest::ReadFile("AllGroups.127.0.0.1"),
                 std::string("ng.test.empty\nng.test.more\nng.test.pictures\n"));
    }

    void refreshLogsInOnTheLoginPort() {
        ngtest::Sandbox sandbox;
        UseServer(Env("NG_INN_AUTH_PORT"));
        auto& store = ng::Profile();
        store.WriteProfileInt("127.0.0.1", "UserAuthentication", 1);
        store.WriteProfileString("127.0.0.1", "Username", Env("NG_INN_AUTH_USER"));
        store.WriteProfileString("127.0.0.1", "Password", Env("NG_INN_AUTH_PASSWORD"));
        CGroupSelectDialog dialog;
        dialog.show();
        QString status = Refresh(dialog, "ng.test");
        QVERIFY2(status.endsWith("; 3 groups added"), qPrintable(status));
        QCOMPARE(Shown(Child<QListWidget>(dialog, "allGroups")), kTestGroups);

        store.WriteProfileString("127.0.0.1", "Password", "wrong password");
        QCOMPARE(Refresh(dialog, "ng.test"), QString("  Authentication failed"));
        QVERIFY(Shown(Child<QListWidget>(dialog, "allGroups")).isEmpty());
        dialog.reject();
    }
};

QTEST_MAIN(GroupSelectInnTest)
#include "GroupSelectInnTest.moc"
