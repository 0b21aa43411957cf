#pragma once

#include <QProxyStyle>

// The desktop's widget style with one change: check boxes, radio buttons and drop-downs get an
// outline that stands out at least 3:1 from the window (Fusion draws it barely darker than the
// window, which in dark palettes leaves an unchecked box all but invisible).
class ContrastStyle : public QProxyStyle {
    Q_OBJECT

public:
    using QProxyStyle::QProxyStyle;

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex *option,
                            QPainter *painter, const QWidget *widget = nullptr) const override;
};
