#include "app/TrayShell.h"

#include "app/DesktopSession.h"
#include "app/LayerShell.h"
#include "app/LimitsSection.h"
#include "app/TrayAvailability.h"
#include "state/LimitTexts.h"
#include "state/MenuBarViewModel.h"
#include "ui/DesktopScreens.h"
#include "ui/Icons.h"
#include "ui/ModelObserver.h"
#include "ui/PanelMenu.h"
#include "ui/TrayFace.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

namespace {

// Wayland cannot place or grab a parentless popup, and on Xwayland an X grab misses clicks on
// Wayland windows, so in a Wayland session the panel is a tool window on either platform.
PanelWindow::Mode trayPanelMode() {
    return inWaylandSession() ? PanelWindow::Mode::tool : PanelWindow::Mode::popup;
}

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
    m_trayMenu->insertSeparator(first);
    // Queued, so the tray menu has folded away before the panel opens its own popup.
    connect(open, &QAction::triggered, this,
            [this] { QTimer::singleShot(0, this, [this] { showPanel(); }); });
    // The pointer is at the icon when its menu opens; by the time "打开面板" is chosen it
    // has moved down the menu.
    connect(m_trayMenu.get(), &QMenu::aboutToShow, this, [this] { noteActivation(); });
    m_limits = new LimitsSection(m_model, *m_trayMenu);

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
}

std::optional<PanelPlacement> TrayShell::placement() const {
    TrayHints hints;
    if (m_tray && !m_tray->geometry().isEmpty())
        hints.iconGeometry = m_tray->geometry();
    hints.activationPoint = m_activationPoint;
    const QList<ScreenArea> screens = desktopScreenAreas();
    const std::optional<ScreenArea> primary = primaryScreenArea();
    return placePanel(hints, screens, primary);
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
    if (m_layerShell && primary)
        m_panel->showInLayer(*m_layerShell, trayCorner(areaOf(*primary)));
    else if (const std::optional<PanelPlacement> place = placement())
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
