#pragma once

#include "ui/PanelPlacement.h"

// Whether the desktop session is a Wayland one, whichever Qt platform the utility runs on: on
// Xwayland the X pointer position goes stale over Wayland windows and an X grab does not see
// clicks on them, so the panel must behave as it does on Wayland itself.
bool inWaylandSession();

// Where the desktop puts its tray when the screens do not tell (a Wayland session reports no
// room taken by bars): Plasma's panel runs along the bottom, most others along the top.
TrayCorner defaultTrayCorner();

// Whether the compositor leaves the room of the desktop's bars out of the area where layer
// surfaces go: wlroots compositors do, KWin does not for Plasma's panel.
bool layerAreaExcludesBars();

// Whether, of two layer-shell surfaces on one layer, the compositor puts the one made later on
// top (KWin) rather than beneath (wlroots compositors such as sway).
bool layersStackNewerAbove();

// On GNOME's Wayland session, which lets no client place its own windows, runs the utility on
// Xwayland where there is one (unless the person chose a platform), so the panel opens at the
// tray. Must run before the QApplication is built.
void preferXWaylandOnGnome();
