#include "ui/SettingsWindow.h"

#include "ui/DesktopScreens.h"
#include "ui/SettingsView.h"
#include "ui/WindowPlacement.h"

#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QVBoxLayout>

SettingsWindow::SettingsWindow(MenuBarViewModel &model, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("设置"));
    setFixedSize(contentSize);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new SettingsView(model));
}

void SettingsWindow::centreOnCurrentScreen() {
    const QList<ScreenArea> screens = desktopScreenAreas();
    const std::optional<ScreenArea> primary = primaryScreenArea();
    // move() places the outer frame's corner.
    const QSize frame = frameGeometry().size();
    m_frameUnknown = frame == size();
    const std::optional<QPointF> origin =
        centredWindowOrigin(QPointF(QCursor::pos()), screens, primary, frame);
    if (!origin)
        return;
    m_placedAt = origin->toPoint();
    move(m_placedAt);
}

void SettingsWindow::moveEvent(QMoveEvent *event) {
    QWidget::moveEvent(event);
    if (!m_frameUnknown || !isVisible() || frameGeometry().size() == size())
        return;
    m_frameUnknown = false;
    // The frame has just appeared around the window where it was put (and nobody has moved
    // it since): centre it whole.
    if (frameGeometry().topLeft() == m_placedAt)
        centreOnCurrentScreen();
}

void SettingsWindow::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}
