#include "ui/NewsgleanerApp.h"

#include <QApplication>
#include <QTimer>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/System.h"
#include "settings/SettingsStore.h"
#include "ui/ExposeRepaint.h"
#include "ui/MainDialog.h"
#include "ui/MessageBoxes.h"
#include "ui/UiText.h"

int CNewsgleanerApp::InitInstance() {
    ng::ui::RepaintAfterExpose(*QApplication::instance());
    // Lists and logs are opened by bare name from the working folder.
    std::string error;
    if (!ng::EnterDataHome(&error)) {
        ng::ui::Tell(nullptr,
                     QStringLiteral("Unable to use the working folder %1:\n\n%2")
                         .arg(ng::ui::FromBytes(ng::DataHomePath()), ng::ui::FromBytes(error)),
                     QMessageBox::Critical);
        return 1;
    }
    // No settings file yet: Setup opens over the window, once it shows.
    std::error_code statError;
    const bool firstRun = !std::filesystem::exists(ng::Profile().Path(), statError) && !statError;
    CMainDialog window;
    if (firstRun) {
        QTimer::singleShot(0, &window, &CMainDialog::OpenFirstSetup);
    }
    window.exec();  // OK (Close) and cancel (close while idle) end the program alike
    return 0;
}
