// Window placement kept in a section of the settings file (position, size, maximised).
#include "windows/Placement.h"

#include "core/IniFile.h"
#include "core/Settings.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWMAXIMIZED = 3;

QRect DockedBar;

std::string Rect4(int a, int b, int c, int d) {
    return std::to_string(a) + "," + std::to_string(b) + "," + std::to_string(c) + "," +
           std::to_string(d);
}

} // namespace

bool LoadPlacement(QWidget* window, const std::string& section) {
    const TIniFile ini(SettingsFileName());
    if (ini.ReadInteger(section, "FormVersion", -1) < 0)
        return false;
    // Wide enough for any number a hand-edited file may hold; the window's own limits
    // apply after.
    long long left, top, right, bottom;
    const std::string norm = ini.ReadString(section, "NormPos", "");
    if (std::sscanf(norm.c_str(), "%lld,%lld,%lld,%lld", &left, &top, &right, &bottom) != 4 ||
        right <= left || bottom <= top)
        return false;
    long long width = right - left, height = bottom - top;
    // Sizes are stored at the resolution they were taken at.
    const int storedDpi = ini.ReadInteger(section, "PixelsPerInch", 0);
    const int dpi = window->logicalDpiY();
    if (storedDpi > 0 && dpi > 0 && storedDpi != dpi) {
        width = std::min(width, QWIDGETSIZE_MAX * 1LL) * dpi / storedDpi;
        height = std::min(height, QWIDGETSIZE_MAX * 1LL) * dpi / storedDpi;
    }
    auto bounded = [](long long value, long long low, long long high) {
        return static_cast<int>(std::clamp(value, low, high));
    };
    window->setGeometry(bounded(left, -QWIDGETSIZE_MAX, QWIDGETSIZE_MAX),
                        bounded(top, -QWIDGETSIZE_MAX, QWIDGETSIZE_MAX),
                        bounded(width, 1, QWIDGETSIZE_MAX), bounded(height, 1, QWIDGETSIZE_MAX));
    // A placement taken on a screen that is gone, or with another resolution.
    KeepOnScreen(window);
    if (ini.ReadInteger(section, "ShowCmd", SW_SHOWNORMAL) == SW_SHOWMAXIMIZED)
        window->setWindowState(window->windowState() | Qt::WindowMaximized);
    return true;
}

void SavePlacement(const QWidget* window, const std::string& section) {
    const QRect normal = window->isMaximized() ? window->normalGeometry() : window->geometry();
    Settings().SetWindowPlacement(
        section,
        {{"FormVersion", "0"},
         {"Flags", "0"},
         {"ShowCmd", std::to_string(window->isMaximized() ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL)},
         {"PixelsPerInch", std::to_string(window->logicalDpiY())},
         {"MinMaxPos", Rect4(-1, -1, -1, -1)},
         {"NormPos", Rect4(normal.left(), normal.top(), normal.left() + normal.width(),
                           normal.top() + normal.height())}});
}

QRect FitIntoArea(const QRect& rect, const QRect& area) {
    const int width = std::min(rect.width(), area.width());
    const int height = std::min(rect.height(), area.height());
    const int left = std::clamp(rect.left(), area.left(), area.left() + area.width() - width);
    const int top = std::clamp(rect.top(), area.top(), area.top() + area.height() - height);
    return QRect(left, top, width, height);
}

void SetDockedBarRect(const QRect& rect) {
    DockedBar = rect;
}

QRect AvailableArea(const QScreen* screen) {
    QRect area = screen->availableGeometry();
    if (!DockedBar.intersects(area))
        return area;
    // The bar spans the screen's width at its top or bottom: the side it stands on is cut.
    if (DockedBar.center().y() < area.center().y())
        area.setTop(std::min(DockedBar.bottom() + 1, area.bottom()));
    else
        area.setBottom(std::max(DockedBar.top() - 1, area.top()));
    return area;
}

namespace {

void FitFrame(QWidget* window);

// The window manager frames and places the window after it is shown, and the program
// learns where only from the events that follow: for a short while each of them brings the
// window in once more.
class TFrameWatch : public QObject {
  public:
    explicit TFrameWatch(QWidget* window) : QObject(window), FWindow(window) {
        setObjectName("FrameWatch");
        FClock.start();
        window->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (watched != FWindow)
            return false;
        const QEvent::Type type = e->type();
        if (type == QEvent::Hide || FClock.elapsed() > WatchMs) {
            FWindow->removeEventFilter(this);
            deleteLater();
        } else if (type == QEvent::Move || type == QEvent::Resize || type == QEvent::Paint ||
                   type == QEvent::WindowActivate)
            FitFrame(FWindow);
        return false;
    }

  private:
    static constexpr int WatchMs = 2000;
    QWidget* FWindow;
    QElapsedTimer FClock;
};

void WatchForFrame(QWidget* window) {
    if (window->windowFlags() & Qt::FramelessWindowHint ||
        window->findChild<TFrameWatch*>("FrameWatch", Qt::FindDirectChildrenOnly))
        return;
    new TFrameWatch(window);
}

// A window of fixed size larger than the area gives way: squeezed is better than cut off.
void AllowSize(QWidget* window, const QSize& size) {
    if (window->minimumWidth() <= size.width() && window->minimumHeight() <= size.height())
        return;
    const bool fixed = window->minimumSize() == window->maximumSize();
    window->setMinimumSize(window->minimumSize().boundedTo(size));
    if (fixed)
        window->setMaximumSize(window->maximumSize().boundedTo(size));
}

} // namespace

void KeepOnScreen(QWidget* window) {
    WatchForFrame(window);
    FitFrame(window);
}

namespace {

void FitFrame(QWidget* window) {
    const QRect frame = window->frameGeometry();
    QScreen* screen = QGuiApplication::screenAt(frame.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect fitted = FitIntoArea(frame, AvailableArea(screen));
    if (fitted == frame)
        return;
    // The frame's decorations stay as they are; only the client area moves and shrinks.
    const QRect client = window->geometry();
    const QSize size(std::max(1, client.width() - (frame.width() - fitted.width())),
                     std::max(1, client.height() - (frame.height() - fitted.height())));
    AllowSize(window, size);
    window->resize(size);
    // A top-level's position is its frame's: the window manager keeps the frame there.
    window->move(fitted.topLeft());
}

} // namespace

void PullIntoScreenOrigin(QWidget* window) {
    const QRect frame = window->frameGeometry();
    if (frame.left() < 0 || frame.top() < 0)
        window->move(std::max(0, frame.left()), std::max(0, frame.top()));
}

void CentreOnScreen(QWidget* window) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(AvailableArea(screen).center());
    window->move(frame.topLeft());
    KeepOnScreen(window);
}
