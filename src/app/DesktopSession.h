#pragma once

// Whether the desktop session is a Wayland one, whichever Qt platform the utility runs on: on
// Xwayland the X pointer position goes stale over Wayland windows and an X grab does not see
// clicks on them, so the panel must behave as it does on Wayland itself.
bool inWaylandSession();
