// The bar's place: docked at the top or bottom (auto-hidden or not) or floating, the
// slides in and out, and the move loop that switches between them.
#include "bar/BarDock.h"

#include "core/Settings.h"
#include "platform/DockBackend.h"
#include "windows/Placement.h"

#include <QApplication>
#include <QCursor>
#include <QScreen>
#include <QStyle>
#include <QStyleHints>
#include <QTimer>
#include <QWidget>

namespace {

constexpr int SlideTime = 400;   // ms of a slide, and the auto-hide timer's interval
constexpr int SlideFrameMs = 15; // ms between two frames of a slide

TRect ToRect(const QRect& r) {
    return {r.left(), r.top(), r.right() + 1, r.bottom() + 1};
}

QRect ToQRect(const TRect& r) {
    return QRect(r.Left, r.Top, r.Width(), r.Height());
}

} // namespace

TBarDock::TBarDock(QWidget& bar, bool autoHide)
    : QObject(&bar), AutoHide(autoHide), FBar(bar), FDock(CreateDockBackend()) {
    setObjectName("BarDock");
    FHorzDockSize = bar.height();
    FFloatRect = ToRect(bar.geometry());
    FAutoHideTimer = new QTimer(this);
    FAutoHideTimer->setInterval(SlideTime);
    connect(FAutoHideTimer, &QTimer::timeout, this, &TBarDock::tmrAutoHideTimer);
}

TBarDock::~TBarDock() {
    SetDockedBarRect({});
}

void TBarDock::BarShown(int storedEdge) {
    if (!FPlaced) {
        FPlaced = true;
        // A saved docked edge wins over leftover floating values.
        SetEdge(storedEdge);
    }
    if (FDock->CanDock()) {
        // Told by the desktop rather than asked on a timer: an idle bar does not wake up.
        FDock->WatchFullScreen([this] { FullScreenChanged(); });
        FullScreenChanged();
    }
    UpdateAutoHideTimer();
}

void TBarDock::UpdateAutoHideTimer() {
    // Only a shown auto-hidden bar waits for the pointer to leave.
    const bool needed = FDock->CanDock() && IsDockedEdge(FEdge) && AutoHide && FShown;
    if (!needed)
        FAutoHideTimer->stop();
    else if (!FAutoHideTimer->isActive())
        FAutoHideTimer->start();
}

void TBarDock::NativeWindowChanged() {
    if (IsDockedEdge(FEdge) && FBar.testAttribute(Qt::WA_WState_Created))
        QTimer::singleShot(0, this, &TBarDock::ApplyEdge);
}

void TBarDock::ApplyAutoHide(bool autoHide, bool heightChanged) {
    AutoHide = autoHide;
    // Switching auto-hide off shows the docked bar in its place at once.
    if (!AutoHide || heightChanged)
        SetEdge(FEdge);
    UpdateAutoHideTimer();
}

void TBarDock::BeginDrag(int grip, const QPoint& globalPos, const QPoint& localPos) {
    FDragging = grip < 0 ? -1 : 1;
    if (FDragging < 0) {
        FDragEdge = FEdge;
        FEdgeBefore = FEdge;
        FDragOffset = globalPos - FBar.pos();
    } else {
        FDragOffset = QPoint(FBar.width() - localPos.x(), 0);
    }
}

void TBarDock::DragTo(const QPoint& globalPos, const QPoint& localPos, bool ctrl) {
    if (FDragging < 0)
        MoveStep(globalPos, ctrl);
    else if (FDragging > 0)
        FBar.resize(std::max(FBar.minimumWidth(), localPos.x() + FDragOffset.x()), FBar.height());
}

void TBarDock::EndDrag() {
    const bool moving = FDragging < 0;
    FDragging = 0;
    if (moving)
        EndMove();
    else
        SavePlace();
}

TRect TBarDock::ScreenRect() const {
    const QScreen* s = FBar.screen() ? FBar.screen() : QGuiApplication::primaryScreen();
    return s ? ToRect(s->geometry()) : TRect{0, 0, FBar.width(), FBar.height()};
}

TRect TBarDock::WorkArea() const {
    const QScreen* s = FBar.screen() ? FBar.screen() : QGuiApplication::primaryScreen();
    if (!s)
        return ScreenRect();
    QRect area = s->availableGeometry();
    // The desktop's work area already leaves out our own strip; other docks keep theirs.
    if (!AutoHide && FEdge == abeTop && area.top() >= FBar.y() + FBar.height())
        area.setTop(FBar.y());
    else if (!AutoHide && FEdge == abeBottom && area.bottom() < FBar.y())
        area.setBottom(FBar.y() + FBar.height() - 1);
    return ToRect(area);
}

QRect TBarDock::DockQRect(int edge) const {
    return ToQRect(DockRect(edge, ScreenRect(), WorkArea(), AutoHide, FHorzDockSize, 0));
}

void TBarDock::SetEdge(int edge) {
    if (!FDock->CanDock() || (edge != abeTop && edge != abeBottom))
        edge = abeFloat;
    FEdge = edge;
    ApplyEdge();
    UpdateAutoHideTimer();
}

