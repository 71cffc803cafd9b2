// The bar as a desktop bar: docked at the top or bottom, auto-hidden, or floating, and
// the move loop that switches between them.
#include "bar/FMain.h"

#include "platform/DockBackend.h"

#include <QApplication>
#include <QCursor>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QStyleHints>
#include <QTimer>

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

void TfrmMain::CreateAppBar() {
    FDock = CreateDockBackend();
    AutoHide = Settings().Options().AutoHide;
    FHorzDockSize = height();
    FFloatRect = ToRect(geometry());
    FAutoHideTimer = new QTimer(this);
    FAutoHideTimer->setInterval(SlideTime);
    connect(FAutoHideTimer, &QTimer::timeout, this, &TfrmMain::tmrAutoHideTimer);
}

void TfrmMain::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (e->spontaneous() || FSliding)
        return;
    if (!FPlaced) {
        FPlaced = true;
        // A saved docked edge wins over leftover floating values.
        SetEdge(Settings().Options().Edge);
    }
    if (FDock->CanDock())
        FAutoHideTimer->start();
    RestartScrollDelay();
}

TRect TfrmMain::ScreenRect() const {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    return s ? ToRect(s->geometry()) : TRect{0, 0, width(), height()};
}

TRect TfrmMain::WorkArea() const {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s)
        return ScreenRect();
    QRect area = s->availableGeometry();
    // The desktop's work area already leaves out our own strip; other docks keep theirs.
    if (!AutoHide && FEdge == abeTop && area.top() >= y() + height())
        area.setTop(y());
    else if (!AutoHide && FEdge == abeBottom && area.bottom() < y())
        area.setBottom(y() + height() - 1);
    return ToRect(area);
}

QRect TfrmMain::DockQRect(int edge) const {
    return ToQRect(DockRect(edge, ScreenRect(), WorkArea(), AutoHide, FHorzDockSize, 0));
}

void TfrmMain::SetEdge(int edge) {
    if (!FDock->CanDock() || (edge != abeTop && edge != abeBottom))
        edge = abeFloat;
    FEdge = edge;
    ApplyEdge();
}

void TfrmMain::ApplyEdge() {
    if (FEdge == abeFloat) {
        FDock->Apply(this, abeFloat, {}, false);
        setGeometry(ToQRect(FFloatRect));
    } else {
        QRect target = DockQRect(FEdge);
        FDock->Apply(this, FEdge, target, !AutoHide);
        if (AutoHide) {
            const TPoint place =
                AutoHidePosition(FEdge, FShown, ScreenRect(), target.width(), target.height());
            target.moveTopLeft(QPoint(place.X, place.Y));
        }
        SlideTo(target);
    }
    FDock->SetAbove(this, !FFullScreenApp);
}

void TfrmMain::SlideBar(bool shown) {
    if (Stick && !shown)
        return;
    FShown = true;
    if (!IsDockedEdge(FEdge) || !AutoHide)
        return;
    FShown = shown;
    const TPoint place = AutoHidePosition(FEdge, shown, ScreenRect(), width(), height());
    SlideTo(QRect(QPoint(place.X, place.Y), size()));
}

void TfrmMain::SlideTo(const QRect& target) {
    if (FSlideTimer)
        FSlideTimer->stop();
    FSliding = false;
    const QRect from = geometry();
    if (target == from || !isVisible()) {
        setGeometry(target);
        return;
    }
    // Frames from a timer: the bar keeps answering while it slides.
    if (!FSlideTimer) {
        FSlideTimer = new QTimer(this);
        FSlideTimer->setObjectName("tmrSlide");
        connect(FSlideTimer, &QTimer::timeout, this, [this] {
            const int elapsed = static_cast<int>(FSlideClock.elapsed());
            setGeometry(
                ToQRect(SlideFrame(ToRect(FSlideFrom), ToRect(FSlideTarget), elapsed, SlideTime)));
            repaint();
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

void TfrmMain::tmrAutoHideTimer() {
    const bool fullScreen = FDock->FullScreenActive();
    if (fullScreen != FFullScreenApp) {
        FFullScreenApp = fullScreen;
        FDock->SetAbove(this, !fullScreen);
    }
    if (!IsDockedEdge(FEdge) || !AutoHide || isActiveWindow() || FDragging || FSliding)
        return;
    const int distance = 2 * QGuiApplication::styleHints()->mouseDoubleClickDistance();
    const QRect around = frameGeometry().adjusted(-distance, -distance, distance, distance);
    if (!around.contains(QCursor::pos()))
        SlideBar(false);
}

void TfrmMain::BeginMove(const QPoint& globalPos) {
    FDragEdge = FEdge;
    FEdgeBefore = FEdge;
    FDragOffset = globalPos - pos();
}

void TfrmMain::MoveStep(const QPoint& globalPos, bool ctrl) {
    const unsigned flags = FDock->CanDock() ? TickerEdges : abfAllowFloat;
    const int scroll = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int proposal = ProposeEdge(globalPos.x(), globalPos.y(), ctrl, flags, FEdge, ScreenRect(),
                                     WorkArea(), scroll, scroll);
    const QRect moving(globalPos - FDragOffset, size());
    const TRect dock = IsDockedEdge(proposal)
                           ? DockRect(proposal, ScreenRect(), WorkArea(), false, height(), 0)
                           : TRect{};
    const QRect rect = ToQRect(DragRect(proposal, FDragEdge, ToRect(moving), FFloatRect,
                                        globalPos.x(), globalPos.y(), dock));
    if (IsDockedEdge(FDragEdge) && proposal == abeFloat)
        FDragOffset = globalPos - rect.topLeft();
    FDragEdge = proposal;
    setGeometry(rect);
}

void TfrmMain::EndMove() {
    const int proposal = FDragEdge;
    FDragEdge = abeUnknown;
    const TMoveEnd end =
        ::EndMove(proposal, FEdgeBefore, ToRect(geometry()), FFloatRect, WorkArea(), FHorzDockSize);
    FFloatRect = end.FloatRect;
    FHorzDockSize = end.HorzDockSize;
    SetEdge(proposal);
    SaveDockState();
}

void TfrmMain::SaveDockState() {
    // A bar never shown keeps the stored place.
    if (!testAttribute(Qt::WA_WState_ExplicitShowHide))
        return;
    Settings().UpdateOptions([this](TOptions& place) {
        place.Edge = static_cast<uint8_t>(FEdge);
        if (FEdge == abeFloat) {
            place.Top = y();
            place.Left = x();
            place.Width = width();
        }
    });
}

bool TfrmMain::event(QEvent* e) {
    switch (e->type()) {
    case QEvent::WinIdChange:
        // A new native window has lost the dock's properties.
        if (FDock && IsDockedEdge(FEdge) && testAttribute(Qt::WA_WState_Created))
            QTimer::singleShot(0, this, &TfrmMain::ApplyEdge);
        break;
    case QEvent::WindowDeactivate:
        SlideBar(false);
        break;
    default:
        break;
    }
    return QWidget::event(e);
}
