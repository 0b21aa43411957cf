#pragma once

#include "base/Environment.h"
#include "commands/Doctor.h"

#include <chrono>
#include <string>

// Whether the desktop session has somewhere to show the tray icon: a StatusNotifierItem host
// (org.kde.StatusNotifierWatcher on the session bus, which Plasma has and GNOME gets from the
// AppIndicator extension) or an XEmbed tray (the owner of _NET_SYSTEM_TRAY_S<screen> on the X
// display). The bus is asked through busctl, gdbus or dbus-send, whichever is installed, and
// the X display over its own protocol; each answer has `deadline`.
enum class TrayAnswer { present, absent, unknown };

struct TrayProbe {
    TrayAnswer answer = TrayAnswer::unknown;
    std::string detail;
};

TrayProbe probeStatusNotifierHost(const Environment &environment,
                                  std::chrono::milliseconds deadline);
TrayProbe probeXEmbedTray(const Environment &environment, std::chrono::milliseconds deadline);

// ok with the host found; FAIL when neither exists, with how to get one (on GNOME, the
// AppIndicator extension); a note when it cannot be told.
DoctorLine trayHostLine(const Environment &environment,
                        std::chrono::milliseconds deadline = std::chrono::seconds(3));
