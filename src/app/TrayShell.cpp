#include "app/TrayShell.h"

#include "state/MenuBarViewModel.h"
#include "ui/Icons.h"
#include "ui/ModelObserver.h"
#include "ui/PanelMenu.h"
#include "ui/TrayFace.h"

#include <QCursor>
#include <QGuiApplication>
#include <QTimer>

namespace {

// Wayland cannot place or grab a parentless popup, so the panel is a tool window there.
PanelWindow::Mode trayPanelMode() {
    const QString platform = QGuiApplication::platformName();
    if (platform.startsWith(QStringLiteral("wayland")))
        return PanelWindow::Mode::tool;
    return PanelWindow::Mode::popup;
}

} // namespace

TrayShell::TrayShell(MenuBarViewModel &model, QObject *parent) : QObject(parent), m_model(model) {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        m_panel = std::make_unique<PanelWindow>(model, PanelWindow::Mode::window);
        m_observer = new ModelObserver(
            model, [this] { reread(); }, this);
        reread();
        m_panel->show();
        m_model.start();
        return;
    }

    m_panel = std::make_unique<PanelWindow>(model, trayPanelMode());
    m_trayMenu = std::make_unique<PanelMenu>(model);
    QAction *first = m_trayMenu->actions().constFirst();
    auto *open = new QAction(QStringLiteral("打开面板"), m_trayMenu.get());
    m_trayMenu->insertAction(first, open);
    m_trayMenu->insertSeparator(first);
    // Queued, so the tray menu has folded away before the panel opens its own popup.
    connect(open, &QAction::triggered, this,
            [this] { QTimer::singleShot(0, this, [this] { showPanel(); }); });

    m_tray = new QSystemTrayIcon(this);
    m_tray->setContextMenu(m_trayMenu.get());
    connect(m_tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    togglePanel();
            });
    m_observer = new ModelObserver(
        model, [this] { reread(); }, this);
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
    m_tray->setToolTip(trayToolTip(m_model));
    // Redrawn only when the icon's face changes, not on every change of the state object.
    const TrayIconFace face = trayIconFace(m_model);
    if (face != m_shownFace) {
        m_shownFace = face;
        m_tray->setIcon(trayIcon(face.figure, face.warning));
    }
}

QRect TrayShell::anchor() const {
    const QRect icon = m_tray ? m_tray->geometry() : QRect();
    if (icon.isValid() && !icon.isEmpty())
        return icon;
    return {QCursor::pos(), QSize(1, 1)};
}

void TrayShell::showPanel() {
    if (m_panel->mode() == PanelWindow::Mode::window) {
        m_panel->showNormal();
        m_panel->raise();
        m_panel->activateWindow();
        return;
    }
    if (!m_panel->isVisible())
        m_panel->showAt(anchor());
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
