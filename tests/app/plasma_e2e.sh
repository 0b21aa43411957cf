#!/usr/bin/env bash
# End-to-end test under Plasma 5.27, as an ordinary user on a session bus of its own: first its
# Wayland session (kwin_wayland on a virtual output with Xwayland, plasmashell and its system
# tray) with the utility on Qt's Wayland platform and then on Xwayland, then its X11 session
# (Xvfb, kwin_x11, plasmashell). In each, a click on the tray icon must open the panel above the
# icon in the panel at the bottom, out of the task manager and named for a screen reader; Escape,
# a click on the desktop and a click on the icon must close it, and the closing click must not
# open it again. Clicks and keys go through KWin's fake-input protocol on Wayland (the helper
# program KWIN_FAKE_INPUT) and through xdotool on X11.
#   plasma_e2e.sh TESSELMENU_EXECUTABLE FIXTURE_TOOL KWIN_FAKE_INPUT
# With TESSELMENU_E2E_SHOT=FILE it also saves a screenshot of the open panel (Wayland) there.
set -euo pipefail
. "$(dirname "$0")/e2e_common.sh"
require kwin_wayland kwin_x11 plasmashell kded5 spectacle Xvfb xdotool dbus-run-session \
    dbus-daemon convert
[ -d /usr/share/plasma/shells/org.kde.plasma.desktop ] ||
    { echo "SKIPPED: plasma-desktop is not installed"; exit 77; }
/usr/bin/python3 -c 'import pyatspi' 2> /dev/null || { echo "SKIPPED: python3-pyatspi is not installed"; exit 77; }
[ -x "${3:-}" ] || { echo "SKIPPED: no fake-input helper (KWin's protocol description is missing)"; exit 77; }

run_as_test_user "$@"
work=$TESSELMENU_E2E_WORK
trap stop_background EXIT
make_bundle "$app_binary" "$fixture_tool"
unset DISPLAY WAYLAND_DISPLAY

dbus-daemon --session --fork --print-pid=3 --print-address=4 3> "$work/sysbus.pid" 4> "$work/sysbus"
pids+=("$(cat "$work/sysbus.pid")")
export DBUS_SYSTEM_BUS_ADDRESS=$(head -n 1 "$work/sysbus")
export KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1
export XDG_CURRENT_DESKTOP=KDE KDE_FULL_SESSION=true QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
name_owned() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner "string:$1" 2> /dev/null | grep -q 'boolean true'
}
# The accessibility bus for both sessions, started away from any X display: one started on
# demand in the first session would end with that session's display.
/usr/libexec/at-spi-bus-launcher > "$work/at-spi.log" 2>&1 &
pids+=($!)
wait_until 20 "the accessibility bus" name_owned org.a11y.Bus

