#include "app/LayerShell.h"

#include "app/DesktopSession.h"

#include "qwayland-wlr-layer-shell-unstable-v1.h"

#include <QApplication>
#include <QPointer>
#include <QWaylandClientExtensionTemplate>
#include <QWidget>
#include <QWindow>
#include <qpa/qplatformnativeinterface.h>

#include <wayland-client.h>

namespace {

constexpr int protocolVersion = 4;
constexpr int onDemandSince = 4;
constexpr int maxRoundTrips = 5;

class LayerShellGlobal : public QWaylandClientExtensionTemplate<LayerShellGlobal>,
                         public QtWayland::zwlr_layer_shell_v1 {
public:
    LayerShellGlobal() : QWaylandClientExtensionTemplate(protocolVersion) {
        // Binds now: the registry's globals are known once the platform is up.
        initialize();
    }
    ~LayerShellGlobal() override {
        if (isInitialized() && QtWayland::zwlr_layer_shell_v1::version() >= 3)
            destroy();
    }
};

class LayerSurface : public QtWayland::zwlr_layer_surface_v1 {
public:
    explicit LayerSurface(struct ::zwlr_layer_surface_v1 *object)
        : QtWayland::zwlr_layer_surface_v1(object) {}
    ~LayerSurface() override { destroy(); }

    bool configured = false;
    bool closed = false;

    QSize configuredSize;

protected:
    void zwlr_layer_surface_v1_configure(uint32_t serial, uint32_t width,
                                         uint32_t height) override {
        ack_configure(serial);
        configured = true;
        configuredSize = QSize(int(width), int(height));
    }
    void zwlr_layer_surface_v1_closed() override { closed = true; }
};

bool isTop(TrayCorner corner) {
    return corner == TrayCorner::topLeft || corner == TrayCorner::topRight;
}

bool isLeft(TrayCorner corner) {
    return corner == TrayCorner::topLeft || corner == TrayCorner::bottomLeft;
}

// Drops tooltips for widgets in adopted windows.
class TooltipFilter : public QObject {
public:
    QList<QPointer<QWidget>> windows;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() != QEvent::ToolTip || !watched->isWidgetType())
            return false;
        QWidget *window = static_cast<QWidget *>(watched)->window();
        return windows.contains(window);
    }
};

uint32_t anchorsOf(TrayCorner corner) {
    using Surface = QtWayland::zwlr_layer_surface_v1;
    switch (corner) {
    case TrayCorner::topLeft:
        return Surface::anchor_top | Surface::anchor_left;
    case TrayCorner::topRight:
        return Surface::anchor_top | Surface::anchor_right;
    case TrayCorner::bottomLeft:
        return Surface::anchor_bottom | Surface::anchor_left;
    case TrayCorner::bottomRight:
        break;
    }
    return Surface::anchor_bottom | Surface::anchor_right;
}

class WlrLayerShell : public LayerShell {
public:
    WlrLayerShell(std::unique_ptr<LayerShellGlobal> global, wl_display *display)
        : m_global(std::move(global)), m_display(display) {}

    void adopt(QWidget &window) override {
        window.setWindowFlag(Qt::BypassWindowManagerHint);
        if (m_tooltips.windows.isEmpty())
            qApp->installEventFilter(&m_tooltips);
        m_tooltips.windows << &window;
    }

    void show(QWidget &window, const LayerPlacement &placement, QWidget *cover) override {
        window.adjustSize();
        m_popup.reset();
        m_surface.reset();
        m_cover.reset();
        // The cover lies under the panel on the same layer, and compositors disagree on which of
        // two surfaces there comes out on top: KWin the newer, wlroots (sway) the older.
        const bool newerAbove = layersStackNewerAbove();
        if (cover && newerAbove)
            showCover(*cover);
        const int vertical = placement.verticalMargin;
        const int horizontal = placement.horizontalMargin;
        m_surface =
            makeSurface(window, QtWayland::zwlr_layer_shell_v1::layer_top, [&](LayerSurface &role) {
                role.set_anchor(anchorsOf(placement.corner));
                role.set_margin(vertical, horizontal, vertical, horizontal);
                role.set_keyboard_interactivity(keyboardOnDemand());
                role.set_size(uint32_t(window.width()), uint32_t(window.height()));
            });
        m_corner = placement.corner;
        m_vertical = vertical;
        m_horizontal = horizontal;
        m_size = window.size();
        window.show();
        if (cover && !newerAbove)
            showCover(*cover);
        window.activateWindow();
    }

    void placePopup(QWidget &popup, const QPoint &pos) override {
        if (!m_surface)
            return;
        popup.setWindowFlag(Qt::BypassWindowManagerHint);
        popup.adjustSize();
        // Measured from the corner's two edges, like the window it belongs to.
        const QSize size = popup.size();
        const int vertical =
            std::max(0, isTop(m_corner) ? m_vertical + pos.y()
                                        : m_vertical + m_size.height() - pos.y() - size.height());
        const int horizontal =
            std::max(0, isLeft(m_corner) ? m_horizontal + pos.x()
                                         : m_horizontal + m_size.width() - pos.x() - size.width());
        m_popup.reset();
        // On the layer above, so that it covers the window it belongs to.
        m_popup = makeSurface(popup, QtWayland::zwlr_layer_shell_v1::layer_overlay,
                              [&](LayerSurface &role) {
                                  role.set_anchor(anchorsOf(m_corner));
                                  role.set_margin(vertical, horizontal, vertical, horizontal);
                                  role.set_keyboard_interactivity(keyboardOnDemand());
                                  role.set_size(uint32_t(size.width()), uint32_t(size.height()));
                              });
    }

