#pragma once
// Helpers for the window tests: finding a window's controls, answering
// modal dialogs from inside their own event loops, bounded waits that keep
// the event loop running, and sample pictures.

#include <QListWidget>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <functional>
#include <set>
#include <string>

namespace ngwin {

// The control of the window with this object name. A missing one ends the
// test program: the test no longer matches the window.
template <typename T>
T* Child(QWidget& window, const char* name) {
    T* child = window.findChild<T*>(QString::fromLatin1(name));
    if (!child) {
        qFatal("no control %s", name);
    }
    return child;
}

// The texts of a list's entries, top to bottom.
QStringList Shown(QListWidget* list);

// Watches for a modal window (other than those open when it was armed) and
// hands it to `act` once it is shown. `act` returns true when it dealt with
// the window. A window still unanswered after `limit` is rejected, so a wrong
// expectation fails the test instead of hanging it.
class ModalAnswer : public QObject {
public:
    using Action = std::function<bool(QWidget* modal)>;

    explicit ModalAnswer(Action act, std::chrono::milliseconds limit = std::chrono::seconds(3));
    ~ModalAnswer() override;

    bool Answered() const { return m_bAnswered; }
    bool TimedOut() const { return m_bTimedOut; }
    // The text of the message box answered (empty for other windows).
    const QString& Text() const { return m_text; }
    const QString& Title() const { return m_title; }
    QMessageBox::StandardButton DefaultButton() const { return m_defaultButton; }
    QMessageBox::Icon Icon() const { return m_icon; }

private:
    void Poll();

    Action m_act;
    QTimer m_timer;
    std::chrono::steady_clock::time_point m_deadline;
    std::set<QWidget*> m_alreadyOpen;
    bool m_bAnswered = false;
    bool m_bTimedOut = false;
    QString m_text;
    QString m_title;
    QMessageBox::StandardButton m_defaultButton = QMessageBox::NoButton;
    QMessageBox::Icon m_icon = QMessageBox::NoIcon;
};

// An action that presses one button of a message box.
ModalAnswer::Action Press(QMessageBox::StandardButton button);

// The controls Tab visits in `window`, in order, from its first control on:
// the focus chain's widgets that Tab reaches (disabled ones included, since
// they keep their place) and that show with the window. Each is named by
// its object name, else by its text (buttons), else by its class.
QStringList TabOrder(QWidget& window);

// Runs the event loop until `done` holds or `limitMs` passes; true when it held.
bool WaitUntil(const std::function<bool()>& done, int limitMs = 10000);
// Runs the event loop for a while.
void Pump(int ms);

// Writes a JPEG of the given size (solid colour with a stripe) and returns
// its bytes; an empty result means the writer failed.
std::string MakeJpeg(int width, int height);

}  // namespace ngwin
