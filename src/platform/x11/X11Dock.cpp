// Docking on X11: the desktop's dock window type and reserved strut, kept above others.
#include "core/AppBarEdge.h"
#include "platform/DockBackend.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

// More than any window manager lists.
constexpr uint32_t SupportedAtoms = 4096;

class TX11Dock : public TDockBackend, public QAbstractNativeEventFilter {
  public:
    TX11Dock() {
        if (auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>())
            FConnection = x11->connection();
        if (FConnection)
            FRoot = xcb_setup_roots_iterator(xcb_get_setup(FConnection)).data->root;
    }
    ~TX11Dock() override {
        if (FChanged && QCoreApplication::instance())
            QCoreApplication::instance()->removeNativeEventFilter(this);
    }

    bool CanDock() const override { return FConnection != nullptr; }

    bool StripKept() override {
        if (!FConnection)
            return false;
        const xcb_atom_t check = Atom("_NET_SUPPORTING_WM_CHECK");
        const std::vector<uint32_t> manager = Property(FRoot, check, XCB_ATOM_WINDOW);
        // A window manager that ended leaves its root properties behind, but not its window.
        if (manager.empty() || Property(manager[0], check, XCB_ATOM_WINDOW) != manager)
            return false;
        const std::vector<uint32_t> supported =
            Property(FRoot, Atom("_NET_SUPPORTED"), XCB_ATOM_ATOM, SupportedAtoms);
        return std::ranges::find(supported, Atom("_NET_WM_STRUT_PARTIAL")) != supported.end() ||
               std::ranges::find(supported, Atom("_NET_WM_STRUT")) != supported.end();
    }

    void Apply(QWidget* window, int edge, const QRect& rect, bool reserve) override {
        if (!FConnection || !window)
            return;
        const bool docked = edge == abeTop || edge == abeBottom;
        const xcb_window_t id = static_cast<xcb_window_t>(window->winId());
        const xcb_atom_t type =
            Atom(docked ? "_NET_WM_WINDOW_TYPE_DOCK" : "_NET_WM_WINDOW_TYPE_UTILITY");
        if (type != FType.value(id)) {
            // Window managers read the type when a window is mapped.
            const bool visible = window->isVisible();
            if (visible)
                window->hide();
            xcb_change_property(FConnection, XCB_PROP_MODE_REPLACE, id, Atom("_NET_WM_WINDOW_TYPE"),
                                XCB_ATOM_ATOM, 32, 1, &type);
            FType.set(id, type);
            if (visible)
                window->show();
        }
        const xcb_atom_t partial = Atom("_NET_WM_STRUT_PARTIAL"), strut = Atom("_NET_WM_STRUT");
        if (docked && reserve) {
            const qreal ratio = window->devicePixelRatio();
            const auto px = [ratio](int value) { return static_cast<uint32_t>(value * ratio); };
            const int screenHeight =
                window->screen() ? window->screen()->geometry().bottom() + 1 : 0;
            uint32_t values[12] = {};
            if (edge == abeTop) {
                values[2] = px(rect.bottom() + 1);
                values[8] = px(rect.left());
                values[9] = px(rect.right() + 1) - 1;
            } else {
                values[3] = px(screenHeight - rect.top());
                values[10] = px(rect.left());
                values[11] = px(rect.right() + 1) - 1;
            }
            xcb_change_property(FConnection, XCB_PROP_MODE_REPLACE, id, partial, XCB_ATOM_CARDINAL,
                                32, 12, values);
            xcb_change_property(FConnection, XCB_PROP_MODE_REPLACE, id, strut, XCB_ATOM_CARDINAL,
                                32, 4, values);
        } else {
            xcb_delete_property(FConnection, id, partial);
            xcb_delete_property(FConnection, id, strut);
        }
        xcb_flush(FConnection);
    }

