#pragma once
// Under plain X11 (Xvfb, or a simple window manager without compositing) a
// window opened over the group select dialog - the Refresh password prompt,
// a message box, the categories' drop-down list - could stay black until it
// was moved: its first frame was drawn before the server showed the window,
// and nothing drew it again. Installed once on the application, this draws
// every window once more shortly after the platform reports it exposed.
// It costs one paint per exposure and changes nothing where frames arrive.

class QCoreApplication;

namespace ng::ui {

void RepaintAfterExpose(QCoreApplication& application);

}  // namespace ng::ui
