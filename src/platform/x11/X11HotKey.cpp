// Hot key backend for X11: a key grab on the root window and a filter for its key presses.
#include "platform/HotKeyBackend.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QGuiApplication>

#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <xcb/xcb.h>

#include <cstdlib>

namespace {

// Super, alone and with the lock modifiers that X11 reports as part of the state.
constexpr uint16_t LockMasks[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                  XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};

QNativeInterface::QX11Application* X11() {
    return qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
}

xcb_window_t ScreenRoot(xcb_connection_t* connection) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    xcb_screen_iterator_t screen = xcb_setup_roots_iterator(setup);
    return screen.rem ? screen.data->root : 0;
}

class TX11HotKey : public THotKeyBackend, public QAbstractNativeEventFilter {
  public:
    explicit TX11HotKey(std::function<void()> onPressed) : FOnPressed(std::move(onPressed)) {}
    ~TX11HotKey() override { Ungrab(); }

    bool Grab() override {
        auto* x11 = X11();
        if (!x11 || FKeyCode)
            return FKeyCode != 0;
        xcb_connection_t* connection = x11->connection();
        Display* display = x11->display();
        if (!connection || !display)
            return false;
        const xcb_window_t root = ScreenRoot(connection);
        const unsigned keyCode = XKeysymToKeycode(display, XK_t);
        if (!root || !keyCode)
            return false;
        bool ok = true;
        for (uint16_t locks : LockMasks) {
            xcb_void_cookie_t cookie =
                xcb_grab_key_checked(connection, 1, root, XCB_MOD_MASK_4 | locks, keyCode,
                                     XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
            if (xcb_generic_error_t* error = xcb_request_check(connection, cookie)) {
                std::free(error);
                ok = false;
            }
        }
        if (!ok) {
            Release(connection, root, keyCode);
            return false;
        }
        FKeyCode = keyCode;
        QCoreApplication::instance()->installNativeEventFilter(this);
        return true;
    }

    void Ungrab() override {
        if (!FKeyCode)
            return;
        if (auto* x11 = X11(); x11 && x11->connection())
            Release(x11->connection(), ScreenRoot(x11->connection()), FKeyCode);
        if (QCoreApplication::instance())
            QCoreApplication::instance()->removeNativeEventFilter(this);
        FKeyCode = 0;
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t" || !FKeyCode)
            return false;
        auto* event = static_cast<xcb_generic_event_t*>(message);
        if ((event->response_type & ~0x80) != XCB_KEY_PRESS)
            return false;
        auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
        const uint16_t state = key->state & ~(XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2);
        if (key->detail != FKeyCode || state != XCB_MOD_MASK_4)
            return false;
        FOnPressed();
        return true;
    }

  private:
    static void Release(xcb_connection_t* connection, xcb_window_t root, unsigned keyCode) {
        for (uint16_t locks : LockMasks)
            xcb_ungrab_key(connection, keyCode, root, XCB_MOD_MASK_4 | locks);
        xcb_flush(connection);
    }

    std::function<void()> FOnPressed;
    unsigned FKeyCode = 0;
};

} // namespace

bool HotKeyBackendCanGrab() {
    return true;
}

std::unique_ptr<THotKeyBackend> CreateHotKeyBackend(std::function<void()> onPressed) {
    return std::make_unique<TX11HotKey>(std::move(onPressed));
}