    void resize(QWidget &window) override {
        if (!m_surface)
            return;
        m_size = window.size();
        m_surface->set_size(uint32_t(m_size.width()), uint32_t(m_size.height()));
        if (wl_surface *surface = surfaceOf(window))
            wl_surface_commit(surface);
    }

    void hidden() override {
        m_popup.reset();
        m_surface.reset();
        m_cover.reset();
    }

private:
    // The whole output, the bars' room included, on the panel's layer, over everything but the
    // panel; it takes no keys.
    void showCover(QWidget &cover) {
        m_cover =
            makeSurface(cover, QtWayland::zwlr_layer_shell_v1::layer_top, [](LayerSurface &role) {
                using Surface = QtWayland::zwlr_layer_surface_v1;
                role.set_anchor(Surface::anchor_top | Surface::anchor_bottom |
                                Surface::anchor_left | Surface::anchor_right);
                role.set_exclusive_zone(-1);
                role.set_keyboard_interactivity(Surface::keyboard_interactivity_none);
                role.set_size(0, 0);
            });
        if (!m_cover || m_cover->configuredSize.isEmpty()) {
            m_cover.reset();
            return;
        }
        cover.resize(m_cover->configuredSize);
        cover.show();
    }

    uint32_t keyboardOnDemand() const {
        return m_global->QtWayland::zwlr_layer_shell_v1::version() >= onDemandSince
                   ? QtWayland::zwlr_layer_surface_v1::keyboard_interactivity_on_demand
                   : QtWayland::zwlr_layer_surface_v1::keyboard_interactivity_exclusive;
    }

    // Gives `window`'s surface the layer role on `layer`, set up by `configure` (anchors,
    // margins, size), and waits for the compositor's first configure: Qt attaches the first
    // buffer as the window is shown, and that may only follow it. Null where the window has no
    // surface.
    template <typename Configure>
    std::unique_ptr<LayerSurface> makeSurface(QWidget &window, uint32_t layer,
                                              const Configure &configure) {
        wl_surface *surface = surfaceOf(window);
        if (!surface && window.windowHandle()) {
            // Qt drops the Wayland surface when the window hides and makes the next one as it
            // shows it again, too late to give it a role first. A new platform window makes
            // its surface at once, as on the first show.
            window.windowHandle()->destroy();
            window.windowHandle()->create();
            surface = surfaceOf(window);
        }
        if (!surface)
            return nullptr;
        auto role = std::make_unique<LayerSurface>(m_global->get_layer_surface(
            surface, nullptr, layer, QStringLiteral("tesselmenu-panel")));
        configure(*role);
        wl_surface_commit(surface);
        // The configure answers the commit, so it has come after a round trip or two; a
        // compositor that never sends it must not freeze the utility.
        for (int trip = 0; trip < maxRoundTrips && !role->configured && !role->closed; ++trip) {
            if (wl_display_roundtrip(m_display) < 0)
                break;
        }
        return role;
    }

    static wl_surface *surfaceOf(QWidget &window) {
        window.winId();
        QWindow *handle = window.windowHandle();
        QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
        if (!handle || !native)
            return nullptr;
        return static_cast<wl_surface *>(
            native->nativeResourceForWindow(QByteArrayLiteral("surface"), handle));
    }

    TooltipFilter m_tooltips;
    std::unique_ptr<LayerShellGlobal> m_global;
    wl_display *m_display;
    std::unique_ptr<LayerSurface> m_surface;
    std::unique_ptr<LayerSurface> m_popup;
    std::unique_ptr<LayerSurface> m_cover;
    TrayCorner m_corner = TrayCorner::topRight;
    int m_vertical = 0;
    int m_horizontal = 0;
    QSize m_size;
};

} // namespace

void LayerShell::prepareProcess() {
    // Qt then gives no shell role to windows flagged to bypass the window manager; the
    // layer shell gives the panel its role instead.
    qputenv("QT_WAYLAND_USE_BYPASSWINDOWMANAGERHINT", "1");
}

std::unique_ptr<LayerShell> LayerShell::create() {
    if (!QGuiApplication::platformName().startsWith(QStringLiteral("wayland")))
        return nullptr;
    QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
    auto *display = native ? static_cast<wl_display *>(native->nativeResourceForIntegration(
                                 QByteArrayLiteral("wl_display")))
                           : nullptr;
    if (!display)
        return nullptr;
    auto global = std::make_unique<LayerShellGlobal>();
    if (!global->isActive())
        return nullptr;
    return std::make_unique<WlrLayerShell>(std::move(global), display);
}
