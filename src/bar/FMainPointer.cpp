// The bar under the pointer: grips, the hot element, hints, and what a click does.
#include "bar/BarDock.h"
#include "bar/BarMenus.h"
#include "bar/FMain.h"

#include "skin/Skin.h"
#include "store/MessageStore.h"
#include "windows/ScreenText.h"

#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>
#include <QToolTip>

int TfrmMain::GripAt(int x) const {
    if (x < Skin().Arrows.MoveBarWidth)
        return -1;
    if (x > width() - Skin().Arrows.SizeBarWidth)
        return 1;
    return 0;
}

void TfrmMain::enterEvent(QEnterEvent* e) {
    // The pointer over the bar keeps it in view and takes back a reveal's stickiness.
    Dock->Stick = false;
    Dock->SlideBar(true);
    QWidget::enterEvent(e);
}

void TfrmMain::mouseMoveEvent(QMouseEvent* e) {
    const QPoint pos = e->position().toPoint();
    if (Dock->Dragging()) {
        Dock->DragTo(e->globalPosition().toPoint(), pos, e->modifiers() & Qt::ControlModifier);
        return;
    }
    // Scrolling stops while the pointer is over the bar.
    tmrScrollDelay->stop();
    tmrScroll->stop();
    const int grip = GripAt(pos.x());
    setCursor(grip < 0 ? Qt::SizeAllCursor : grip > 0 ? Qt::SizeHorCursor : Qt::ArrowCursor);
    if (grip) {
        MouseX = MouseY = -1;
    } else {
        MouseX = pos.x();
        MouseY = pos.y();
    }
    const TBarLayout layout = CurrentLayout();
    HotItem = layout.HotItem;
    SetHint(HotItem >= HotFirstMessage ? Store.Hint(HotItem - HotFirstMessage) : "");
    ShowHint(e->globalPosition().toPoint());
    update();
}

void TfrmMain::ShowHint(const QPoint& globalPos) {
    if (Hint.empty()) {
        QToolTip::hideText();
        return;
    }
    if (Hint == LastHint)
        return;
    QToolTip::showText(globalPos, ScreenText(Hint).replace("\r\n", "\n"), this);
    LastHint = Hint;
}

void TfrmMain::leaveEvent(QEvent*) {
    MouseX = MouseY = -1;
    update();
    RestartScrollDelay();
}

void TfrmMain::mousePressEvent(QMouseEvent* e) {
    const int grip = e->button() == Qt::LeftButton ? GripAt(e->position().toPoint().x()) : 0;
    if (grip != 0) {
        Dock->BeginDrag(grip, e->globalPosition().toPoint(), e->position().toPoint());
        return;
    }
    MouseDown = true;
    update();
}

void TfrmMain::mouseReleaseEvent(QMouseEvent* e) {
    if (Dock->Dragging()) {
        Dock->EndDrag();
        return;
    }
    const QPoint pos = e->position().toPoint();
    // A release outside the bar only clears the pointer state.
    if (!rect().contains(pos) || QApplication::widgetAt(e->globalPosition().toPoint()) != this) {
        MouseX = -1;
        MouseDown = false;
        update();
        return;
    }
    MouseX = pos.x();
    MouseY = pos.y();
    // The element under the pointer now, not as last painted.
    const int hot = CurrentLayout().HotItem;
    MouseDown = false;
    ButtonClick(hot, e->button(), e->globalPosition().toPoint());
    update();
}

void TfrmMain::ButtonClick(int hot, Qt::MouseButton button, const QPoint& globalPos) {
    const bool left = button == Qt::LeftButton;
    const int count = static_cast<int>(Store.Entries().size());
    switch (hot) {
    case HotMenuButton:
        Menus->PopupMainMenu();
        break;
    case HotErrorButton:
        if (left)
            Store.ShowTasks(1);
        break;
    case HotLeftArrow:
        if (left) {
            int k = std::min(FirstVisible, count) - 1;
            while (k >= 0 && Store.Entries()[k].Read)
                --k;
            if (k >= 0)
                FirstVisible = k;
        }
        break;
    case HotRightArrow:
        if (left)
            ++FirstVisible;
        break;
    case HotFirstArrow:
        if (left)
            FirstVisible = 0;
        break;
    case HotLastArrow:
        if (left)
            FirstVisible = std::max(0, count - 1);
        break;
    case HotDropdown:
        ToggleList();
        break;
    default:
        if (left && hot == HotNone && PromptRect(CurrentLayout()).contains(MouseX, MouseY)) {
            OpenOptions(true);
            break;
        }
        if (hot < HotFirstMessage || hot - HotFirstMessage >= count)
            break;
        if (left) {
            Dock->Stick = true;
            Store.Reader().Open(Store.Entries()[hot - HotFirstMessage].Id);
            Dock->Stick = false;
        } else {
            Menus->PopupEntryMenu(Store.Entries()[hot - HotFirstMessage].Id, globalPos);
        }
        break;
    }
}
