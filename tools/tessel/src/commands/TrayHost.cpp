#include "commands/TrayHost.h"

#include "base/ChildProcess.h"
#include "commands/X11Selection.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <sys/stat.h>

namespace {

constexpr const char *watcher = "org.kde.StatusNotifierWatcher";

// Each way of asking the session bus whether a name has an owner, and how its answer reads.
struct BusClient {
    const char *program;
    std::vector<std::string> arguments;
};

std::vector<BusClient> busClients(std::chrono::milliseconds deadline) {
    const std::string seconds = std::to_string(std::max<long long>(1, deadline.count() / 1000));
    return {
        {"busctl",
         {"busctl", "--user", "--timeout=" + seconds, "call", "org.freedesktop.DBus",
          "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner", "s", watcher}},
        {"gdbus",
         {"gdbus", "call", "--session", "--timeout", seconds, "--dest", "org.freedesktop.DBus",
          "--object-path", "/org/freedesktop/DBus", "--method", "org.freedesktop.DBus.NameHasOwner",
          watcher}},
        {"dbus-send",
         {"dbus-send", "--session", "--print-reply=literal",
          "--reply-timeout=" + std::to_string(deadline.count()), "--dest=org.freedesktop.DBus",
          "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
          std::string("string:") + watcher}},
    };
}

// The session bus's address: the variable, else the bus socket in the runtime folder. Given
// to the helper explicitly, so that none of them starts a bus of its own.
std::optional<std::string> sessionBus(const Environment &environment) {
    if (const auto address = environment.get("DBUS_SESSION_BUS_ADDRESS"))
        return address;
    if (const auto runtime = environment.get("XDG_RUNTIME_DIR")) {
        struct stat info {};
        const std::string socket = *runtime + "/bus";
        if (::stat(socket.c_str(), &info) == 0 && S_ISSOCK(info.st_mode))
            return "unix:path=" + socket;
    }
    return std::nullopt;
}

bool onGnome(const Environment &environment) {
    std::string desktop = environment.get("XDG_CURRENT_DESKTOP").value_or("");
    for (char &c : desktop)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return desktop.find("GNOME") != std::string::npos;
}

} // namespace

TrayProbe probeStatusNotifierHost(const Environment &environment,
                                  std::chrono::milliseconds deadline) {
    const auto bus = sessionBus(environment);
    if (!bus)
        return {TrayAnswer::unknown, "no session bus (DBUS_SESSION_BUS_ADDRESS is not set)"};
    for (const BusClient &client : busClients(deadline)) {
        if (!programOnPath(client.program))
            continue;
        ChildOptions options;
        options.environment["DBUS_SESSION_BUS_ADDRESS"] = *bus;
        // A little longer than the helper's own timeout, so that its message is the one seen.
        options.deadline = deadline + std::chrono::seconds(1);
        ChildOutcome outcome;
        try {
            outcome = runChild(client.arguments, options);
        } catch (const ChildProcessError &error) {
            return {TrayAnswer::unknown, client.program + std::string(": ") + error.what()};
        }
        if (outcome.timedOut)
            return {TrayAnswer::unknown, std::string(client.program) + " got no answer in time"};
        const std::string &answer = outcome.standardOutput;
        if (outcome.succeeded() && answer.find("true") != std::string::npos)
            return {TrayAnswer::present, std::string(watcher) + " on the session bus"};
        if (outcome.succeeded() && answer.find("false") != std::string::npos)
            return {TrayAnswer::absent, std::string("no ") + watcher + " on the session bus"};
        return {TrayAnswer::unknown, std::string(client.program) +
                                         " could not ask the session bus: " + outcome.message()};
    }
    return {TrayAnswer::unknown, "none of busctl, gdbus or dbus-send is installed to ask the "
                                 "session bus"};
}

TrayProbe probeXEmbedTray(const Environment &environment, std::chrono::milliseconds deadline) {
    const auto name = environment.get("DISPLAY");
    if (!name)
        return {TrayAnswer::absent, "no X display (DISPLAY is not set)"};
    try {
        const X11Display display = parseDisplay(*name);
        const std::string selection = "_NET_SYSTEM_TRAY_S" + std::to_string(display.screen);
        const std::string cookies =
            environment.get("XAUTHORITY").value_or(environment.home() + "/.Xauthority");
        if (selectionOwner(display, cookies, selection, deadline) != 0)
            return {TrayAnswer::present, "an XEmbed tray on " + *name};
        return {TrayAnswer::absent, "no XEmbed tray on " + *name};
    } catch (const X11Error &error) {
        return {TrayAnswer::unknown, error.what()};
    }
}

DoctorLine trayHostLine(const Environment &environment, std::chrono::milliseconds deadline) {
    const TrayProbe host = probeStatusNotifierHost(environment, deadline);
    if (host.answer == TrayAnswer::present)
        return {Verdict::ok, "tray", host.detail, {}};
    const TrayProbe xembed = probeXEmbedTray(environment, deadline);
    if (xembed.answer == TrayAnswer::present)
        return {Verdict::ok, "tray", xembed.detail, {}};
    const std::string both = host.detail + "; " + xembed.detail;
    const std::string gnome =
        "install and switch on GNOME's AppIndicator extension (sudo apt install "
        "gnome-shell-extension-appindicator, then log out and in, and switch on \"AppIndicator "
        "and KStatusNotifierItem Support\" in the Extensions app)";
    if (host.answer == TrayAnswer::absent && xembed.answer == TrayAnswer::absent)
        return {Verdict::fail, "tray",
                "no tray host: " + both + ", so TesselMenu shows a window instead of its icon",
                onGnome(environment) ? gnome
                                     : "start your desktop's system tray (a panel with a "
                                       "StatusNotifierItem or XEmbed tray)"};
    return {Verdict::note,
            "tray",
            "cannot tell whether the desktop has a tray: " + both +
                (onGnome(environment) && host.answer == TrayAnswer::absent ? "; on GNOME, " + gnome
                                                                           : ""),
            {}};
}
