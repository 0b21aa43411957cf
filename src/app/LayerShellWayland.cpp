#include "app/LayerShell.h"

#include "qwayland-wlr-layer-shell-unstable-v1.h"

#include <QGuiApplication>
#include <QWaylandClientExtensionTemplate>
#include <QWidget>
#include <QWindow>
#include <qpa/qplatformnativeinterface.h>

#include <wayland-client.h>

namespace {

constexpr int protocolVersion = 4;
constexpr int onDemandSince = 4;

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

protected:
    void zwlr_layer_surface_v1_configure(uint32_t serial, uint32_t, uint32_t) override {
        ack_configure(serial);
        configured = true;
    }
    void zwlr_layer_surface_v1_closed() override { closed = true; }
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

    void adopt(QWidget &window) override { window.setWindowFlag(Qt::BypassWindowManagerHint); }

    void show(QWidget &window, TrayCorner corner, int margin) override {
        window.adjustSize();
        wl_surface *surface = surfaceOf(window);
        if (!surface && window.windowHandle()) {
            // Qt drops the Wayland surface when the window hides and makes the next one as it
            // shows it again, too late to give it a role first. A new platform window makes
            // its surface at once, as on the first show.
            window.windowHandle()->destroy();
            window.windowHandle()->create();
            surface = surfaceOf(window);
        }
        if (!surface) {
            window.show();
            return;
        }
        m_surface.reset();
        m_surface = std::make_unique<LayerSurface>(
            m_global->get_layer_surface(surface, nullptr, QtWayland::zwlr_layer_shell_v1::layer_top,
                                        QStringLiteral("tesselmenu-panel")));
        m_surface->set_anchor(anchorsOf(corner));
        m_surface->set_margin(margin, margin, margin, margin);
        const bool onDemand = m_global->QtWayland::zwlr_layer_shell_v1::version() >= onDemandSince;
        m_surface->set_keyboard_interactivity(
            onDemand ? QtWayland::zwlr_layer_surface_v1::keyboard_interactivity_on_demand
                     : QtWayland::zwlr_layer_surface_v1::keyboard_interactivity_exclusive);
        setSize(window);
        wl_surface_commit(surface);
        // The first buffer may only follow the compositor's first configure; Qt attaches
        // it when the window is shown, so wait for that configure here.
        while (!m_surface->configured && !m_surface->closed) {
            if (wl_display_roundtrip(m_display) < 0)
                break;
        }
        window.show();
        window.activateWindow();
    }

    void resize(QWidget &window) override {
        if (!m_surface)
            return;
        setSize(window);
        if (wl_surface *surface = surfaceOf(window))
            wl_surface_commit(surface);
    }

    void hidden() override { m_surface.reset(); }

private:
    static wl_surface *surfaceOf(QWidget &window) {
        window.winId();
        QWindow *handle = window.windowHandle();
        QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
        if (!handle || !native)
            return nullptr;
        return static_cast<wl_surface *>(
            native->nativeResourceForWindow(QByteArrayLiteral("surface"), handle));
    }

    void setSize(QWidget &window) {
        m_surface->set_size(uint32_t(window.width()), uint32_t(window.height()));
    }

    std::unique_ptr<LayerShellGlobal> m_global;
    wl_display *m_display;
    std::unique_ptr<LayerSurface> m_surface;
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
