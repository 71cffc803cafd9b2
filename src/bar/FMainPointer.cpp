// The bar under the pointer: hot element, the drop-down button and the error button.
#include "bar/FMain.h"

#include "bar/USkin.h"
#include "store/MessageStore.h"

#include <QMouseEvent>

void TfrmMain::mouseMoveEvent(QMouseEvent* e) {
    MouseX = e->position().toPoint().x();
    MouseY = e->position().toPoint().y();
    update();
}

void TfrmMain::leaveEvent(QEvent*) {
    MouseX = MouseY = -1;
    update();
}

void TfrmMain::mousePressEvent(QMouseEvent*) {
    MouseDown = true;
    update();
}

void TfrmMain::mouseReleaseEvent(QMouseEvent* e) {
    MouseX = e->position().toPoint().x();
    MouseY = e->position().toPoint().y();
    const bool left = e->button() == Qt::LeftButton;
    // The element under the pointer now, not as last painted.
    const int hot =
        Skin && Skin->Height > 0 ? LayoutBar(BarMetrics(*Skin), BarState()).HotItem : HotNone;
    if (!rect().contains(e->position().toPoint())) {
        MouseX = -1;
    } else if (hot == HotDropdown) {
        ToggleList();
    } else if (hot == HotErrorButton && left) {
        Store.ShowTasks(1);
    }
    MouseDown = false;
    update();
}
