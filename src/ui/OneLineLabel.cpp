#include "ui/OneLineLabel.h"

#include <QAccessible>
#include <QPainter>

OneLineLabel::OneLineLabel(QWidget *parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void OneLineLabel::setText(const QString &text) {
    if (text == m_text)
        return;
    m_text = text;
    updateGeometry();
    update();
    // Screen readers read the text as the widget's name.
    QAccessibleEvent changed(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
}

QSize OneLineLabel::sizeHint() const {
    return {fontMetrics().horizontalAdvance(m_text) + 2, fontMetrics().height()};
}

QSize OneLineLabel::minimumSizeHint() const {
    return {0, fontMetrics().height()};
}

void OneLineLabel::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(rect(), Qt::AlignCenter,
                     fontMetrics().elidedText(m_text, Qt::ElideRight, width()));
}
