#pragma once
// The program: makes the working folder current and runs the main window
// for as long as the program lives.

class CNewsgleanerApp {
public:
    // Runs the whole program (a QApplication must exist); the exit status.
    int InitInstance();
};
