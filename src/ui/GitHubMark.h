#pragma once

#include <QPainterPath>
#include <QRectF>

// The GitHub mark as one closed outline, scaled uniformly to the shorter side of `rect` and
// centred in it. The outline is defined in a 16 x 16 design square; filled with the default
// non-zero winding rule it shows the mark.
QPainterPath gitHubMarkPath(const QRectF &rect);
