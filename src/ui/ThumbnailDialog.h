#pragma once
// The full-size picture window: titled with the picture's path, placed at
// the top-left corner of the screen and sized to the picture as far as the
// screen allows. It has no buttons; it is closed from its title bar.

#include <QDialog>
#include <string>

#include "engine/ThumbnailRules.h"

class CImvb;

class CThumbnailDialog : public QDialog {
    Q_OBJECT

public:
    explicit CThumbnailDialog(const std::string& fileName, QWidget* parent = nullptr);

    CImvb* ImageView() const { return m_pImage; }
    ng::FullSizeRoom Room() const { return m_room; }

private:
    CImvb* m_pImage;
    ng::FullSizeRoom m_room;
};
