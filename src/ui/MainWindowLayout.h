#pragma once
// The main window's controls: made, captioned and laid out here, connected
// by the window and the pieces that drive them.

class CImvb;
class CStaticText;
class QAction;
class QDialog;
class QGroupBox;
class QProgressBar;
class QPushButton;
class QSlider;

// The window's controls by role.
struct MainControls {
    QPushButton* go = nullptr;
    QPushButton* pause = nullptr;
    QPushButton* stop = nullptr;
    QPushButton* catchUp = nullptr;
    QPushButton* groups = nullptr;
    QPushButton* setup = nullptr;
    QPushButton* pending = nullptr;
    QPushButton* close = nullptr;
    QPushButton* about = nullptr;
    QProgressBar* bars[3] = {};  // by ng::ProgressBar
    CStaticText* barTexts[3] = {};
    CStaticText* subject = nullptr;
    CStaticText* savingTo = nullptr;
    CStaticText* from = nullptr;
    CStaticText* scanned = nullptr;
    CStaticText* saved = nullptr;
    CStaticText* bytes = nullptr;
    CStaticText* rates[2] = {};  // by ng::RateField
    CStaticText* historySkipped = nullptr;
    CStaticText* crosspostsSkipped = nullptr;
    CStaticText* status = nullptr;
    QProgressBar* statusBar = nullptr;
    CStaticText* elapsed = nullptr;
    QPushButton* show = nullptr;
    QPushButton* fullSize = nullptr;
    QPushButton* deleteFile = nullptr;
    QGroupBox* priorityFrame = nullptr;
    QSlider* slider = nullptr;
    QPushButton* set = nullptr;
    QGroupBox* thumbnailFrame = nullptr;  // its caption names the picture
    CImvb* thumbnail = nullptr;
    QAction* aboutAction = nullptr;
};

// Makes the controls in `window` and lays them out; nothing is connected.
MainControls BuildMainWindow(QDialog* window);
