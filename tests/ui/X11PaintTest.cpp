// Under a real X server (Xvfb, no window manager): the windows that open
// over the group select dialog are drawn on the screen, not left black. The
// screen is photographed where each control sits and compared with what the
// control draws by itself. Run by CTest through xvfb-check.

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <string>
#include <vector>

#include "WindowTestSupport.h"
#include "settings/SettingsStore.h"
#include "support/ScriptedServer.h"
#include "support/TestSupport.h"
#include "ui/ExposeRepaint.h"
#include "ui/GroupSelectDialog.h"
#include "ui/MainDialog.h"
#include "ui/PasswordDialog.h"

namespace {

// How much of the screen where `widget` sits shows what the widget draws:
// the share of pixels that match within a small tolerance (1 for a perfect
// picture, near 0 for a black window).
double ShareDrawn(QWidget* widget) {
    QPoint at = widget->mapToGlobal(QPoint(0, 0));
    QImage shown = widget->screen()
                       ->grabWindow(0, at.x(), at.y(), widget->width(), widget->height())
                       .toImage()
                       .convertToFormat(QImage::Format_RGB32);
    QImage drawn = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    if (shown.size() != drawn.size() || drawn.isNull()) {
        return 0;
    }
    long same = 0;
    for (int y = 0; y < drawn.height(); ++y) {
        for (int x = 0; x < drawn.width(); ++x) {
            QRgb a = shown.pixel(x, y);
            QRgb b = drawn.pixel(x, y);
            same += std::abs(qRed(a) - qRed(b)) <= 24 && std::abs(qGreen(a) - qGreen(b)) <= 24 &&
                    std::abs(qBlue(a) - qBlue(b)) <= 24;
        }
    }
    return double(same) / (drawn.width() * drawn.height());
}

QPushButton* ButtonByText(QWidget& window, const QString& text) {
    for (QPushButton* button : window.findChildren<QPushButton*>()) {
        if (button->text() == text) {
            return button;
        }
    }
    qFatal("no button %s", qPrintable(text));
}

struct Photo {
    QString what;
    double share;
};

}  // namespace

class X11PaintTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY2(QGuiApplication::platformName() == "xcb", "run under an X server (xvfb-check)");
        ng::ui::RepaintAfterExpose(*QApplication::instance());  // as the program does
    }

    void windowsOverTheGroupSelectDialogAreDrawn() {
        ngtest::Sandbox sandbox;
        ngtest::ScriptedServer server;
        server.On("AUTHINFO USER fred", "381 password please\r\n");
        server.OnPrefix("AUTHINFO PASS", ngtest::Reply("481 refused\r\n"));

        CMainDialog window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        // The steps run from a timer, since each window is modal: the group
        // select dialog; Refresh with no host (the message box); Refresh with
        // a host whose server asks for a password (the prompt); the
        // categories' drop-down list. Each is photographed once it has been
        // on the screen for a moment.
        std::vector<Photo> photos;
        int step = 0;
        CGroupSelectDialog* dialog = nullptr;
        QElapsedTimer shown;
        QElapsedTimer clock;
        clock.start();
        bool settled = false;
        auto settle = [&](QWidget* w) {
            if (!w || !w->isVisible() || !w->windowHandle() || !w->windowHandle()->isExposed()) {
                shown.invalidate();
                return false;
            }
            if (!shown.isValid()) {
                shown.start();
            }
            return shown.elapsed() > 400;
        };
        QTimer driver;
        connect(&driver, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (clock.elapsed() > 30000) {
                driver.stop();
                if (modal) {
                    modal->close();
                }
                return;
            }
            switch (step) {
                case 0:
                    dialog = qobject_cast<CGroupSelectDialog*>(modal);
                    if (settle(dialog)) {
                        shown.invalidate();
                        QTimer::singleShot(0, ngwin::Child<QPushButton>(*dialog, "refresh"),
                                           &QPushButton::click);
                        step = 1;
                    }
                    break;
                case 1:
                    if (auto* box = qobject_cast<QMessageBox*>(modal); settle(box)) {
                        shown.invalidate();
                        photos.push_back({"message box text",
                                          ShareDrawn(box->findChild<QLabel*>("qt_msgbox_label"))});
                        photos.push_back(
                            {"message box OK", ShareDrawn(box->button(QMessageBox::Ok))});
                        box->button(QMessageBox::Ok)->click();
                        step = 2;
                    }
                    break;
                case 2:
                    if (modal == dialog) {
                        auto& store = ng::Profile();
                        store.WriteProfileString("Newsgleaner", "NNTPHost", server.Address());
                        store.WriteProfileInt("Newsgleaner", "NNTPPort", server.Port());
                        store.WriteProfileInt(server.Address(), "UserAuthentication", 1);
                        store.WriteProfileInt(server.Address(), "PromptForPasswd", 1);
                        store.WriteProfileString(server.Address(), "Username", "fred");
                        QTimer::singleShot(0, ngwin::Child<QPushButton>(*dialog, "refresh"),
                                           &QPushButton::click);
                        step = 3;
                    }
                    break;
                case 3:
                    if (auto* prompt = qobject_cast<CPasswordDialog*>(modal); settle(prompt)) {
                        shown.invalidate();
                        photos.push_back(
                            {"prompt label", ShareDrawn(prompt->findChild<QLabel*>())});
                        photos.push_back({"prompt OK", ShareDrawn(ButtonByText(*prompt, "OK"))});
                        photos.push_back(
                            {"prompt Cancel", ShareDrawn(ButtonByText(*prompt, "Cancel"))});
                        prompt->reject();
                        step = 4;
                    }
                    break;
                case 4:
                    if (modal == dialog && !dialog->Refreshing()) {
                        auto* combo = ngwin::Child<QComboBox>(*dialog, "category");
                        combo->addItems({"cats", "dogs"});
                        combo->showPopup();
                        step = 5;
                    }
                    break;
                case 5: {
                    auto* combo = ngwin::Child<QComboBox>(*dialog, "category");
                    if (settle(combo->view()->window())) {
                        photos.push_back({"drop-down list", ShareDrawn(combo->view()->viewport())});
                        combo->hidePopup();
                        dialog->reject();
                        driver.stop();
                        step = 6;
                    }
                    break;
                }
            }
            settled = step == 6;
        });
        driver.start(20);
        window.Ui().groups->click();  // returns when the group select dialog closes

        QVERIFY2(settled, qPrintable(QString("stopped at step %1").arg(step)));
        QCOMPARE(photos.size(), size_t(6));
        for (const Photo& photo : photos) {
            qInfo("%s: %.0f%% drawn", qPrintable(photo.what), 100 * photo.share);
            QVERIFY2(photo.share > 0.9, qPrintable(photo.what));
        }
    }
};

QTEST_MAIN(X11PaintTest)
#include "X11PaintTest.moc"
