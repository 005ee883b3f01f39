#include "ui/ThumbnailDialog.h"

#include <QGuiApplication>
#include <QScreen>
#include <QScrollBar>
#include <algorithm>

#include "ui/Imvb.h"
#include "ui/UiText.h"

CThumbnailDialog::CThumbnailDialog(const std::string& fileName, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("fullSizeWindow"));
    m_pImage = new CImvb(CImvb::Fit::ActualSize, this);
    m_pImage->setFrameShape(QFrame::NoFrame);

    QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);

    // A picture that cannot be read still opens the window, sized from
    // whatever the view then reports.
    m_pImage->SetImageFile(fileName);
    m_pImage->LoadImage();
    setWindowTitle(ng::ui::FromBytes(fileName));

    m_room = ng::FullSizeRoomFor(available.width(), available.height(), m_pImage->GetImageWidth(),
                                 m_pImage->GetImageHeight());
    m_pImage->SetTallMode(m_room.tallMode != 0 ? 1 : 0);
    int viewWidth = m_room.width;
    if (m_room.tallMode != 0) {
        // The vertical scroll bar takes its width out of the view: give it
        // room beside the picture, as far as the screen allows, or a needless
        // horizontal bar appears too and covers the picture's bottom.
        int bar = m_pImage->verticalScrollBar()->sizeHint().width();
        viewWidth = std::max(viewWidth, std::min(viewWidth + bar, available.width() - 10));
    }
    setFixedSize(viewWidth + 4, m_room.height + 2);
    m_pImage->setGeometry(2, 1, viewWidth, m_room.height);
    move(available.topLeft());
}
