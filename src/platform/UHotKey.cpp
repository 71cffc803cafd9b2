// The global hot key Windows+T: a key grab on the X11 root window; nothing elsewhere.
#include "platform/UHotKey.h"

#include <QGuiApplication>

#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <xcb/xcb.h>

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

} // namespace

THotKey::THotKey(QObject* parent) : QObject(parent) {}

THotKey::~THotKey() {
    Unregister();
}

bool THotKey::Register() {
    auto* x11 = X11();
    if (!x11 || Registered())
        return Registered();
    xcb_connection_t* connection = x11->connection();
    Display* display = x11->display();
    const xcb_window_t root = ScreenRoot(connection);
    const unsigned keyCode = display ? XKeysymToKeycode(display, XK_t) : 0;
    if (!connection || !root || !keyCode)
        return false;
    bool ok = true;
    for (uint16_t locks : LockMasks) {
        xcb_void_cookie_t cookie =
            xcb_grab_key_checked(connection, 1, root, XCB_MOD_MASK_4 | locks, keyCode,
                                 XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        if (xcb_generic_error_t* error = xcb_request_check(connection, cookie)) {
            free(error);
            ok = false;
        }
    }
    if (!ok) {
        for (uint16_t locks : LockMasks)
            xcb_ungrab_key(connection, keyCode, root, XCB_MOD_MASK_4 | locks);
        xcb_flush(connection);
        return false;
    }
    FKeyCode = keyCode;
    QCoreApplication::instance()->installNativeEventFilter(this);
    return true;
}

void THotKey::Unregister() {
    if (!Registered())
        return;
    if (auto* x11 = X11()) {
        xcb_connection_t* connection = x11->connection();
        const xcb_window_t root = ScreenRoot(connection);
        for (uint16_t locks : LockMasks)
            xcb_ungrab_key(connection, FKeyCode, root, XCB_MOD_MASK_4 | locks);
        xcb_flush(connection);
    }
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
    FKeyCode = 0;
}

bool THotKey::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t" || !Registered())
        return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    if ((event->response_type & ~0x80) != XCB_KEY_PRESS)
        return false;
    auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
    const uint16_t state = key->state & ~(XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2);
    if (key->detail != FKeyCode || state != XCB_MOD_MASK_4)
        return false;
    if (OnPressed)
        OnPressed();
    return true;
}
