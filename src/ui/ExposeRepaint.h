#pragma once
// Under plain X11 (Xvfb, or a simple window manager without compositing),
// windows opened over the group select dialog - the Refresh password prompt,
// a message box, the categories' drop-down list - were seen to stay black
// until moved: their frame never reached the screen, a toolkit repaint
// problem that this layout triggers. Installed once on the application, this
// draws every window once more shortly after the platform reports it
// exposed, which puts the frame there. It costs one paint per exposure.

class QCoreApplication;

namespace ng::ui {

void RepaintAfterExpose(QCoreApplication& application);

}  // namespace ng::ui
