#include "ui/NewsgleanerApp.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/System.h"
#include "ui/MainDialog.h"
#include "ui/UiText.h"

namespace {

// For the README's picture (scripts/screenshot sets NG_SCREENSHOT to the file
// to write): press Go once the window shows, save a picture of the window a
// moment after the pass has ended, and close it. Nothing else reads it.
void TakeScreenshotRun(CMainDialog& window, const QString& path) {
    auto save = [&window, path] {
        if (!window.grab().save(path, "PNG")) {
            std::fprintf(stderr, "newsgleaner: cannot write %s\n", qPrintable(path));
        }
        window.close();
    };
    QObject::connect(&window, &CMainDialog::passFinished, &window,
                     [&window, save] { QTimer::singleShot(400, &window, save); });
    QTimer::singleShot(800, &window, [&window] { window.Ui().go->click(); });
    // A pass that cannot finish still gives a picture and an end.
    QTimer::singleShot(120000, &window, [&window, path] {
        window.grab().save(path, "PNG");
        std::fprintf(stderr, "newsgleaner: the pass did not finish in time\n");
        std::_Exit(1);
    });
}

}  // namespace

int CNewsgleanerApp::InitInstance() {
    // Lists and logs are opened by bare name from the working folder.
    std::string error;
    if (!ng::EnterDataHome(&error)) {
        QMessageBox::critical(
            nullptr, QStringLiteral("Newsgleaner"),
            QStringLiteral("Unable to use the working folder %1:\n\n%2")
                .arg(ng::ui::FromBytes(ng::DataHomePath()), ng::ui::FromBytes(error)));
        return 1;
    }
    CMainDialog window;
    if (const char* shot = std::getenv("NG_SCREENSHOT"); shot && *shot) {
        TakeScreenshotRun(window, shot);
    }
    window.exec();  // OK (Close) and cancel (close while idle) end the program alike
    return 0;
}
