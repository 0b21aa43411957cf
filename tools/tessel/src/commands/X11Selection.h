#pragma once

#include "base/Errors.h"

#include <chrono>
#include <cstdint>
#include <string>

// Asks an X display which window owns a selection (such as _NET_SYSTEM_TRAY_S0, held by an
// XEmbed tray), speaking the few requests it needs of the X protocol itself: the tool links
// no X library.

class X11Error : public ToolError {
public:
    using ToolError::ToolError;
};

// Where a DISPLAY value leads: a local socket (":0", "unix:0", "/path/to/socket:0") or a
// host and TCP port ("host:0" is port 6000), with its display and screen numbers.
struct X11Display {
    std::string socketPath; // empty for TCP
    std::string host;
    int port = 0;
    int number = 0;
    int screen = 0;
};
// Throws X11Error when `display` is not of these forms.
X11Display parseDisplay(const std::string &display);

// The window owning `selection` on the display, 0 when nobody owns it or the display has never
// heard of its name. `xauthority` is the cookie file (none is sent when it has no entry for
// the display). Throws X11Error when the display cannot be reached or refuses the connection
// or does not answer within `deadline`.
std::uint32_t selectionOwner(const X11Display &display, const std::string &xauthority,
                             const std::string &selection, std::chrono::milliseconds deadline);