    void SetAbove(QWidget* window, bool above) override {
        if (!FConnection || !window || !window->isVisible())
            return;
        xcb_client_message_event_t event = {};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = static_cast<xcb_window_t>(window->winId());
        event.type = Atom("_NET_WM_STATE");
        event.data.data32[0] = above ? 1 : 0; // add or remove
        event.data.data32[1] = Atom("_NET_WM_STATE_ABOVE");
        event.data.data32[3] = 1; // from an application
        xcb_send_event(FConnection, 0, FRoot,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event));
        xcb_flush(FConnection);
    }

    bool FullScreenActive() override {
        if (!FConnection)
            return false;
        const std::vector<uint32_t> active =
            Property(FRoot, Atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW);
        if (active.empty() || active[0] == 0)
            return false;
        const xcb_atom_t fullScreen = Atom("_NET_WM_STATE_FULLSCREEN");
        for (uint32_t state : Property(active[0], Atom("_NET_WM_STATE"), XCB_ATOM_ATOM))
            if (state == fullScreen)
                return true;
        return false;
    }

    void WatchFullScreen(std::function<void()> changed) override {
        if (!FConnection)
            return;
        const bool first = !FChanged;
        FChanged = std::move(changed);
        if (!first)
            return;
        FActiveAtom = Atom("_NET_ACTIVE_WINDOW");
        FStateAtom = Atom("_NET_WM_STATE");
        const uint32_t rootMask = EventMask(FRoot) | XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(FConnection, FRoot, XCB_CW_EVENT_MASK, &rootMask);
        FollowActiveWindow();
        QCoreApplication::instance()->installNativeEventFilter(this);
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t" || !FChanged)
            return false;
        auto* event = static_cast<xcb_generic_event_t*>(message);
        if ((event->response_type & ~0x80) != XCB_PROPERTY_NOTIFY)
            return false;
        const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        if (notify->window == FRoot && notify->atom == FActiveAtom) {
            FollowActiveWindow();
            FChanged();
        } else if (notify->window == FActive && notify->atom == FStateAtom) {
            FChanged();
        }
        return false;
    }

  private:
    // The window type last set per window, so that a window is re-mapped only on a change.
    struct TTypes {
        xcb_window_t Window = 0;
        xcb_atom_t Type = 0;
        xcb_atom_t value(xcb_window_t window) const { return window == Window ? Type : 0; }
        void set(xcb_window_t window, xcb_atom_t type) {
            Window = window;
            Type = type;
        }
    };

    xcb_atom_t Atom(const char* name) {
        xcb_intern_atom_cookie_t cookie =
            xcb_intern_atom(FConnection, 0, static_cast<uint16_t>(std::string(name).size()), name);
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(FConnection, cookie, nullptr);
        const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return atom;
    }

    // Up to length values of a property; none when the window is gone.
    std::vector<uint32_t> Property(xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                                   uint32_t length = 64) {
        xcb_get_property_cookie_t cookie =
            xcb_get_property(FConnection, 0, window, property, type, 0, length);
        xcb_generic_error_t* error = nullptr;
        xcb_get_property_reply_t* reply = xcb_get_property_reply(FConnection, cookie, &error);
        std::free(error);
        std::vector<uint32_t> values;
        if (reply && reply->format == 32) {
            const auto* data = static_cast<const uint32_t*>(xcb_get_property_value(reply));
            values.assign(data, data + xcb_get_property_value_length(reply) / 4);
        }
        std::free(reply);
        return values;
    }

    // The events this client takes from window; 0 when the window is gone.
    uint32_t EventMask(xcb_window_t window) {
        xcb_generic_error_t* error = nullptr;
        xcb_get_window_attributes_reply_t* reply = xcb_get_window_attributes_reply(
            FConnection, xcb_get_window_attributes(FConnection, window), &error);
        const uint32_t mask = reply ? reply->your_event_mask : 0;
        std::free(reply);
        std::free(error);
        return mask;
    }

    // Another window's state changes reach this client only from the active window, and only
    // while it is active: the window before gets its events back as they were. A window that
    // is gone by then makes an error that nobody needs to see.
    void FollowActiveWindow() {
        const std::vector<uint32_t> active = Property(FRoot, FActiveAtom, XCB_ATOM_WINDOW);
        const xcb_window_t window = active.empty() ? 0 : active[0];
        if (window == FActive)
            return;
        if (FActive && FAddedEvents) {
            const xcb_void_cookie_t cookie = xcb_change_window_attributes_checked(
                FConnection, FActive, XCB_CW_EVENT_MASK, &FActiveMaskBefore);
            xcb_discard_reply(FConnection, cookie.sequence);
        }
        FActive = window;
        FAddedEvents = false;
        if (!FActive)
            return;
        FActiveMaskBefore = EventMask(FActive);
        // Our own windows take property events already.
        if (FActiveMaskBefore & XCB_EVENT_MASK_PROPERTY_CHANGE)
            return;
        const uint32_t mask = FActiveMaskBefore | XCB_EVENT_MASK_PROPERTY_CHANGE;
        const xcb_void_cookie_t cookie =
            xcb_change_window_attributes_checked(FConnection, FActive, XCB_CW_EVENT_MASK, &mask);
        xcb_discard_reply(FConnection, cookie.sequence);
        FAddedEvents = true;
        xcb_flush(FConnection);
    }

    xcb_connection_t* FConnection = nullptr;
    xcb_window_t FRoot = 0;
    TTypes FType;
    std::function<void()> FChanged;
    xcb_atom_t FActiveAtom = XCB_ATOM_NONE;
    xcb_atom_t FStateAtom = XCB_ATOM_NONE;
    xcb_window_t FActive = 0;       // the active window, whose state changes we follow
    uint32_t FActiveMaskBefore = 0; // its events for this client before we added ours
    bool FAddedEvents = false;
};

} // namespace

std::unique_ptr<TDockBackend> CreateDockBackend() {
    return std::make_unique<TX11Dock>();
}
