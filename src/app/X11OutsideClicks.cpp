#include "app/X11OutsideClicks.h"

#include "ui/PanelPlacement.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace {

constexpr int releaseLimitMs = 1000;

xcb_connection_t *x11Connection() {
    if (QGuiApplication::platformName() != QStringLiteral("xcb"))
        return nullptr;
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

// The server's first screen: Xwayland has only the one.
xcb_screen_t *firstScreen(xcb_connection_t *connection) {
    const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    return screens.rem ? screens.data : nullptr;
}

// A true-colour visual with an alpha channel: windows of it are see-through where nothing is
// drawn, which is all of them here.
std::optional<xcb_visualid_t> translucentVisual(xcb_screen_t *screen) {
    for (xcb_depth_iterator_t depths = xcb_screen_allowed_depths_iterator(screen); depths.rem;
         xcb_depth_next(&depths)) {
        if (depths.data->depth != 32)
            continue;
        for (xcb_visualtype_iterator_t visuals = xcb_depth_visuals_iterator(depths.data);
             visuals.rem; xcb_visualtype_next(&visuals)) {
            if (visuals.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR)
                return visuals.data->visual_id;
        }
    }
    return std::nullopt;
}

} // namespace

std::unique_ptr<X11OutsideClicks> X11OutsideClicks::create() {
    xcb_connection_t *connection = x11Connection();
    xcb_screen_t *screen = connection ? firstScreen(connection) : nullptr;
    const std::optional<xcb_visualid_t> visual = screen ? translucentVisual(screen) : std::nullopt;
    if (!visual)
        return nullptr;
    const xcb_colormap_t colormap = xcb_generate_id(connection);
    xcb_create_colormap(connection, XCB_COLORMAP_ALLOC_NONE, colormap, screen->root, *visual);
    std::array<uint32_t, 4> windows{};
    // In the order of the value mask's bits: background and border fully transparent, left
    // alone by the window manager, told of button presses and releases.
    const std::array<uint32_t, 5> values{
        0, 0, 1, XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE, colormap};
    const char name[] = "TesselMenu outside the panel";
    for (uint32_t &window : windows) {
        window = xcb_generate_id(connection);
        xcb_create_window(connection, 32, window, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, *visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_BORDER_PIXEL | XCB_CW_OVERRIDE_REDIRECT |
                              XCB_CW_EVENT_MASK | XCB_CW_COLORMAP,
                          values.data());
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME,
                            XCB_ATOM_STRING, 8, uint32_t(std::strlen(name)), name);
    }
    // The windows keep the colormap alive.
    xcb_free_colormap(connection, colormap);
    xcb_flush(connection);
    return std::unique_ptr<X11OutsideClicks>(new X11OutsideClicks(windows));
}

X11OutsideClicks::X11OutsideClicks(std::array<uint32_t, 4> windows) : m_windows(windows) {
    m_releaseLimit.setSingleShot(true);
    m_releaseLimit.setInterval(releaseLimitMs);
    connect(&m_releaseLimit, &QTimer::timeout, this, [this] {
        m_buttonDown = false;
        if (!m_covering)
            unmap();
    });
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11OutsideClicks::~X11OutsideClicks() {
    QCoreApplication::instance()->removeNativeEventFilter(this);
    if (xcb_connection_t *connection = x11Connection()) {
        for (const uint32_t window : m_windows)
            xcb_destroy_window(connection, window);
        xcb_flush(connection);
    }
}

void X11OutsideClicks::surround(QWidget &window) {
    xcb_connection_t *connection = x11Connection();
    if (!connection)
        return;
    const auto id = xcb_window_t(window.winId());
    m_surrounded = &window;
    m_surroundedId = id;
    using Geometry = std::unique_ptr<xcb_get_geometry_reply_t, decltype(&free)>;
    using Position = std::unique_ptr<xcb_translate_coordinates_reply_t, decltype(&free)>;
    const Geometry size(
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, id), nullptr), &free);
    if (!size)
        return;
    // The root's size now, not at connection time: screens come and go.
    const Geometry root(
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, size->root), nullptr),
        &free);
    const Position place(
        xcb_translate_coordinates_reply(
            connection, xcb_translate_coordinates(connection, id, size->root, 0, 0), nullptr),
        &free);
    if (!root || !place)
        return;
    const std::array<QRect, 4> strips =
        coverAround(QRect(place->dst_x, place->dst_y, size->width, size->height),
                    QRect(0, 0, root->width, root->height));
    for (size_t index = 0; index < strips.size(); ++index) {
        const QRect &strip = strips[index];
        const uint32_t window = m_windows[index];
        if (strip.isEmpty()) {
            xcb_unmap_window(connection, window);
            continue;
        }
        const std::array<uint32_t, 5> values{uint32_t(strip.x()), uint32_t(strip.y()),
                                             uint32_t(strip.width()), uint32_t(strip.height()),
                                             XCB_STACK_MODE_ABOVE};
        // Raised only as the cover goes up: later it must stay under the panel's menu and
        // tooltips, which come after it.
        uint16_t mask = XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                        XCB_CONFIG_WINDOW_HEIGHT;
        if (!m_covering)
            mask |= XCB_CONFIG_WINDOW_STACK_MODE;
        xcb_configure_window(connection, window, mask, values.data());
        xcb_map_window(connection, window);
    }
    xcb_flush(connection);
    m_covering = true;
}

void X11OutsideClicks::surroundAgain() {
    if (m_covering && m_surrounded && m_surrounded->isVisible())
        surround(*m_surrounded);
}

void X11OutsideClicks::withdraw() {
    m_covering = false;
    if (!m_buttonDown)
        unmap();
}

void X11OutsideClicks::unmap() {
    xcb_connection_t *connection = x11Connection();
    if (!connection)
        return;
    for (const uint32_t window : m_windows)
        xcb_unmap_window(connection, window);
    xcb_flush(connection);
}

bool X11OutsideClicks::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) {
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    const uint8_t type = event->response_type & 0x7f;
    // The window manager's answer to a move or resize, or its own placement: the cover follows
    // once Qt has seen the event too.
    if (type == XCB_CONFIGURE_NOTIFY) {
        const auto *configure = reinterpret_cast<const xcb_configure_notify_event_t *>(event);
        if (m_covering && configure->window == m_surroundedId)
            QMetaObject::invokeMethod(this, &X11OutsideClicks::surroundAgain, Qt::QueuedConnection);
        return false;
    }
    if (type != XCB_BUTTON_PRESS && type != XCB_BUTTON_RELEASE)
        return false;
    // Press and release share their layout.
    const auto *button = reinterpret_cast<const xcb_button_press_event_t *>(event);
    if (std::find(m_windows.begin(), m_windows.end(), button->event) == m_windows.end())
        return false;
    if (type == XCB_BUTTON_PRESS) {
        m_buttonDown = true;
        m_releaseLimit.start();
        emit clicked();
    } else {
        m_buttonDown = false;
        m_releaseLimit.stop();
        if (!m_covering)
            unmap();
    }
    return true;
}
