// newsgleaner: the desktop program. It takes no arguments: Qt is not handed
// the command line either, so nothing on it changes how the program runs.

#include <QApplication>

#include "ui/NewsgleanerApp.h"

int main(int /*argc*/, char** argv) {
    static int qtArgc = 1;
    static char name[] = "newsgleaner";
    static char* qtArgv[] = {argv && argv[0] ? argv[0] : name, nullptr};
    QApplication application(qtArgc, qtArgv);
    QApplication::setApplicationName(QStringLiteral("Newsgleaner"));
    // Ties the windows to the installed menu entry (and its icon) on desktops
    // that match them by name.
    QApplication::setDesktopFileName(QStringLiteral("newsgleaner"));
    CNewsgleanerApp app;
    return app.InitInstance();
}