void TBarDock::ApplyEdge() {
    if (FEdge == abeFloat) {
        SetDockedBarRect({});
        FDock->Apply(&FBar, abeFloat, {}, false);
        FBar.setGeometry(ToQRect(FFloatRect));
    } else {
        QRect target = DockQRect(FEdge);
        // An auto-hidden bar slides over the windows instead of taking room from them.
        SetDockedBarRect(AutoHide ? QRect() : target);
        FDock->Apply(&FBar, FEdge, target, !AutoHide);
        if (AutoHide) {
            const TPoint place =
                AutoHidePosition(FEdge, FShown, ScreenRect(), target.width(), target.height());
            target.moveTopLeft(QPoint(place.X, place.Y));
        }
        SlideTo(target);
    }
    FDock->SetAbove(&FBar, !FFullScreenApp);
}

void TBarDock::SlideBar(bool shown) {
    if (Stick && !shown)
        return;
    FShown = true;
    if (IsDockedEdge(FEdge) && AutoHide) {
        FShown = shown;
        const TPoint place =
            AutoHidePosition(FEdge, shown, ScreenRect(), FBar.width(), FBar.height());
        SlideTo(QRect(QPoint(place.X, place.Y), FBar.size()));
    }
    UpdateAutoHideTimer();
}

void TBarDock::SlideTo(const QRect& target) {
    if (FSlideTimer)
        FSlideTimer->stop();
    FSliding = false;
    const QRect from = FBar.geometry();
    if (target == from || !FBar.isVisible()) {
        FBar.setGeometry(target);
        return;
    }
    // Frames from a timer: the bar keeps answering while it slides.
    if (!FSlideTimer) {
        FSlideTimer = new QTimer(this);
        FSlideTimer->setObjectName("tmrSlide");
        connect(FSlideTimer, &QTimer::timeout, this, [this] {
            const int elapsed = static_cast<int>(FSlideClock.elapsed());
            FBar.setGeometry(
                ToQRect(SlideFrame(ToRect(FSlideFrom), ToRect(FSlideTarget), elapsed, SlideTime)));
            FBar.repaint();
            if (elapsed >= SlideTime) {
                FSlideTimer->stop();
                FSliding = false;
            }
        });
    }
    FSlideFrom = from;
    FSlideTarget = target;
    FSlideClock.start();
    FSliding = true;
    FSlideTimer->start(SlideFrameMs);
}

void TBarDock::FullScreenChanged() {
    const bool fullScreen = FDock->FullScreenActive();
    if (fullScreen != FFullScreenApp) {
        FFullScreenApp = fullScreen;
        FDock->SetAbove(&FBar, !fullScreen);
    }
}

void TBarDock::tmrAutoHideTimer() {
    if (!IsDockedEdge(FEdge) || !AutoHide || FBar.isActiveWindow() || FDragging || FSliding)
        return;
    const int distance = 2 * QGuiApplication::styleHints()->mouseDoubleClickDistance();
    const QRect around = FBar.frameGeometry().adjusted(-distance, -distance, distance, distance);
    if (!around.contains(QCursor::pos()))
        SlideBar(false);
}

void TBarDock::MoveStep(const QPoint& globalPos, bool ctrl) {
    const unsigned flags = FDock->CanDock() ? TickerEdges : abfAllowFloat;
    const int scroll = FBar.style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int proposal = ProposeEdge(globalPos.x(), globalPos.y(), ctrl, flags, FEdge, ScreenRect(),
                                     WorkArea(), scroll, scroll);
    const QRect moving(globalPos - FDragOffset, FBar.size());
    const TRect dock = IsDockedEdge(proposal)
                           ? DockRect(proposal, ScreenRect(), WorkArea(), false, FBar.height(), 0)
                           : TRect{};
    const QRect rect = ToQRect(DragRect(proposal, FDragEdge, ToRect(moving), FFloatRect,
                                        globalPos.x(), globalPos.y(), dock));
    if (IsDockedEdge(FDragEdge) && proposal == abeFloat)
        FDragOffset = globalPos - rect.topLeft();
    FDragEdge = proposal;
    FBar.setGeometry(rect);
}

void TBarDock::EndMove() {
    const int proposal = FDragEdge;
    FDragEdge = abeUnknown;
    const TMoveEnd end = ::EndMove(proposal, FEdgeBefore, ToRect(FBar.geometry()), FFloatRect,
                                   WorkArea(), FHorzDockSize);
    FFloatRect = end.FloatRect;
    FHorzDockSize = end.HorzDockSize;
    SetEdge(proposal);
    SavePlace();
}

void TBarDock::SavePlace() {
    // A bar never shown keeps the stored place.
    if (!FBar.testAttribute(Qt::WA_WState_ExplicitShowHide))
        return;
    Settings().UpdateOptions([this](TOptions& place) {
        place.Edge = static_cast<uint8_t>(FEdge);
        if (FEdge == abeFloat) {
            place.Top = FBar.y();
            place.Left = FBar.x();
            place.Width = FBar.width();
        }
    });
}
