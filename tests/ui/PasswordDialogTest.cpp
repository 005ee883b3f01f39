// The password dialog, and the prompt that runs it for a thread of its own.

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "WindowTestSupport.h"
#include "ui/PasswordDialog.h"
#include "ui/QtPasswordPrompt.h"

using ngwin::ModalAnswer;

namespace {

// An action for the password dialog alone: `act` does what the user does in it.
ModalAnswer::Action InDialog(std::function<void(CPasswordDialog*)> act) {
    return [act = std::move(act)](QWidget* modal) {
        auto* dialog = qobject_cast<CPasswordDialog*>(modal);
        if (!dialog) {
            return false;
        }
        act(dialog);
        return true;
    };
}

// Types `text` into the open password dialog and presses OK.
ModalAnswer::Action TypeAndAccept(const QString& text) {
    return [text](QWidget* modal) {
        auto* dialog = qobject_cast<CPasswordDialog*>(modal);
        if (!dialog) {
            return false;
        }
        if (!dialog->PasswordEdit()->text().isEmpty()) {
            return false;  // a fresh prompt starts empty; let the time limit fail it
        }
        QTest::keyClicks(dialog->PasswordEdit(), text);
        QTest::keyClick(dialog->PasswordEdit(), Qt::Key_Return);
        return true;
    };
}

ModalAnswer::Action PressCancel() {
    return [](QWidget* modal) {
        auto* dialog = qobject_cast<CPasswordDialog*>(modal);
        if (!dialog) {
            return false;
        }
        for (auto* button : dialog->findChildren<QPushButton*>()) {
            if (button->text() == "Cancel") {
                button->click();
                return true;
            }
        }
        return false;
    };
}

// AskPassword on a thread of its own, as the download worker calls it.
class AskingThread {
public:
    explicit AskingThread(QtPasswordPrompt& prompt)
        : m_thread([this, &prompt] {
              m_answer = prompt.AskPassword(m_stop);
              m_done = true;
          }) {}
    ~AskingThread() {
        m_stop = true;
        m_thread.join();
    }
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_done{false};
    std::optional<std::string> Answer() {
        m_stop = true;
        m_thread.join();
        m_thread = std::thread([] {});
        return m_answer;
    }

private:
    std::optional<std::string> m_answer;
    std::thread m_thread;
};

}  // namespace

class PasswordDialogTest : public QObject {
    Q_OBJECT

private slots:
    void dialogLooksAsExpected() {
        CPasswordDialog dialog;
        QCOMPARE(dialog.windowTitle(), QString("Newsgleaner"));
        QCOMPARE(dialog.PasswordEdit()->echoMode(), QLineEdit::Password);
        bool labelled = false;
        for (auto* label : dialog.findChildren<QLabel*>()) {
            if (label->text() == "&Password:" && label->buddy() == dialog.PasswordEdit()) {
                labelled = true;
            }
        }
        QVERIFY(labelled);
        QVERIFY(dialog.GetPassword().empty());
    }

    void okKeepsTheTextExactlyAsTyped() {
        CPasswordDialog dialog;
        ModalAnswer answer(TypeAndAccept("  sec ret "));
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QVERIFY(answer.Answered());
        QCOMPARE(dialog.GetPassword(), std::string("  sec ret "));
    }

    void okWithAnEmptyFieldGivesAnEmptyPassword() {
        CPasswordDialog dialog;
        ModalAnswer answer(InDialog(
            [](CPasswordDialog* d) { QTest::keyClick(d->PasswordEdit(), Qt::Key_Return); }));
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QVERIFY(dialog.GetPassword().empty());
    }

    void cancelAndEscapeGiveNothing() {
        {
            CPasswordDialog dialog;
            ModalAnswer answer(InDialog([](CPasswordDialog* d) {
                QTest::keyClicks(d->PasswordEdit(), "typed");
                for (auto* button : d->findChildren<QPushButton*>()) {
                    if (button->text() == "Cancel") {
                        button->click();
                    }
                }
            }));
            QCOMPARE(dialog.exec(), int(QDialog::Rejected));
            QVERIFY(dialog.GetPassword().empty());
        }
        {
            CPasswordDialog dialog;
            ModalAnswer answer(InDialog([](CPasswordDialog* d) {
                QTest::keyClicks(d->PasswordEdit(), "typed");
                QTest::keyClick(d->PasswordEdit(), Qt::Key_Escape);
            }));
            QCOMPARE(dialog.exec(), int(QDialog::Rejected));
            QVERIFY(dialog.GetPassword().empty());
        }
    }

    void promptAnswersAnotherThread() {
        QtPasswordPrompt prompt;
        for (const char* typed : {"first pw", "second"}) {
            // Each prompt starts with an empty field (the action checks).
            ModalAnswer answer(TypeAndAccept(typed));
            AskingThread asking(prompt);
            QVERIFY(ngwin::WaitUntil([&] { return asking.m_done.load(); }));
            QVERIFY(answer.Answered());
            QCOMPARE(asking.Answer(), std::optional<std::string>(typed));
        }
    }

    void promptCancelledGivesNothing() {
        QtPasswordPrompt prompt;
        ModalAnswer answer(PressCancel());
        AskingThread asking(prompt);
        QVERIFY(ngwin::WaitUntil([&] { return asking.m_done.load(); }));
        QVERIFY(answer.Answered());
        QCOMPARE(asking.Answer(), std::optional<std::string>());
    }

    void promptAbandonedOnStop() {
        QtPasswordPrompt prompt;
        AskingThread asking(prompt);
        // The dialog opens; nobody answers; the asking thread is told to stop.
        ModalAnswer answer(InDialog([&](CPasswordDialog*) { asking.m_stop = true; }),
                           std::chrono::seconds(5));
        QVERIFY(ngwin::WaitUntil([&] { return asking.m_done.load(); }, 5000));
        QVERIFY(answer.Answered());
        QCOMPARE(asking.Answer(), std::optional<std::string>());
        // The abandoned dialog closes by itself.
        QVERIFY(
            ngwin::WaitUntil([] { return QApplication::activeModalWidget() == nullptr; }, 3000));
    }

    void promptStoppedBeforeTheDialogOpens() {
        QtPasswordPrompt prompt;
        std::atomic<bool> stop{true};
        std::optional<std::string> result = std::string("x");
        std::thread asking([&] { result = prompt.AskPassword(stop); });
        asking.join();  // returns without the UI thread's help
        QCOMPARE(result, std::optional<std::string>());
        // The request it left behind shows no dialog.
        ngwin::Pump(200);
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }
};

QTEST_MAIN(PasswordDialogTest)
#include "PasswordDialogTest.moc"
