#pragma once
// Tab order set from a list: Tab visits the widgets in the order given,
// whatever order they were made in.

#include <QWidget>
#include <initializer_list>

namespace ng::ui {

inline void ChainTabOrder(std::initializer_list<QWidget*> widgets) {
    QWidget* previous = nullptr;
    for (QWidget* widget : widgets) {
        if (previous) {
            QWidget::setTabOrder(previous, widget);
        }
        previous = widget;
    }
}

}  // namespace ng::ui
