#include "ui/ExposeRepaint.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace {

// Long enough for the window manager to have mapped and placed the window.
constexpr int kRepaintDelayMs = 50;

class ExposeRepaint final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose) {
            auto* window = qobject_cast<QWindow*>(watched);
            if (window && window->isExposed()) {
                Schedule(window);
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    static void Schedule(QWindow* window) {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->windowHandle() == window) {
                QPointer<QWidget> target(widget);
                QTimer::singleShot(kRepaintDelayMs, widget, [target] {
                    if (target && target->isVisible()) {
                        target->repaint();
                    }
                });
                return;
            }
        }
    }
};

}  // namespace

namespace ng::ui {

void RepaintAfterExpose(QCoreApplication& application) {
    application.installEventFilter(new ExposeRepaint(&application));
}

}  // namespace ng::ui
