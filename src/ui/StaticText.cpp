#include "ui/StaticText.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOption>

#include "ui/UiText.h"

CStaticText::CStaticText(int widthChars, int lines, Qt::Alignment alignment, Ampersands ampersands,
                         QWidget* parent)
    : QFrame(parent),
      m_nWidthChars(widthChars),
      m_nLines(lines),
      m_alignment(alignment),
      m_ampersands(ampersands) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void CStaticText::setText(const QString& text) {
    if (text == m_text) {
        return;
    }
    m_text = text;
    update();
}

QString CStaticText::ShownText() const {
    return m_ampersands == Ampersands::Mnemonic ? ng::ui::WithoutMnemonics(m_text) : m_text;
}

QSize CStaticText::sizeHint() const {
    QFontMetrics metrics = fontMetrics();
    int frame = 2 * frameWidth() + 4;
    return {metrics.averageCharWidth() * m_nWidthChars + frame,
            metrics.lineSpacing() * m_nLines + frame};
}

void CStaticText::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    QRect room = contentsRect().adjusted(2, 1, -2, -1);
    painter.setClipRect(room);
    int flags = static_cast<int>(m_alignment);
    if (m_nLines > 1) {
        flags |= Qt::TextWordWrap;
    }
    if (m_ampersands == Ampersands::Mnemonic) {
        flags |= Qt::TextShowMnemonic;
    }
    // Literal text goes through drawText without the mnemonic flag, where
    // "&" is an ordinary character.
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(room, flags, m_text);
}
