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
    FDock->Stick = false;
    FDock->SlideBar(true);
    QWidget::enterEvent(e);
}

void TfrmMain::mouseMoveEvent(QMouseEvent* e) {
    const QPoint pos = e->position().toPoint();
    if (FDock->Dragging()) {
        FDock->DragTo(e->globalPosition().toPoint(), pos, e->modifiers() & Qt::ControlModifier);
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
    SetHint(HotItem >= HotFirstMessage ? FStore.Hint(HotItem - HotFirstMessage) : "");
    ShowHint(e->globalPosition().toPoint());
    update();
}

void TfrmMain::ShowHint(const QPoint& globalPos) {
    if (FHint.empty()) {
        QToolTip::hideText();
        return;
    }
    if (FHint == FLastHint)
        return;
    QToolTip::showText(globalPos, ScreenText(FHint).replace("\r\n", "\n"), this);
    FLastHint = FHint;
}

void TfrmMain::leaveEvent(QEvent*) {
    MouseX = MouseY = -1;
    update();
    RestartScrollDelay();
}

void TfrmMain::mousePressEvent(QMouseEvent* e) {
    const int grip = e->button() == Qt::LeftButton ? GripAt(e->position().toPoint().x()) : 0;
    if (grip != 0) {
        FDock->BeginDrag(grip, e->globalPosition().toPoint(), e->position().toPoint());
        return;
    }
    MouseDown = true;
    update();
}

void TfrmMain::mouseReleaseEvent(QMouseEvent* e) {
    if (FDock->Dragging()) {
        FDock->EndDrag();
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
    const int count = static_cast<int>(FStore.Entries().size());
    switch (hot) {
    case HotMenuButton:
        FMenus->PopupMainMenu();
        break;
    case HotErrorButton:
        if (left)
            FStore.ShowTasks(1);
        break;
    case HotLeftArrow:
        if (left) {
            int k = std::min(FirstVisible, count) - 1;
            while (k >= 0 && FStore.Entries()[k].Read)
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
            FDock->Stick = true;
            FStore.Reader().Open(FStore.Entries()[hot - HotFirstMessage].Id);
            FDock->Stick = false;
        } else {
            FMenus->PopupEntryMenu(FStore.Entries()[hot - HotFirstMessage].Id, globalPos);
        }
        break;
    }
}
