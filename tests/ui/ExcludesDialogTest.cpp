// The excludes and logging dialog.

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <string>
#include <vector>

#include "WindowTestSupport.h"
#include "settings/SettingsStore.h"
#include "support/TestSupport.h"
#include "ui/ExcludesDialog.h"

using ngwin::Child;
using ngwin::Shown;

namespace {

std::string Product(const char* key) {
    return ng::Profile().GetProfileString("Newsgleaner", key, "<missing>");
}

}  // namespace

class ExcludesDialogTest : public QObject {
    Q_OBJECT

private slots:
    void opensSortedWithItsSettings() {
        ngtest::Sandbox sandbox;
        ngtest::WriteFile("FromExcludes", "bob@x\n\nAnn@y\nann@z\r\nCarl\nann@y\n");
        ng::Profile().WriteProfileString("Newsgleaner", "SubjectExcl", "wanted:sale");
        CExcludesDialog dialog;
        QCOMPARE(dialog.windowTitle(), QString("Newsgleaner Excludes"));
        auto* list = Child<QListWidget>(dialog, "fromExcludes");
        // Letter case ignored; entries that compare equal keep their file order.
        QCOMPARE(Shown(list), (QStringList{"", "Ann@y", "ann@y", "ann@z", "bob@x", "Carl"}));
        QCOMPARE(list->selectedItems().size(), 1);
        QCOMPARE(list->row(list->selectedItems().front()), 0);
        QCOMPARE(Child<QLineEdit>(dialog, "subjectExcl")->text(), QString("wanted:sale"));
        QCOMPARE(Child<QLineEdit>(dialog, "logFile")->text(), QString("DownloadLog"));
        // Logging off: its controls are disabled until the box is ticked.
        auto* enable = Child<QCheckBox>(dialog, "enableLogging");
        QVERIFY(!enable->isChecked());
        QVERIFY(!Child<QLineEdit>(dialog, "logFile")->isEnabled());
        QVERIFY(!Child<QPushButton>(dialog, "clearContents")->isEnabled());
        enable->click();
        QVERIFY(Child<QLineEdit>(dialog, "logFile")->isEnabled());
        QVERIFY(Child<QPushButton>(dialog, "clearContents")->isEnabled());
        bool noteShown = false;
        for (auto* label : dialog.findChildren<QLabel*>()) {
            noteShown = noteShown || (label->text().startsWith("Note:") &&
                                      label->text().contains("include the '@' character."));
        }
        QVERIFY(noteShown);
    }

    void addAndRemove() {
        ngtest::Sandbox sandbox;
        ngtest::WriteFile("FromExcludes", "a@x\nc@x\n");
        CExcludesDialog dialog;
        auto* list = Child<QListWidget>(dialog, "fromExcludes");
        auto* entry = Child<QLineEdit>(dialog, "fromExclude");
        auto* add = Child<QPushButton>(dialog, "add");
        auto* remove = Child<QPushButton>(dialog, "remove");

        add->click();  // nothing typed: nothing added
        QCOMPARE(list->count(), 2);
        entry->setText("B@x");
        add->click();
        QCOMPARE(Shown(list), (QStringList{"a@x", "B@x", "c@x"}));
        QCOMPARE(entry->text(), QString());
        entry->setText("a@x");
        add->click();  // duplicates are not refused
        QCOMPARE(list->count(), 4);

        list->setCurrentRow(1);
        remove->click();
        QCOMPARE(list->count(), 3);
        QVERIFY(list->selectedItems().isEmpty());  // the selection does not move on
        remove->click();
        QCOMPARE(list->count(), 3);
    }

    void okStoresInItsOrder() {
        ngtest::Sandbox sandbox;
        ngtest::WriteFile("FromExcludes", "zed@x\n\nold\xe9@latin1\n");
        CExcludesDialog dialog;
        Child<QLineEdit>(dialog, "fromExclude")->setText("typed@not.added");
        Child<QCheckBox>(dialog, "enableLogging")->click();
        Child<QLineEdit>(dialog, "logFile")->setText("/var/tmp/my.log");
        Child<QLineEdit>(dialog, "subjectExcl")->setText("sale");
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        // The typed entry joins without Add; an 8-bit entry is written back
        // byte for byte; the empty line stays.
        QCOMPARE(ngtest::ReadFile("FromExcludes"),
                 std::string("\nold\xe9@latin1\ntyped@not.added\nzed@x\n"));
        QCOMPARE(ng::Profile().GetProfileInt("Newsgleaner", "EnableLogging", 0), 1);
        QCOMPARE(Product("LogFile"), std::string("/var/tmp/my.log"));
        QCOMPARE(Product("SubjectExcl"), std::string("sale"));
    }

    void unwritableListStillStoresTheRest() {
        ngtest::Sandbox sandbox;
        QVERIFY(QDir().mkdir("FromExcludes"));  // cannot be replaced by a file
        CExcludesDialog dialog;
        Child<QLineEdit>(dialog, "subjectExcl")->setText("x");
        dialog.accept();
        QCOMPARE(Product("SubjectExcl"), std::string("x"));
        QCOMPARE(Product("LogFile"), std::string("DownloadLog"));
    }

    void cancelStoresNothing() {
        ngtest::Sandbox sandbox;
        ngtest::WriteFile("FromExcludes", "b\na\n");
        CExcludesDialog dialog;
        Child<QLineEdit>(dialog, "fromExclude")->setText("new");
        Child<QPushButton>(dialog, "add")->click();
        Child<QCheckBox>(dialog, "enableLogging")->click();
        Child<QLineEdit>(dialog, "subjectExcl")->setText("x");
        dialog.reject();
        QCOMPARE(ngtest::ReadFile("FromExcludes"), std::string("b\na\n"));
        QVERIFY(!ngtest::FileExists(sandbox.SettingsPath()));
    }

    void clearContentsEmptiesTheStoredLog() {
        ngtest::Sandbox sandbox;
        {
            // Nothing stored yet: the default log name.
            ngtest::WriteFile("DownloadLog", "/p/a.jpg -> x\n");
            CExcludesDialog dialog;
            Child<QCheckBox>(dialog, "enableLogging")->click();
            Child<QPushButton>(dialog, "clearContents")->click();
            QCOMPARE(ngtest::ReadFile("DownloadLog"), std::string());
            dialog.reject();
        }
        ng::Profile().WriteProfileString("Newsgleaner", "LogFile", sandbox.File("stored.log"));
        ngtest::WriteFile("stored.log", "/p/b.jpg -> y\n");
        ngtest::WriteFile("typed.log", "/p/c.jpg -> z\n");
        CExcludesDialog dialog;
        Child<QCheckBox>(dialog, "enableLogging")->click();
        Child<QLineEdit>(dialog, "logFile")
            ->setText(QString::fromStdString(sandbox.File("typed.log")));
        Child<QPushButton>(dialog, "clearContents")->click();
        // The name not yet confirmed is not the one emptied.
        QCOMPARE(ngtest::ReadFile("stored.log"), std::string());
        QCOMPARE(ngtest::ReadFile("typed.log"), std::string("/p/c.jpg -> z\n"));
        // Cancel does not undo it.
        dialog.reject();
        QCOMPARE(ngtest::ReadFile("stored.log"), std::string());
    }
};

QTEST_MAIN(ExcludesDialogTest)
#include "ExcludesDialogTest.moc"
