#include "ui/Spinner.h"

#include "ui/Colors.h"

#include <QPainter>

Spinner::Spinner(int size, QWidget *parent) : QWidget(parent) {
    setFixedSize(size, size);
    m_timer.setInterval(80);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_angle = (m_angle + 30) % 360;
        update();
    });
}

void Spinner::showEvent(QShowEvent *) {
    m_timer.start();
}

void Spinner::hideEvent(QHideEvent *) {
    m_timer.stop();
}

void Spinner::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal width = std::max(1.5, this->width() / 7.0);
    const QRectF ring = QRectF(rect()).adjusted(width, width, -width, -width);
    QColor faint = secondaryTextColor(palette());
    faint.setAlphaF(0.3f);
    painter.setPen(QPen(faint, width));
    painter.drawEllipse(ring);
    painter.setPen(QPen(secondaryTextColor(palette()), width, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(ring, -m_angle * 16, 100 * 16);
}
