#include "ui/AboutDialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

QPixmap ProgramPicture(int size) {
    QPixmap picture(size, size);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 32.0;

    // The page, with a folded corner.
    QPainterPath page;
    page.moveTo(4 * s, 3 * s);
    page.lineTo(22 * s, 3 * s);
    page.lineTo(28 * s, 9 * s);
    page.lineTo(28 * s, 29 * s);
    page.lineTo(4 * s, 29 * s);
    page.closeSubpath();
    painter.setPen(QPen(QColor(60, 60, 70), 1.2 * s));
    painter.setBrush(QColor(250, 248, 240));
    painter.drawPath(page);
    painter.setBrush(QColor(215, 212, 200));
    QPolygonF fold({QPointF(22 * s, 3 * s), QPointF(22 * s, 9 * s), QPointF(28 * s, 9 * s)});
    painter.drawPolygon(fold);

    // Columns of text.
    painter.setPen(QPen(QColor(120, 120, 130), 1.0 * s));
    for (int line = 0; line < 3; ++line) {
        qreal y = (6.5 + 2.5 * line) * s;
        painter.drawLine(QPointF(7 * s, y), QPointF((line == 0 ? 19 : 20) * s, y));
    }
    for (int line = 0; line < 2; ++line) {
        qreal y = (24 + 2.5 * line) * s;
        painter.drawLine(QPointF(7 * s, y), QPointF(25 * s, y));
    }

    // The picture: sky, sun and a hill.
    QRectF frame(7 * s, 13 * s, 18 * s, 9 * s);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(110, 170, 230));
    painter.drawRect(frame);
    painter.setBrush(QColor(250, 205, 60));
    painter.drawEllipse(QPointF(21 * s, 15.5 * s), 1.6 * s, 1.6 * s);
    QPainterPath hill;
    hill.moveTo(frame.bottomLeft());
    hill.quadTo(QPointF(13 * s, 14 * s), QPointF(25 * s, 20 * s));
    hill.lineTo(frame.bottomRight());
    hill.closeSubpath();
    painter.setBrush(QColor(70, 150, 80));
    painter.drawPath(hill);
    painter.setPen(QPen(QColor(60, 60, 70), 0.8 * s));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(frame);
    return picture;
}

CAboutDialog::CAboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Newsgleaner"));
    setObjectName(QStringLiteral("aboutDialog"));

    auto* picture = new QLabel(this);
    picture->setPixmap(ProgramPicture(64));
    picture->setAlignment(Qt::AlignTop);

    auto* name = new QLabel(QStringLiteral("Newsgleaner " NG_VERSION_TEXT), this);
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
    auto* owner = new QLabel(QStringLiteral("Copyright \u00A9 the Newsgleaner developers"), this);
    auto* web = new QLabel(QStringLiteral("https://newsgleaner.example/"), this);
    web->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* texts = new QVBoxLayout;
    texts->addWidget(name);
    texts->addWidget(owner);
    texts->addWidget(web);
    texts->addStretch(1);

    auto* ok = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(ok, &QDialogButtonBox::accepted, this, &CAboutDialog::accept);

    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addSpacing(12);
    top->addLayout(texts);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(ok);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
