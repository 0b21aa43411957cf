#include "ui/Divider.h"

#include "ui/Colors.h"

#include <QPainter>

Divider::Divider(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("divider"));
    setFixedHeight(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void Divider::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.fillRect(rect(), dividerColor(palette()));
}
