#include "ui/ContrastStyle.h"

#include "ui/Colors.h"

#include <QPainter>
#include <QStyleOption>

namespace {

void outline(QPainter *painter, const QStyleOption &option, qreal radius, bool round = false) {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(QPen(controlOutlineColor(option.palette), 1));
    painter->setBrush(Qt::NoBrush);
    const QRectF rect = QRectF(option.rect).adjusted(0.5, 0.5, -0.5, -0.5);
    if (round)
        painter->drawEllipse(rect);
    else
        painter->drawRoundedRect(rect, radius, radius);
    painter->restore();
}

} // namespace

void ContrastStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option,
                                  QPainter *painter, const QWidget *widget) const {
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    // The keyboard focus keeps the style's own highlighted outline.
    const bool keyboardFocus =
        option->state.testFlag(State_HasFocus) && option->state.testFlag(State_KeyboardFocusChange);
    if (element == PE_IndicatorCheckBox && !keyboardFocus)
        outline(painter, *option, 1);
    else if (element == PE_IndicatorRadioButton && !keyboardFocus)
        outline(painter, *option, 0, true);
}

void ContrastStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex *option,
                                       QPainter *painter, const QWidget *widget) const {
    QProxyStyle::drawComplexControl(control, option, painter, widget);
    if (control == CC_ComboBox && !(option->state.testFlag(State_HasFocus) &&
                                    option->state.testFlag(State_KeyboardFocusChange)))
        outline(painter, *option, 2);
}
