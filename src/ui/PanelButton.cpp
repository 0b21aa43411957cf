#include "ui/PanelButton.h"

#include <QKeyEvent>
#include <QPainter>

PanelButton::PanelButton(const QString &name, QWidget *parent) : QToolButton(parent) {
    setObjectName(name);
    setAutoRaise(true);
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
    setStyleSheet(QStringLiteral("QToolButton { border: none; padding: 2px; }"));
}

void PanelButton::keyPressEvent(QKeyEvent *event) {
    m_keyboardFocus = true;
    update();
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        event->modifiers() == Qt::NoModifier) {
        click();
        return;
    }
    QToolButton::keyPressEvent(event);
}

void PanelButton::focusInEvent(QFocusEvent *event) {
    m_keyboardFocus = event->reason() == Qt::TabFocusReason ||
                      event->reason() == Qt::BacktabFocusReason ||
                      event->reason() == Qt::ShortcutFocusReason;
    QToolButton::focusInEvent(event);
}

void PanelButton::paintEvent(QPaintEvent *event) {
    QToolButton::paintEvent(event);
    if (!showsFocusMark())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // 1.5 wide and inset by half of that, so at any scale it covers whole device pixels.
    QPen pen(palette().color(QPalette::Highlight), 1.5);
    painter.setPen(pen);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75), 3, 3);
}
