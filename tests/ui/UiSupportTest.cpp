// The pieces the windows share: the mailbox that hands work to the window
// thread, and the text helpers that give 8-bit bytes back unchanged.

#include <QComboBox>
#include <QLineEdit>
#include <QListWidgetItem>
#include <QTest>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "WindowTestSupport.h"
#include "ui/Mailbox.h"
#include "ui/UiText.h"

namespace {

// Takes the numbers posted to it on its own thread. Number 0 runs a nested
// event loop, as an update that opens a message box does.
class Receiver : public QObject {
    Q_OBJECT
public:
    Q_INVOKABLE void wake() {
        ++wakes;
        mailbox.Drain([this](int number) {
            taken.push_back(number);
            if (number == 0) {
                mailbox.Post(-1);
                ngwin::Pump(50);
                taken.push_back(-2);  // the nested loop has ended
            }
        });
    }

    CMailbox<int> mailbox{this, "wake"};
    int wakes = 0;
    std::vector<int> taken;
};

std::vector<int> Numbers(int first, int last) {
    std::vector<int> numbers;
    for (int i = first; i <= last; ++i) {
        numbers.push_back(i);
    }
    return numbers;
}

}  // namespace

class UiSupportTest : public QObject {
    Q_OBJECT

private slots:
    void mailboxKeepsOrderAndWakesOnce() {
        Receiver receiver;
        std::thread worker([&] {
            for (int i = 1; i <= 5000; ++i) {
                receiver.mailbox.Post(i);
            }
        });
        worker.join();
        ngwin::Pump(50);
        QCOMPARE(receiver.wakes, 1);
        QVERIFY(receiver.taken == Numbers(1, 5000));

        // Emptied, the mailbox wakes its receiver again for the next item.
        std::thread([&] { receiver.mailbox.Post(5001); }).join();
        ngwin::Pump(50);
        QCOMPARE(receiver.wakes, 2);
        QCOMPARE(receiver.taken.back(), 5001);

        // Posting while the receiver drains: nothing lost, nothing reordered.
        receiver.taken.clear();
        std::thread busy([&] {
            for (int i = 1; i <= 20000; ++i) {
                receiver.mailbox.Post(i);
            }
        });
        QVERIFY(ngwin::WaitUntil([&] { return receiver.taken.size() == 20000; }));
        busy.join();
        QVERIFY(receiver.taken == Numbers(1, 20000));
    }

    void mailboxHoldsLaterItemsBehindANestedLoop() {
        Receiver receiver;
        receiver.mailbox.Post(0);
        receiver.mailbox.Post(1);
        QVERIFY(ngwin::WaitUntil([&] { return receiver.taken.size() == 4; }));
        ngwin::Pump(20);
        // -1, posted inside the nested loop, waits behind 0 and the 1 that
        // was already there.
        QVERIFY(receiver.taken == (std::vector<int>{0, -2, 1, -1}));
    }

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

        // Once edited, a field gives what was typed, as UTF-8; so does an
        // editable combo box once its text is not the chosen entry's.
        QLineEdit edit;
        ng::ui::SetEditBytes(&edit, latin1);
        edit.setText(edit.text() + "!");
        QCOMPARE(ng::ui::EditBytes(&edit), std::string("caf\xc3\xa9 & co!"));
        QComboBox combo;
        combo.setEditable(true);
        ng::ui::InsertComboItem(&combo, 0, latin1);
        combo.setCurrentIndex(0);
        QCOMPARE(ng::ui::ComboTextBytes(&combo), latin1);
        combo.setEditText(edit.text());
        QCOMPARE(ng::ui::ComboTextBytes(&combo), std::string("caf\xc3\xa9 & co!"));
    }
};

QTEST_MAIN(UiSupportTest)
#include "UiSupportTest.moc"
