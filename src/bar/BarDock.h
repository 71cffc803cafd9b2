// TBarDock: where the bar stands. Docked at the top or bottom of the desktop (optionally
// auto-hidden, sliding in and out) or floating, and the move and size loop between them.
#pragma once

#include "model/AppBarMath.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPoint>
#include <QRect>

#include <memory>

class QTimer;
class QWidget;
class TDockBackend;

class TBarDock : public QObject {
    Q_OBJECT
  public:
    // bar: the window placed; it outlives the dock (the dock is its child).
    explicit TBarDock(QWidget& bar, bool autoHide);
    ~TBarDock() override;

    // While Stick is set the bar does not hide itself.
    bool Stick = false;
    bool AutoHide = false;

    int Edge() const { return FEdge; }
    // Places the bar at edge (top, bottom or float) and tells the desktop.
    void SetEdge(int edge);
    // For an auto-hidden docked bar: slides it into view or to its hidden strip.
    void SlideBar(bool shown);
    bool Shown() const { return FShown; }
    bool Sliding() const { return FSliding; }
    TRect FloatRect() const { return FFloatRect; }

    // The bar was shown: the first time it takes its stored edge, then hides as it should.
    void BarShown(int storedEdge);
    // The bar has a new native window, which has lost the dock's properties.
    void NativeWindowChanged();
    // The options changed auto-hide or the skin (and so the bar's height).
    void ApplyAutoHide(bool autoHide, bool heightChanged);

    // The pointer loop on a grip: grip < 0 moves the bar, > 0 sizes it.
    void BeginDrag(int grip, const QPoint& globalPos, const QPoint& localPos);
    bool Dragging() const { return FDragging != 0; }
    void DragTo(const QPoint& globalPos, const QPoint& localPos, bool ctrl);
    void EndDrag();

    // Stores the edge and, for a floating bar, its place and width in the settings.
    void SavePlace();

  private:
    QWidget& FBar;
    int FEdge = abeFloat;
    bool FShown = true;
    bool FFullScreenApp = false;
    int FHorzDockSize = 0;
    TRect FFloatRect;
    std::unique_ptr<TDockBackend> FDock;
    QTimer* FAutoHideTimer;
    // The one slide that runs; a new slide replaces it and starts where the bar stands.
    QTimer* FSlideTimer = nullptr;
    QElapsedTimer FSlideClock;
    QRect FSlideFrom, FSlideTarget;
    bool FSliding = false;
    bool FPlaced = false;
    // The move or size loop: 0 none, -1 moving, 1 sizing.
    int FDragging = 0;
    int FDragEdge = abeUnknown;
    int FEdgeBefore = abeFloat;
    QPoint FDragOffset;

    void ApplyEdge();
    void SlideTo(const QRect& target);
    void tmrAutoHideTimer();
    // Runs the auto-hide timer only while it has a bar to hide.
    void UpdateAutoHideTimer();
    // Lets a full-screen window cover the bar, and keeps it above the others otherwise.
    void FullScreenChanged();
    void MoveStep(const QPoint& globalPos, bool ctrl);
    void EndMove();
    TRect ScreenRect() const;
    TRect WorkArea() const;
    QRect DockQRect(int edge) const;
};
