#pragma once
// "About Newsgleaner": the program's picture, version, ownership and web
// address, and an OK button.

#include <QDialog>
#include <QPixmap>

class CAboutDialog : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDialog(QWidget* parent = nullptr);
};

// The program's picture, drawn rather than loaded so that it is always there:
// a folded newspaper with a small landscape picture on it.
QPixmap ProgramPicture(int size);
