// Built where Qt's Wayland client module is missing: no layer shell, the window system places
// the panel.
#include "app/LayerShell.h"

void LayerShell::prepareProcess() {}

std::unique_ptr<LayerShell> LayerShell::create() {
    return nullptr;
}
