#include "app/X11Input.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <qpa/qplatformnativeinterface.h>

#include <xcb/xcb.h>

#include <array>
#include <cstring>
#include <memory>

namespace {

xcb_connection_t *x11Connection() {
    if (QGuiApplication::platformName() != QStringLiteral("xcb"))
        return nullptr;
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

template <typename Reply> using Owned = std::unique_ptr<Reply, decltype(&free)>;

xcb_atom_t atom(xcb_connection_t *connection, const char *name) {
    const Owned<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, uint16_t(strlen(name)), name), nullptr),
        &free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

} // namespace

void keepOutOfTaskbar(QWidget &window) {
    xcb_connection_t *connection = x11Connection();
    if (!connection)
        return;
    const auto id = xcb_window_t(window.winId());
    // Qt adds its own states to these when it maps the window.
    const std::array<xcb_atom_t, 2> states{atom(connection, "_NET_WM_STATE_SKIP_TASKBAR"),
                                           atom(connection, "_NET_WM_STATE_SKIP_PAGER")};
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, atom(connection, "_NET_WM_STATE"),
                        XCB_ATOM_ATOM, 32, uint32_t(states.size()), states.data());
    xcb_flush(connection);
}

bool grabInput(QWidget &window) {
    xcb_connection_t *connection = x11Connection();
    if (!connection)
        return false;
    const auto id = xcb_window_t(window.winId());
    constexpr uint16_t events = XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE |
                                XCB_EVENT_MASK_POINTER_MOTION | XCB_EVENT_MASK_ENTER_WINDOW |
                                XCB_EVENT_MASK_LEAVE_WINDOW;
    // Events over the utility's own windows arrive as usual; all others at this window.
    const Owned<xcb_grab_pointer_reply_t> pointer(
        xcb_grab_pointer_reply(connection,
                               xcb_grab_pointer(connection, 1, id, events, XCB_GRAB_MODE_ASYNC,
                                                XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE,
                                                XCB_CURRENT_TIME),
                               nullptr),
        &free);
    const Owned<xcb_grab_keyboard_reply_t> keyboard(
        xcb_grab_keyboard_reply(connection,
                                xcb_grab_keyboard(connection, 1, id, XCB_CURRENT_TIME,
                                                  XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                                nullptr),
        &free);
    return pointer && pointer->status == XCB_GRAB_STATUS_SUCCESS && keyboard &&
           keyboard->status == XCB_GRAB_STATUS_SUCCESS;
}

void releaseInput() {
    xcb_connection_t *connection = x11Connection();
    if (!connection)
        return;
    xcb_ungrab_pointer(connection, XCB_CURRENT_TIME);
    xcb_ungrab_keyboard(connection, XCB_CURRENT_TIME);
    xcb_flush(connection);
}

void noteUserActionNow(QWidget &window) {
    if (!x11Connection() || !window.screen())
        return;
    QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
    if (!native)
        return;
    QScreen *screen = window.screen();
    // The server's present time, read by Qt through a property change on a window of its own.
    const auto now = xcb_timestamp_t(
        reinterpret_cast<quintptr>(native->nativeResourceForScreen("gettimestamp", screen)));
    // Qt hands its setters out under a generic type; void (*)() is the neutral one between.
    using SetTime = void (*)(QScreen *, xcb_timestamp_t);
    const auto setter = [native](const QByteArray &name) {
        return reinterpret_cast<SetTime>(
            reinterpret_cast<void (*)()>(native->nativeResourceFunctionForScreen(name)));
    };
    const SetTime setTime = setter("setapptime");
    const SetTime setUserTime = setter("setappusertime");
    if (now == 0 || !setTime || !setUserTime)
        return;
    setTime(screen, now);
    setUserTime(screen, now);
}

void askForTitleBarVariant(QWidget &window, bool dark) {
    xcb_connection_t *connection = x11Connection();
    if (!connection)
        return;
    const auto id = xcb_window_t(window.winId());
    const xcb_atom_t variant = atom(connection, "_GTK_THEME_VARIANT");
    if (dark) {
        const char value[] = "dark";
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, variant,
                            atom(connection, "UTF8_STRING"), 8, uint32_t(strlen(value)), value);
    } else {
        xcb_delete_property(connection, id, variant);
    }
    xcb_flush(connection);
}
