#include "WindowTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBuffer>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QWidget>

namespace ngwin {

QStringList Shown(QListWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) {
        texts << list->item(i)->text();
    }
    return texts;
}

ModalAnswer::ModalAnswer(Action act, std::chrono::milliseconds limit)
    : m_act(std::move(act)), m_deadline(std::chrono::steady_clock::now() + limit) {
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->isVisible() && top->isModal()) {
            m_alreadyOpen.insert(top);
        }
    }
    connect(&m_timer, &QTimer::timeout, this, &ModalAnswer::Poll);
    m_timer.start(20);
}

ModalAnswer::~ModalAnswer() = default;

void ModalAnswer::Poll() {
    if (m_bAnswered || m_bTimedOut) {
        m_timer.stop();
        return;
    }
    QWidget* modal = QApplication::activeModalWidget();
    bool fresh = modal && modal->isVisible() && m_alreadyOpen.count(modal) == 0;
    if (fresh) {
        m_title = modal->windowTitle();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            m_text = box->text();
            m_icon = box->icon();
            QPushButton* def = box->defaultButton();
            m_defaultButton = def ? box->standardButton(def) : QMessageBox::NoButton;
        }
        if (m_act(modal)) {
            m_bAnswered = true;
            m_timer.stop();
            return;
        }
    }
    if (std::chrono::steady_clock::now() > m_deadline) {
        m_bTimedOut = true;
        m_timer.stop();
        if (fresh) {
            if (auto* dialog = qobject_cast<QDialog*>(modal)) {
                dialog->reject();
            } else {
                modal->close();
            }
        }
    }
}

ModalAnswer::Action Press(QMessageBox::StandardButton button) {
    return [button](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box || !box->button(button)) {
            return false;
        }
        box->button(button)->click();
        return true;
    };
}

QStringList TabOrder(QWidget& window) {
    QStringList order;
    for (QWidget* w = window.nextInFocusChain(); w && w != &window; w = w->nextInFocusChain()) {
        if (w->isWindow() || w->window() != &window || w->focusProxy() ||
            (w->focusPolicy() & Qt::TabFocus) != Qt::TabFocus || !w->isVisibleTo(&window)) {
            continue;
        }
        auto* button = qobject_cast<QAbstractButton*>(w);
        if (!w->objectName().isEmpty()) {
            order << w->objectName();
        } else if (button) {
            order << button->text();
        } else {
            order << QString::fromLatin1(w->metaObject()->className());
        }
    }
    return order;
}

namespace {

// Runs the event loop for one short slice, sleeping while nothing happens.
void RunSlice(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

bool WaitUntil(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs) {
            return done();
        }
        RunSlice(10);
    }
    return true;
}

void Pump(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        RunSlice(10);
    }
}

std::string MakeJpeg(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(40, 90, 160));
    QPainter painter(&image);
    painter.fillRect(0, height / 3, width, height / 3, QColor(230, 200, 60));
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "JPG", 80)) {
        return {};
    }
    return bytes.toStdString();
}

}  // namespace ngwin
