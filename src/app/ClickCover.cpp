#include "app/ClickCover.h"

#include <QMouseEvent>

ClickCover::ClickCover(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    // A screen reader that comes across it says what it is for.
    setAccessibleName(QStringLiteral("点击关闭 TesselMenu 面板"));
}

void ClickCover::mousePressEvent(QMouseEvent *event) {
    event->accept();
    emit pressed();
}
