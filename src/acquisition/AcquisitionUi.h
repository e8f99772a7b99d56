#pragma once

#include "display/SaverTimer.h"

#include <QLabel>
#include <QWidget>

// Small null-tolerant helpers for the window controls the download pass writes. "Visible"
// is the control's own setting, whether or not the window is on screen.
namespace nimbuscope::ui {

inline void show(QWidget* w) {
    if (w != nullptr) {
        w->show();
    }
}

inline void hide(QWidget* w) {
    if (w != nullptr) {
        w->hide();
    }
}

inline bool visible(const QWidget* w) {
    return w != nullptr && !w->isHidden();
}

inline void redraw(QWidget* w) {
    if (w != nullptr) {
        w->repaint();
    }
}

inline void setCaption(QLabel* label, const QString& text) {
    if (label != nullptr) {
        label->setText(text);
    }
}

inline void setEnabled(SaverTimer* timer, bool enabled) {
    if (timer != nullptr) {
        timer->setEnabled(enabled);
    }
}

} // namespace nimbuscope::ui
