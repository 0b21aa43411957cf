#include "app/TrayShell.h"

#include "app/BreakdownSection.h"
#include "app/DesktopSession.h"
#include "app/LayerShell.h"
#include "app/LimitsSection.h"
#include "app/TrayActivation.h"
#include "app/TrayAvailability.h"
#include "state/LimitTexts.h"
#include "state/MenuBarViewModel.h"
#include "ui/DesktopScreens.h"
#include "ui/Icons.h"
#include "ui/MenuBarContentView.h"
#include "ui/ModelObserver.h"
#include "ui/PanelMenu.h"
#include "ui/TrayFace.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

namespace {

// Wayland cannot place or grab a parentless window, and on Xwayland an X grab misses clicks
// on Wayland windows, so in a Wayland session the panel is a tool window on either platform.
PanelWindow::Mode trayPanelMode() {
    return inWaylandSession() ? PanelWindow::Mode::tool : PanelWindow::Mode::grabbing;
}

// The panel's distance from the bar in a layer shell, as beside a tray icon.
constexpr int layerMargin = 4;

} // namespace

TrayShell::TrayShell(MenuBarViewModel &model, QObject *parent) : QObject(parent), m_model(model) {
    m_observer = new ModelObserver(
        model, [this] { reread(); }, this);
    if (TrayAvailability::trayPresent()) {
        createTray();
        return;
    }
    createWindow();
    // A tray host that comes up later (the panel of a session still starting) takes the icon.
    auto *availability = new TrayAvailability(TrayAvailability::trayPresent, this);
    connect(availability, &TrayAvailability::trayAppeared, this, [this] {
        m_panel.reset();
        createTray();
    });
    availability->watch();
}

void TrayShell::createWindow() {
    m_panel = std::make_unique<PanelWindow>(m_model, PanelWindow::Mode::window);
    // With no tray menu, the limits go at the top of the window's own menu.
    m_panel->content().setMenuExtender([this](QMenu &menu) { new LimitsSection(m_model, menu); });
    reread();
    // At the tray's corner, like the panel, so the settings window (centred) leaves it clear.
    if (const std::optional<PanelPlacement> place = placement())
        m_panel->move(place->origin(m_panel->sizeHint()));
    m_panel->show();
    m_model.start();
}

void TrayShell::createTray() {
    m_panel = std::make_unique<PanelWindow>(m_model, trayPanelMode());
    m_layerShell = LayerShell::create();
    if (m_layerShell)
        m_panel->useLayerShell(*m_layerShell);
    m_trayMenu = std::make_unique<PanelMenu>(m_model);
    QAction *first = m_trayMenu->actions().constFirst();
    auto *open = new QAction(QStringLiteral("打开面板"), m_trayMenu.get());
    m_trayMenu->insertAction(first, open);
    QAction *belowOpen = m_trayMenu->insertSeparator(first);
    new BreakdownSection(m_model, *m_trayMenu, belowOpen);
    // Queued, so the tray menu has folded away before the panel opens its own popup.
    connect(open, &QAction::triggered, this,
            [this] { QTimer::singleShot(0, this, [this] { showPanel(); }); });
    // The pointer is at the icon when its menu opens; by the time "打开面板" is chosen it
    // has moved down the menu.
    connect(m_trayMenu.get(), &QMenu::aboutToShow, this, [this] { noteActivation(); });
    // Under "打开面板": on GNOME a left click opens this menu, so opening the panel must be
    // the first thing in it, whatever the limits add.
    m_limits = new LimitsSection(m_model, *m_trayMenu, first);

    m_tray = new QSystemTrayIcon(this);
    m_tray->setContextMenu(m_trayMenu.get());
    connect(m_tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                noteActivation();
                if (reason == QSystemTrayIcon::Trigger)
                    togglePanel();
            });
    m_shownFace.reset();
    reread();
    m_tray->show();
    // The host's click position, where it passes one: the panel then opens at the icon on
    // Wayland too, where the pointer's position is not known.
    m_activation = TrayActivation::attach();
    if (m_activation)
        connect(m_activation.get(), &TrayActivation::activatedAt, this,
                [this](QPoint point) { m_hostPoint = point; });
    // The figure in the tray is the point of the utility: it must not wait for the panel.
    m_model.start();
}

// The tray icon goes before the menu it refers to.
TrayShell::~TrayShell() {
    delete m_tray;
}

void TrayShell::reread() {
    if (!m_tray) {
        m_panel->setWindowTitle(m_model.menuTitle());
        return;
    }
    m_limits->reread();
    // The most used limit window joins the title and the error.
    QString tip = trayToolTip(m_model);
    if (const auto highest =
            highestLimitLine(m_model.limitWindows(), QDateTime::currentDateTimeUtc()))
        tip += QLatin1Char('\n') + *highest;
    m_tray->setToolTip(tip);
    // Redrawn only when the icon's face changes, not on every change of the state object.
    const TrayIconFace face = trayIconFace(m_model);
    if (face != m_shownFace) {
        m_shownFace = face;
        m_tray->setIcon(trayIcon(face.figure, face.warning));
    }
}

void TrayShell::noteActivation() {
    if (!inWaylandSession())
        m_activationPoint = QCursor::pos();
    // The host's point is the icon's own, and stays the best guess for later openings.
    if (m_hostPoint)
        m_activationPoint = m_hostPoint;
}

std::optional<PanelPlacement> TrayShell::placement() const {
    TrayHints hints;
    if (m_tray && !m_tray->geometry().isEmpty())
        hints.iconGeometry = m_tray->geometry();
    hints.activationPoint = m_activationPoint;
    return placePanel(hints, desktopScreenAreas(), primaryScreenArea(), defaultTrayCorner());
}

void TrayShell::showPanel() {
    if (m_panel->mode() == PanelWindow::Mode::window) {
        m_panel->showNormal();
        m_panel->raise();
        m_panel->activateWindow();
        return;
    }
    if (m_panel->isVisible())
        return;
    const QScreen *primary = QGuiApplication::primaryScreen();
    if (m_layerShell && primary) {
        m_panel->adjustSize();
        m_panel->showInLayer(
            *m_layerShell, layerPlacement(m_activationPoint, desktopScreenAreas(),
                                          trayCorner(areaOf(*primary), defaultTrayCorner()),
                                          m_panel->width(), layerMargin, layerAreaExcludesBars()));
    } else if (const std::optional<PanelPlacement> place = placement())
        m_panel->showAt(*place);
    else
        m_panel->show();
}

void TrayShell::hidePanel() {
    if (m_panel->mode() != PanelWindow::Mode::window)
        m_panel->hide();
}

void TrayShell::togglePanel() {
    if (m_panel->isVisible())
        hidePanel();
    else if (!m_panel->justHidden())
        showPanel();
}
