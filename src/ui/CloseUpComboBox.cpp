#include "ui/CloseUpComboBox.h"

CCloseUpComboBox::CCloseUpComboBox(QWidget* parent) : QComboBox(parent) {}

void CCloseUpComboBox::showPopup() {
    m_bPopupShown = true;
    QComboBox::showPopup();
}

void CCloseUpComboBox::hidePopup() {
    // Qt also calls this when the combo box is hidden; only a list that was
    // open can close up.
    bool wasShown = m_bPopupShown;
    m_bPopupShown = false;
    QComboBox::hidePopup();
    if (wasShown) {
        QMetaObject::invokeMethod(this, &CCloseUpComboBox::closedUp, Qt::QueuedConnection);
    }
}
