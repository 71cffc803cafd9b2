// Commands reached from a menu or a key act as a click on their button, and only while the
// button is enabled.
#pragma once

#include <QAbstractButton>

inline void ClickIfEnabled(QAbstractButton* button) {
    if (button->isEnabled())
        button->click();
}
