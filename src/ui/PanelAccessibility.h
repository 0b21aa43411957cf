#pragma once

// Tells screen readers what the panel's own drawn widgets are: the error row and the next-sync
// line read as text, the heatmap as a chart named by its summary, the spinner as a busy
// indicator and the dividers as separators. Without this each is an unnamed filler. Call once,
// after the QApplication is built.
void installPanelAccessibility();
