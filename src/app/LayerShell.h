#pragma once

#include "ui/PanelPlacement.h"

#include <memory>

class QWidget;

// Puts the panel on the compositor's layer shell, at the tray icon or the screen corner where
// the tray sits,
// on Wayland compositors that offer wlr-layer-shell (sway, KWin, Hyprland). A plain Wayland
// window cannot choose its place, so without this the compositor centres it. Where the
// protocol is missing (GNOME) create() gives nothing and the compositor's placement stands.
class LayerShell {
public:
    virtual ~LayerShell() = default;

    // Must run before the QApplication is built: lets windows that ask for it go without the
    // shell role Qt would otherwise give every top-level window.
    static void prepareProcess();
    // A layer shell for windows of this process, or nullptr where there is none to use.
    static std::unique_ptr<LayerShell> create();

    // Marks `window` (not yet shown) as one that the layer shell will place. Tooltips are not
    // shown over it: they would be popups of a window that is not an ordinary one.
    virtual void adopt(QWidget &window) = 0;
    // Shows `window` hung from the placement's two edges at its distances from them (the
    // compositor keeps it clear of bars), above ordinary windows, taking the keyboard when
    // clicked. With a `cover` (adopted, see-through) spread under it over the rest of the
    // output, the bars included, where a click lands on the cover instead of what lies below.
    virtual void show(QWidget &window, const LayerPlacement &placement, QWidget *cover) = 0;
    // Follows a change of the shown window's size.
    virtual void resize(QWidget &window) = 0;
    // The window was hidden: the next show starts afresh.
    virtual void hidden() = 0;
    // Readies `popup` (a menu about to be shown over the window) as a layer surface of its
    // own with its top-left corner at `pos` in the window's coordinates: the compositor
    // refuses Qt's own popups of a layer surface.
    virtual void placePopup(QWidget &popup, const QPoint &pos) = 0;
};
