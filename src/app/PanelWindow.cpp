#include "app/PanelWindow.h"

#include "state/MenuBarViewModel.h"
#include "ui/MenuBarContentView.h"
#include "ui/WindowPlacement.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

namespace {

constexpr int reopenGuardMs = 300;

Qt::WindowFlags flagsFor(PanelWindow::Mode mode) {
    switch (mode) {
    case PanelWindow::Mode::popup:
        return Qt::Popup | Qt::FramelessWindowHint;
    case PanelWindow::Mode::tool:
        return Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;
    case PanelWindow::Mode::window:
        break;
    }
    return Qt::Window;
}

} // namespace

PanelWindow::PanelWindow(MenuBarViewModel &model, Mode mode, QWidget *parent)
    : QWidget(parent, flagsFor(mode)), m_model(model), m_mode(mode) {
    // Never shown on a frameless panel; it names the window for accessibility tools (and
    // for the end-to-end test that looks for it).
    setWindowTitle(QStringLiteral("TesselMenu 面板"));
    // The click outside that folds the popup away is not passed on: on the tray icon it would
    // open the panel again at once.
    setAttribute(Qt::WA_NoMouseReplay);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(new MenuBarContentView(model));
}

void PanelWindow::showAt(const QRect &anchor) {
    adjustSize();
    const QScreen *screen = QGuiApplication::screenAt(anchor.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen)
        move(panelOrigin(anchor, size(), screen->availableGeometry()));
    show();
    raise();
    activateWindow();
}

bool PanelWindow::justHidden() const {
    return m_hiddenAt.isValid() && m_hiddenAt.elapsed() < reopenGuardMs;
}

bool PanelWindow::event(QEvent *event) {
    // A tool window has no grab: it folds away when another window takes the focus.
    if (m_mode == Mode::tool && event->type() == QEvent::WindowDeactivate && isVisible())
        hide();
    return QWidget::event(event);
}

void PanelWindow::hideEvent(QHideEvent *event) {
    m_hiddenAt.start();
    QWidget::hideEvent(event);
}

void PanelWindow::closeEvent(QCloseEvent *event) {
    // Without a tray the window is the utility: closing it quits, as the quit button does.
    if (m_mode == Mode::window) {
        event->ignore();
        m_model.quit();
        return;
    }
    QWidget::closeEvent(event);
}
