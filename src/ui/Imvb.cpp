#include "ui/Imvb.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>

CImvb::CImvb(Fit fit, QWidget* parent) : QScrollArea(parent), m_fit(fit) {
    m_pPicture = new QLabel;
    m_pPicture->setAlignment(Qt::AlignCenter);
    setWidget(m_pPicture);
    setAlignment(Qt::AlignCenter);
    setWidgetResizable(m_fit == Fit::ScaleToView);
    setHorizontalScrollBarPolicy(m_fit == Fit::ScaleToView ? Qt::ScrollBarAlwaysOff
                                                           : Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    if (m_fit == Fit::ScaleToView) {
        setFocusPolicy(Qt::NoFocus);  // a fitted picture has nothing to scroll: no tab stop
    }
}

void CImvb::SetImageFile(const std::string& path) {
    m_strImageFile = path;
}

bool CImvb::HasPicture() const {
    return !m_pixmap.isNull();
}

QSize CImvb::ShownSize() const {
    return m_pPicture->pixmap().size();
}

bool CImvb::LoadImage() {
    if (m_strImageFile.empty()) {
        m_pixmap = QPixmap();
        m_nWidth = m_nHeight = 0;
        m_strLoadedFile.clear();
        ShowPicture();
        return true;
    }

    auto fail = [this] {
        m_strImageFile = m_strLoadedFile;
        return false;
    };
    // Opened by its bytes, so a name in any encoding reaches the right file;
    // only a regular file is read (a pipe named *.jpg must not block the window).
    int fd = ::open(m_strImageFile.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return fail();
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return fail();
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail();
    }
    QImageReader reader(&file);
    QSize size = reader.size();
    if (m_fit == Fit::ScaleToView && size.isValid()) {
        // Decode no larger than the view: quick, and small in memory.
        QSize room = FitRoom();
        if (size.width() > room.width() || size.height() > room.height()) {
            reader.setScaledSize(size.scaled(room, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
        }
    }
    QImage image = reader.read();
    if (image.isNull()) {
        return fail();
    }
    if (!size.isValid()) {
        size = image.size();
    }
    m_pixmap = QPixmap::fromImage(std::move(image));
    m_nWidth = size.width();
    m_nHeight = size.height();
    m_strLoadedFile = m_strImageFile;
    ShowPicture();
    return true;
}

QSize CImvb::FitRoom() const {
    // The view's own size less its frame: known even before it is first
    // shown, when the viewport has not been laid out yet.
    return contentsRect().size().expandedTo(QSize(1, 1));
}

void CImvb::SetTallMode(int mode) {
    m_nTallMode = mode;
    if (m_fit == Fit::ActualSize) {
        setVerticalScrollBarPolicy(mode != 0 ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    }
}

void CImvb::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    if (m_fit == Fit::ScaleToView) {
        ShowPicture();
    }
}

void CImvb::ShowPicture() {
    if (m_pixmap.isNull()) {
        m_pPicture->clear();
        if (m_fit == Fit::ActualSize) {
            m_pPicture->resize(0, 0);
        }
        return;
    }
    if (m_fit == Fit::ScaleToView) {
        QSize room = FitRoom();
        if (m_pixmap.width() > room.width() || m_pixmap.height() > room.height()) {
            m_pPicture->setPixmap(
                m_pixmap.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        } else {
            m_pPicture->setPixmap(m_pixmap);
        }
    } else {
        m_pPicture->setPixmap(m_pixmap);
        m_pPicture->resize(m_pixmap.size());
    }
}
