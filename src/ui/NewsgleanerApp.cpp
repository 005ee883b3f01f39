#include "ui/NewsgleanerApp.h"

#include <QMessageBox>
#include <string>

#include "platform/System.h"
#include "ui/MainDialog.h"
#include "ui/UiText.h"

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
    window.exec();  // OK (Close) and cancel (close while idle) end the program alike
    return 0;
}