# Asks the accessibility tree: "icon" prints the middle of the tray button named TesselMenu
# across (the default panel spans the screen's width from x 0), "tasks" the task manager's
# buttons, "panel" the panel's controls without a name, and "shown" succeeds while the panel is
# on screen.
atspi() {
    /usr/bin/python3 - "$1" << 'PY'
import sys, pyatspi
what = sys.argv[1]
desktop = pyatspi.Registry.getDesktop(0)
def walk(node, found):
    for child in node:
        if child is None:
            continue
        found(child)
        walk(child, found)
def plasma_buttons():
    hits = []
    for app in desktop:
        if app and app.name == "plasmashell":
            walk(app, lambda n: hits.append(n) if n.getRole() == pyatspi.ROLE_PUSH_BUTTON else None)
    return hits
if what == "icon":
    icons = [n for n in plasma_buttons() if n.name == "TesselMenu"]
    if not icons:
        sys.exit(1)
    e = icons[0].queryComponent().getExtents(pyatspi.WINDOW_COORDS)
    print(e.x + e.width // 2)
    sys.exit(0)
if what == "tasks":
    print("\n".join(n.name for n in plasma_buttons()))
    sys.exit(0)
panels = [w for app in desktop if app for w in app
          if w and w.name == "TesselMenu 面板" and w.getState().contains(pyatspi.STATE_SHOWING)]
if what == "shown":
    sys.exit(0 if panels else 1)
if not panels:
    sys.exit("no panel in the accessibility tree")
unnamed, seen = [], [0]
def check(node):
    if node.getRole() != pyatspi.ROLE_SEPARATOR and node.getState().contains(pyatspi.STATE_SHOWING):
        seen[0] += 1
        if not node.name:
            unnamed.append(node.getRoleName())
walk(panels[0], check)
if unnamed or seen[0] < 8:
    sys.exit(f"unnamed: {unnamed}, named: {seen[0]}")
PY
}
panel_shown() { atspi shown; }
# The colour of screen pixel ($1, $2) as "r,g,b", from a screenshot taken once per check.
screenshot() { spectacle -b -n -f -o "$work/screen.png" > /dev/null 2>&1 && test -s "$work/screen.png"; }
pixel() {
    convert "$work/screen.png" -format "%[fx:int(255*p{$1,$2}.r)],%[fx:int(255*p{$1,$2}.g)],%[fx:int(255*p{$1,$2}.b)]" info:
}
# Light and grey: the panel's background in Breeze's light colours.
panel_pixel() {
    local r g b
    IFS=, read -r r g b < <(pixel "$1" "$2")
    ((r > 220 && g > 220 && b > 220 && r - b < 12 && b - r < 12))
}
# Above the icon, its lower edge within 40 px of Plasma's 44-high panel, 300 wide.
at_the_icon() {
    rm -f "$work/screen.png"
    screenshot || return 1
    panel_pixel "$icon_x" $((800 - 44 - 30)) && panel_pixel "$icon_x" $((800 - 44 - 300)) &&
        panel_pixel $((icon_x - 140 > 0 ? icon_x - 140 : 5)) $((800 - 44 - 30)) &&
        ! panel_pixel "$icon_x" 300
}
click_icon() { click "$icon_x" 778; }

# Starts Plasma's services on the display set up: kded holds the tray's status-notifier
# watcher, plasmashell the tray itself.
start_plasma() {
    dbus-update-activation-environment WAYLAND_DISPLAY DISPLAY XDG_RUNTIME_DIR XDG_CONFIG_HOME \
        XDG_DATA_HOME XDG_CACHE_HOME HOME XDG_CURRENT_DESKTOP XDG_SESSION_TYPE KDE_FULL_SESSION \
        QT_QPA_PLATFORM
    kded5 > "$work/kded-$1.log" 2>&1 &
    pids+=($!)
    watcher_loaded() {
        dbus-send --session --print-reply --dest=org.kde.kded5 /kded org.kde.kded5.loadModule \
            string:statusnotifierwatcher 2> /dev/null | grep -q 'boolean true'
    }
    wait_until 60 "kded's status-notifier watcher" watcher_loaded
    plasmashell --no-respawn > "$work/plasmashell-$1.log" 2>&1 &
    pids+=($!)
    wait_until 120 "Plasma's tray" name_owned org.kde.StatusNotifierWatcher
    echo "ok: Plasma ($1) is up"
}

# Every case on the utility started on Qt's platform $1 (named $2 in the messages).
cases() {
    local platform=$1 name=$2 app
    QT_QPA_PLATFORM=$platform "$prefix/bin/tesselmenu" > "$work/app-$name.log" 2>&1 &
    app=$!
    pids+=("$app")
    icon_shown() { atspi icon > /dev/null; }
    wait_until 60 "the icon in Plasma's tray" icon_shown
    icon_x=$(atspi icon)

    click_icon
    wait_until 20 "the panel after a click on the icon" panel_shown
    wait_until 30 "the panel above the icon" at_the_icon
    [ "$name" != wayland ] || [ -z "${TESSELMENU_E2E_SHOT:-}" ] || cp "$work/screen.png" "$TESSELMENU_E2E_SHOT"
    atspi tasks | grep -qx 'TesselMenu 面板' && fail "$name: the panel is in the task manager"
    atspi panel || fail "$name: the panel is not fully named in the accessibility tree"
    # A click on the panel itself (its header, under its top edge 357 px above Plasma's panel)
    # reaches the panel, which stays.
    click "$icon_x" $((800 - 44 - 357 + 20))
    sleep 0.6
    panel_shown || fail "$name: a click on the panel closed it"
    echo "ok: $name: a click on the icon opens the panel above it, out of the task manager, named for a screen reader"

    key Escape
    wait_until 20 "the panel to close on Escape" not panel_shown
    echo "ok: $name: Escape closes it"
    local how
    for how in "the desktop:400 300" "the icon:$icon_x 778"; do
        sleep 0.5 # past the guard against reopening on the click that closed it
        click_icon
        wait_until 20 "the panel after a click on the icon" panel_shown
        click ${how#*:}
        wait_until 20 "the panel to close on a click on ${how%%:*}" not panel_shown
        sleep 0.6
        panel_shown && fail "$name: the click on ${how%%:*} that closed the panel opened it again"
        echo "ok: $name: a click on ${how%%:*} closes it, and it stays closed"
    done
    kill "$app"
    wait "$app" 2> /dev/null || true
    wait_until 30 "the icon to leave the tray" not icon_shown
}

# --- Plasma on Wayland. The installed kwin_wayland carries file capabilities that a container
# refuses: a plain copy. It starts the program given once Xwayland is up, with its display.
cp "$(command -v kwin_wayland)" "$work/kwin_wayland"
printf '#!/bin/sh\necho "$DISPLAY" > %q/xdisplay\n' "$work" > "$work/xdisplay.sh"
chmod +x "$work/xdisplay.sh"
socket=tm-plasma-$$
first_of_session=${#pids[@]}
XDG_SESSION_TYPE=wayland "$work/kwin_wayland" --xwayland --virtual --width 1280 --height 800 \
    --socket "$socket" "$work/xdisplay.sh" > "$work/kwin.log" 2>&1 &
pids+=($!)
wait_until 60 "KWin and its Xwayland" test -s "$work/xdisplay"
export WAYLAND_DISPLAY=$socket XDG_SESSION_TYPE=wayland DISPLAY=$(cat "$work/xdisplay")
QT_QPA_PLATFORM=wayland start_plasma wayland
# One input device for the whole run, as a real mouse and keyboard are.
"$helper" hold > "$work/fake-input.log" 2>&1 &
pids+=($!)
click() { "$helper" move "$1" "$2" click; }
key() { "$helper" key "$1"; }
cases wayland wayland
cases xcb xwayland
kill "${pids[@]:first_of_session}" 2> /dev/null || true
wait "${pids[@]:first_of_session}" 2> /dev/null || true
pids=("${pids[@]:0:first_of_session}")

# --- Plasma on X11
unset WAYLAND_DISPLAY
export XDG_SESSION_TYPE=x11 QT_QPA_PLATFORM=xcb
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3> "$work/display" 2> "$work/xvfb.log" &
pids+=($!)
wait_until 20 "the X server" test -s "$work/display"
export DISPLAY=:$(head -n 1 "$work/display")
kwin_x11 > "$work/kwin-x11.log" 2>&1 &
pids+=($!)
# What the accessibility bus's launcher does in an X11 session: its address on the root window,
# where plasmashell on X11 looks for it.
a11y_bus=$(dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress |
    awk -F'"' '/string/ { print $2 }')
xprop -root -f AT_SPI_BUS 8s -set AT_SPI_BUS "$a11y_bus"
start_plasma x11
click() { xdotool mousemove "$1" "$2" sleep 0.1 click 1; }
key() { xdotool key "$1"; }
cases xcb x11
echo "1 passed, 0 failed"
