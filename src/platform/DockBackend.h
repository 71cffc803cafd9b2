// The windowing system's side of docking: a reserved strip of the desktop, the window
// type of a dock, staying above others, and full-screen windows.
#pragma once

#include <QRect>

#include <functional>
#include <memory>
#include <optional>

class QWidget;

class TDockBackend {
  public:
    virtual ~TDockBackend() = default;

    // Docked (top or bottom): a dock window reserving rect's height at that edge across
    // rect's width when reserve is set (an auto-hidden bar reserves nothing). Floating
    // (any other edge): an ordinary tool window without a reserved strip. rect is in
    // the window's own (device-independent) screen coordinates.
    virtual void Apply(QWidget* window, int edge, const QRect& rect, bool reserve) = 0;
    // Keeps the window above the others, or lets a full-screen window cover it.
    virtual void SetAbove(QWidget* window, bool above) = 0;
    // Whether the desktop's active window is full screen.
    virtual bool FullScreenActive() = 0;
    // From now on calls changed whenever the active window, or whether it is full screen,
    // may have changed, so that nobody has to ask FullScreenActive over and over.
    virtual void WatchFullScreen(std::function<void()> changed) = 0;
    // False where the desktop does not honour docks: the bar then only floats.
    virtual bool CanDock() const = 0;
    // Whether a window manager runs now that keeps a dock's strip clear of other windows.
    virtual bool StripKept() = 0;
};

// The backend this build was made with.
std::unique_ptr<TDockBackend> CreateDockBackend();

// Whether the status icon shows: as the user chose, else only where a docked bar would not
// keep its strip of the desktop (Wayland, no window manager, a build without X11).
bool TrayIconShown(const std::optional<bool>& choice);
