#include "app/PanelWindow.h"

#include "app/ClickCover.h"
#include "app/LayerShell.h"
#include "app/X11Input.h"
#include "app/X11OutsideClicks.h"
#include "state/MenuBarViewModel.h"
#include "ui/MenuBarContentView.h"
#include "ui/PanelMenu.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QMoveEvent>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int reopenGuardMs = 300;
constexpr int grabTries = 20;
constexpr int grabRetryMs = 50;
constexpr int focusSettleMs = 150;

Qt::WindowFlags flagsFor(PanelWindow::Mode mode) {
    switch (mode) {
    case PanelWindow::Mode::grabbing:
        // Left alone by the window manager: placed exactly, never in a taskbar.
        return Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
               Qt::X11BypassWindowManagerHint;
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
    setAccessibleName(windowTitle());
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    m_content = new MenuBarContentView(model);
    layout->addWidget(m_content);
    if (m_mode == Mode::grabbing) {
        // The panel's menu takes the input while it is open; the panel takes it back after.
        m_content->setMenuOpener([this](PanelMenu &menu, const QPoint &pos) {
            menu.exec(mapToGlobal(pos));
            if (isVisible())
                grabWhenShown(grabTries);
        });
    }
    if (m_mode == Mode::tool) {
        m_outside = X11OutsideClicks::create();
        if (m_outside)
            connect(m_outside.get(), &X11OutsideClicks::clicked, this,
                    &PanelWindow::clickedOutside);
    }
}

PanelWindow::~PanelWindow() = default;

void PanelWindow::clickedOutside() {
    // The panel's menu goes with it, whether or not its own grab saw the click.
    if (QWidget *popup = QApplication::activePopupWidget())
        popup->close();
    hide();
}

void PanelWindow::useLayerShell(LayerShell &layer) {
    layer.adopt(*this);
    m_cover = std::make_unique<ClickCover>();
    layer.adopt(*m_cover);
    connect(m_cover.get(), &ClickCover::pressed, this, &PanelWindow::clickedOutside);
    m_content->setMenuOpener([this](PanelMenu &menu, const QPoint &pos) {
        if (m_layer)
            m_layer->placePopup(menu, pos);
        menu.exec(mapToGlobal(pos));
    });
}

void PanelWindow::showAt(const PanelPlacement &placement) {
    adjustSize();
    m_placement = placement;
    m_layer = nullptr;
    move(placement.origin(size()));
    noteUserActionNow(*this);
    show();
    raise();
    activateWindow();
    if (m_mode == Mode::grabbing)
        grabWhenShown(grabTries);
    // The window manager may refuse the focus while the desktop's own menu that asked for the
    // panel is still folding away: ask once more when it has.
    if (m_mode == Mode::tool)
        QTimer::singleShot(focusSettleMs, this, [this] {
            if (isVisible() && !isActiveWindow()) {
                noteUserActionNow(*this);
                activateWindow();
            }
        });
}

void PanelWindow::grabWhenShown(int triesLeft) {
    if (!isVisible() || grabInput(*this) || triesLeft <= 1)
        return;
    QTimer::singleShot(grabRetryMs, this, [this, triesLeft] { grabWhenShown(triesLeft - 1); });
}

void PanelWindow::mousePressEvent(QMouseEvent *event) {
    // While the panel holds the input a click anywhere else arrives here: it folds the panel
    // away and goes no further, so a click on the tray icon does not open it again.
    if (m_mode == Mode::grabbing && !rect().contains(event->position().toPoint())) {
        hide();
        return;
    }
    QWidget::mousePressEvent(event);
}

void PanelWindow::showInLayer(LayerShell &layer, const LayerPlacement &placement) {
    m_placement.reset();
    m_layer = &layer;
    layer.show(*this, placement, m_cover.get());
    raise();
    activateWindow();
}

bool PanelWindow::justHidden() const {
    return m_hiddenAt.isValid() && m_hiddenAt.elapsed() < reopenGuardMs;
}

bool PanelWindow::event(QEvent *event) {
    // A tool window has no grab: it folds away when another window keeps the focus. Not at
    // once: the compositor takes the focus away and gives it back when a keyboard is added,
    // and its own menu taking the focus is no reason either.
    if (m_mode == Mode::tool && event->type() == QEvent::WindowDeactivate && isVisible()) {
        QTimer::singleShot(focusSettleMs, this, [this] {
            if (isVisible() && !isActiveWindow() && !QApplication::activePopupWidget())
                hide();
        });
    }
    return QWidget::event(event);
}

void PanelWindow::moveEvent(QMoveEvent *event) {
    QWidget::moveEvent(event);
    if (m_outside && isVisible())
        m_outside->surround(*this);
}

void PanelWindow::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    if (m_outside && isVisible())
        m_outside->surround(*this);
    // The first refresh changes the panel's height: the edge nearest the tray stays put.
    if (m_layer && isVisible())
        m_layer->resize(*this);
    else if (m_placement && m_mode != Mode::window)
        move(m_placement->origin(size()));
}

void PanelWindow::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Escape && m_mode != Mode::window) {
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PanelWindow::setVisible(bool visible) {
    // The layer surface goes before the window's own surface, as the protocol wants.
    if (!visible && m_layer && isVisible()) {
        m_layer->hidden();
        m_cover->hide();
    }
    if (!visible && m_mode == Mode::grabbing && isVisible())
        releaseInput();
    // Window managers drop the window's states each time it is hidden.
    if (visible && m_mode == Mode::tool && !isVisible() && !m_layer)
        keepOutOfTaskbar(*this);
    if (!visible && m_outside)
        m_outside->withdraw();
    QWidget::setVisible(visible);
    if (visible && m_outside)
        m_outside->surround(*this);
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
