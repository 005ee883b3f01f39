#pragma once
// A combo box that tells when its drop-down list closes, whether or not an
// entry was picked. The notice is queued so that it comes after the combo box
// has taken the picked entry.

#include <QComboBox>

class CCloseUpComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit CCloseUpComboBox(QWidget* parent = nullptr);
    void showPopup() override;
    void hidePopup() override;

signals:
    void closedUp();

private:
    bool m_bPopupShown = false;
};
