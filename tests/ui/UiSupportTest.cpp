// The pieces the windows share: the text helpers that give 8-bit bytes back
// unchanged.

#include <QComboBox>
#include <QLineEdit>
#include <QListWidgetItem>
#include <QTest>
#include <memory>
#include <string>

#include "ui/UiText.h"

class UiSupportTest : public QObject {
    Q_OBJECT

private slots:
    void bytesComeBackFromEveryKindOfControl() {
        const std::string latin1 = "caf\xe9 & co";   // not UTF-8
        const std::string bom = "\xef\xbb\xbfname";  // Qt drops the mark from the text
        for (const std::string& bytes : {latin1, bom, std::string("plain")}) {
            std::unique_ptr<QListWidgetItem> item(ng::ui::NewListItem(bytes));
            QCOMPARE(ng::ui::ItemBytes(item.get()), bytes);
            QComboBox combo;
            ng::ui::InsertComboItem(&combo, 0, bytes);
            QCOMPARE(ng::ui::ComboItemBytes(&combo, 0), bytes);
            QLineEdit edit;
            ng::ui::SetEditBytes(&edit, bytes);
            QCOMPARE(ng::ui::EditBytes(&edit), bytes);
        }
        QCOMPARE(ng::ui::FromBytes(latin1), QString::fromLatin1("caf\xe9 & co"));

        // Once edited, a field gives what was typed, as UTF-8.
        QLineEdit edit;
        ng::ui::SetEditBytes(&edit, latin1);
        edit.setText(edit.text() + "!");
        QCOMPARE(ng::ui::EditBytes(&edit), std::string("caf\xc3\xa9 & co!"));
    }
};

QTEST_MAIN(UiSupportTest)
#include "UiSupportTest.moc"
