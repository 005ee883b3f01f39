#include "ui/MainWindowLayout.h"

#include <QAction>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <utility>

#include "engine/Display.h"
#include "ui/Imvb.h"
#include "ui/StaticText.h"
#include "ui/TabOrder.h"

namespace {

// The thumbnail's room on screen.
constexpr int kThumbnailWidth = 220;
constexpr int kThumbnailHeight = 165;

QPushButton* Button(const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    // Only the button the window makes the default answers Return.
    button->setAutoDefault(false);
    return button;
}

QLabel* Caption(const QString& text, QWidget* parent) {
    return new QLabel(text, parent);
}

CStaticText* CountField(QWidget* parent) {
    auto* field = new CStaticText(12, 1, Qt::AlignCenter, CStaticText::Ampersands::Literal, parent);
    field->setText(QStringLiteral("0"));
    return field;
}

QProgressBar* Bar(QWidget* parent) {
    auto* bar = new QProgressBar(parent);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    bar->setMinimumWidth(200);
    return bar;
}

}  // namespace

MainControls BuildMainWindow(QDialog* window) {
    MainControls ui;

    // Progress over the groups and over the group's articles.
    auto* progress = new QGridLayout;
    const char* const barCaptions[] = {"Group Progress:", "Article Progress:", "Lines Decoded:"};
    for (int i = 0; i < 3; ++i) {
        ui.bars[i] = Bar(window);
        ui.barTexts[i] =
            new CStaticText(20, 1, Qt::AlignCenter, CStaticText::Ampersands::Literal, window);
    }
    for (int i = 0; i < 2; ++i) {
        progress->addWidget(Caption(barCaptions[i], window), i, 0);
        progress->addWidget(ui.bars[i], i, 1);
        progress->addWidget(ui.barTexts[i], i, 2);
    }

    // The article being retrieved.
    auto* current = new QGroupBox(QStringLiteral("Current Article"), window);
    auto* currentGrid = new QGridLayout(current);
    ui.subject = new CStaticText(48, 2, Qt::AlignLeft | Qt::AlignTop,
                                 CStaticText::Ampersands::Mnemonic, current);
    ui.savingTo = new CStaticText(48, 1, Qt::AlignLeft | Qt::AlignVCenter,
                                  CStaticText::Ampersands::Mnemonic, current);
    ui.from = new CStaticText(48, 1, Qt::AlignLeft | Qt::AlignVCenter,
                              CStaticText::Ampersands::Mnemonic, current);
    currentGrid->addWidget(Caption(barCaptions[2], current), 0, 0);
    currentGrid->addWidget(ui.bars[2], 0, 1);
    currentGrid->addWidget(ui.barTexts[2], 0, 2);
    auto* subjectCaption = Caption(QStringLiteral("Subject:"), current);
    subjectCaption->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    currentGrid->addWidget(subjectCaption, 1, 0);
    currentGrid->addWidget(ui.subject, 1, 1, 1, 2);
    currentGrid->addWidget(Caption(QStringLiteral("Saving To:"), current), 2, 0);
    currentGrid->addWidget(ui.savingTo, 2, 1, 1, 2);
    currentGrid->addWidget(Caption(QStringLiteral("From:"), current), 3, 0);
    currentGrid->addWidget(ui.from, 3, 1, 1, 2);

    auto* left = new QVBoxLayout;
    left->addLayout(progress);
    left->addWidget(current);

    // The commands.
    ui.go = Button(QStringLiteral("&Go"), window);
    ui.pause = Button(QStringLiteral("&Pause"), window);
    ui.pause->setCheckable(true);
    ui.stop = Button(QStringLiteral("S&top"), window);
    ui.catchUp = Button(QStringLiteral("C&atch-up"), window);
    ui.groups = Button(QStringLiteral("G&roups..."), window);
    ui.setup = Button(QStringLiteral("S&etup..."), window);
    ui.pending = Button(QStringLiteral("Pe&nding..."), window);
    ui.pending->setEnabled(false);  // the worker enables it while it retrieves a group's files
    ui.close = Button(QStringLiteral("&Close"), window);
    auto* commands = new QVBoxLayout;
    for (QPushButton* button : {ui.go, ui.pause, ui.stop, ui.catchUp}) {
        commands->addWidget(button);
    }
    commands->addSpacing(10);
    for (QPushButton* button : {ui.groups, ui.setup, ui.pending}) {
        commands->addWidget(button);
    }
    commands->addStretch(1);
    commands->addWidget(ui.close);

    auto* top = new QHBoxLayout;
    top->addLayout(left, 1);
    top->addLayout(commands);

    // Counters and rates of the pass.
    auto* cumulative = new QGroupBox(QStringLiteral("Cumulative Status"), window);
    auto* counts = new QGridLayout(cumulative);
    ui.scanned = CountField(cumulative);
    ui.saved = CountField(cumulative);
    ui.bytes = CountField(cumulative);
    ui.rates[ng::BytesPerSec] = CountField(cumulative);
    ui.rates[ng::BinaryBytesPerSec] = CountField(cumulative);
    ui.historySkipped = CountField(cumulative);
    ui.crosspostsSkipped = CountField(cumulative);
    const std::pair<const char*, CStaticText*> rows[] = {
        {"Articles Scanned:", ui.scanned},
        {"Articles Saved:", ui.saved},
        {"Bytes Transferred:", ui.bytes},
        {"Bytes/Sec:", ui.rates[ng::BytesPerSec]},
        {"Binary Bytes/Sec:", ui.rates[ng::BinaryBytesPerSec]},
        {"History Files Skipped:", ui.historySkipped},
        {"Crossposts Skipped:", ui.crosspostsSkipped},
    };
    int row = 0;
    for (const auto& [caption, field] : rows) {
        counts->addWidget(Caption(caption, cumulative), row, 0);
        counts->addWidget(field, row, 1);
        ++row;
    }

    // The worker's priority.
    ui.priorityFrame = new QGroupBox(QStringLiteral("Pr&iority"), window);
    auto* priority = new QHBoxLayout(ui.priorityFrame);
    ui.slider = new QSlider(Qt::Horizontal, ui.priorityFrame);
    ui.slider->setRange(1, 5);
    ui.slider->setPageStep(1);
    ui.slider->setTickInterval(1);
    ui.slider->setTickPosition(QSlider::TicksBelow);
    ui.set = Button(QStringLiteral("&Set"), ui.priorityFrame);
    priority->addWidget(Caption(QStringLiteral("Low"), ui.priorityFrame));
    priority->addWidget(ui.slider, 1);
    priority->addWidget(Caption(QStringLiteral("High"), ui.priorityFrame));
    priority->addSpacing(8);
    priority->addWidget(ui.set);

    auto* middleLeft = new QVBoxLayout;
    middleLeft->addWidget(cumulative);
    middleLeft->addWidget(ui.priorityFrame);

    // The thumbnail, in a frame captioned with the picture's name.
    auto* thumbnailBox = new QGroupBox(QStringLiteral("Thumbnail"), window);
    auto* thumbnailLayout = new QVBoxLayout(thumbnailBox);
    ui.thumbnailFrame = new QGroupBox(thumbnailBox);
    ui.thumbnailFrame->setObjectName(QStringLiteral("thumbnailFrame"));
    auto* frameLayout = new QVBoxLayout(ui.thumbnailFrame);
    ui.thumbnail = new CImvb(CImvb::Fit::ScaleToView, ui.thumbnailFrame);
    ui.thumbnail->setFixedSize(kThumbnailWidth, kThumbnailHeight);
    frameLayout->addWidget(ui.thumbnail);
    QSizePolicy keepRoom = ui.thumbnailFrame->sizePolicy();
    keepRoom.setRetainSizeWhenHidden(true);  // hiding it must not reshape the window
    ui.thumbnailFrame->setSizePolicy(keepRoom);
    ui.show = Button(QStringLiteral("S&how"), thumbnailBox);
    ui.show->setCheckable(true);
    ui.fullSize = Button(QStringLiteral("&Full Size"), thumbnailBox);
    ui.deleteFile = Button(QStringLiteral("&Delete File"), thumbnailBox);
    auto* thumbnailButtons = new QHBoxLayout;
    thumbnailButtons->addWidget(ui.show);
    thumbnailButtons->addWidget(ui.fullSize);
    thumbnailButtons->addWidget(ui.deleteFile);
    thumbnailLayout->addWidget(ui.thumbnailFrame);
    thumbnailLayout->addLayout(thumbnailButtons);

    auto* middle = new QHBoxLayout;
    middle->addLayout(middleLeft, 1);
    middle->addWidget(thumbnailBox);

    // The status line, its progress bar and the elapsed time.
    ui.status = new CStaticText(60, 1, Qt::AlignLeft | Qt::AlignVCenter,
                                CStaticText::Ampersands::Literal, window);
    ui.status->setText(QStringLiteral("  Ready..."));
    ui.statusBar = Bar(window);
    ui.statusBar->setMinimumWidth(0);
    ui.statusBar->setFixedWidth(110);
    ui.elapsed = new CStaticText(9, 1, Qt::AlignCenter, CStaticText::Ampersands::Literal, window);
    ui.about = new QPushButton(QStringLiteral("?"), window);
    ui.about->setAutoDefault(false);
    ui.about->setToolTip(QStringLiteral("About Newsgleaner..."));
    ui.about->setFixedWidth(ui.about->sizeHint().height());
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(ui.status, 1);
    bottom->addWidget(ui.statusBar);
    bottom->addWidget(ui.elapsed);
    bottom->addWidget(ui.about);

    auto* layout = new QVBoxLayout(window);
    layout->addLayout(top);
    layout->addLayout(middle);
    layout->addLayout(bottom);

    // The commands, then the thumbnail's buttons before the priority.
    ng::ui::ChainTabOrder({ui.go, ui.pause, ui.stop, ui.catchUp, ui.groups, ui.setup, ui.pending,
                           ui.close, ui.show, ui.fullSize, ui.deleteFile, ui.slider, ui.set,
                           ui.about});

    // The window's own menu stands in for the system menu's About entry.
    ui.aboutAction = new QAction(QStringLiteral("&About Newsgleaner..."), window);
    window->addAction(ui.aboutAction);
    window->setContextMenuPolicy(Qt::ActionsContextMenu);
    return ui;
}
