#pragma once

class QWidget;

// What the panel needs of an X server directly, on Qt's X11 platform only (each call does
// nothing elsewhere).

// Keeps `window` (not yet shown) out of the taskbar and the pager: window managers that
// list every utility window (KWin) would otherwise show a button for it.
void keepOutOfTaskbar(QWidget &window);

// Sends every click and key to `window` (shown) until released, so that a click anywhere
// outside it, the desktop included, reaches it. False when the server refuses, for example
// while another client holds a grab.
bool grabInput(QWidget &window);
void releaseInput();

// Marks the present moment as the utility's last user action, so that a window manager that
// guards the focus against windows appearing unasked (Mutter, KWin) gives the panel the
// keyboard: the click that asked for it went to the desktop's own bar, not to the utility.
void noteUserActionNow(QWidget &window);

// Asks for the dark or the light variant of the window manager's title bar on `window`, to go
// with its palette (Mutter draws the frames of X11 windows in the variant a window names).
void askForTitleBarVariant(QWidget &window, bool dark);
