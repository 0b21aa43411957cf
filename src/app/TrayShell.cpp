#include "app/TrayShell.h"

#include "app/LimitsSection.h"
#include "state/DisplayFormatting.h"
#include "state/LimitTexts.h"
#include "state/MenuBarViewModel.h"
#include "ui/Icons.h"
#include "ui/ModelObserver.h"
#include "ui/PanelMenu.h"

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
    m_limits = new LimitsSection(model, *m_trayMenu);

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
}

// The tray icon goes before the menu it refers to.
TrayShell::~TrayShell() {
    delete m_tray;
}

void TrayShell::reread() {
    const QString title = m_model.menuTitle();
    if (!m_tray) {
        m_panel->setWindowTitle(title);
        return;
    }
    m_limits->reread();
    QString tip = title;
    if (const auto highest =
            highestLimitLine(m_model.limitWindows(), QDateTime::currentDateTimeUtc()))
        tip += QLatin1Char('\n') + *highest;
    m_tray->setToolTip(tip);
    // Redrawn only when the figure changes, not on every tick of the countdown.
    const QString figure =
        m_model.todayTokens() != 0 ? compactTokenString(m_model.todayTokens()) : QString();
    if (figure != m_shownFigure) {
        m_shownFigure = figure;
        m_tray->setIcon(trayIcon(figure));
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
