#!/usr/bin/env bash
# End-to-end test under Plasma 5.27 on Wayland: kwin_wayland on a virtual output with
# plasmashell and its system tray, as an ordinary user on a session bus of its own, the
# utility on Qt's Wayland platform. The tray icon is pressed through the accessibility tree
# (Plasma's tray activates the item with the icon's position, as a click does); the panel must
# open at the icon in the panel at the bottom, close on Escape and on a second press, and be
# named for a screen reader.
#   plasma_e2e.sh TESSELMENU_EXECUTABLE FIXTURE_TOOL
# With TESSELMENU_E2E_SHOT=FILE it also saves a screenshot of the open panel there.
set -euo pipefail
. "$(dirname "$0")/e2e_common.sh"
require kwin_wayland plasmashell kded5 spectacle dbus-run-session dbus-daemon convert
[ -d /usr/share/plasma/shells/org.kde.plasma.desktop ] ||
    { echo "SKIPPED: plasma-desktop is not installed"; exit 77; }
/usr/bin/python3 -c 'import pyatspi' 2> /dev/null || { echo "SKIPPED: python3-pyatspi is not installed"; exit 77; }

run_as_test_user "$@"
work=$TESSELMENU_E2E_WORK
trap stop_background EXIT
make_bundle "$app_binary" "$fixture_tool"
unset DISPLAY WAYLAND_DISPLAY

dbus-daemon --session --fork --print-pid=3 --print-address=4 3> "$work/sysbus.pid" 4> "$work/sysbus"
pids+=("$(cat "$work/sysbus.pid")")
export DBUS_SYSTEM_BUS_ADDRESS=$(head -n 1 "$work/sysbus")

# The installed kwin_wayland carries file capabilities that a container refuses: a plain copy.
cp "$(command -v kwin_wayland)" "$work/kwin_wayland"
export KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1
export XDG_CURRENT_DESKTOP=KDE XDG_SESSION_TYPE=wayland KDE_FULL_SESSION=true
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
socket=tm-plasma-$$
"$work/kwin_wayland" --virtual --width 1280 --height 800 --socket "$socket" > "$work/kwin.log" 2>&1 &
pids+=($!)
wait_until 60 "KWin" test -S "$XDG_RUNTIME_DIR/$socket"
export WAYLAND_DISPLAY=$socket
# Services the bus starts for Plasma (the activity manager) run on the same display.
dbus-update-activation-environment WAYLAND_DISPLAY XDG_RUNTIME_DIR XDG_CONFIG_HOME XDG_DATA_HOME \
    XDG_CACHE_HOME HOME XDG_CURRENT_DESKTOP XDG_SESSION_TYPE \
    KDE_FULL_SESSION QT_QPA_PLATFORM=wayland
# kded holds the tray's status-notifier watcher; plasmashell the tray itself.
QT_QPA_PLATFORM=wayland kded5 > "$work/kded.log" 2>&1 &
pids+=($!)
watcher_loaded() {
    dbus-send --session --print-reply --dest=org.kde.kded5 /kded org.kde.kded5.loadModule \
        string:statusnotifierwatcher 2> /dev/null | grep -q 'boolean true'
}
wait_until 60 "kded's status-notifier watcher" watcher_loaded
QT_QPA_PLATFORM=wayland plasmashell --no-respawn > "$work/plasmashell.log" 2>&1 &
pids+=($!)
watcher_up() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.kde.StatusNotifierWatcher 2> /dev/null |
        grep -q 'boolean true'
}
wait_until 120 "Plasma's tray" watcher_up
echo "ok: Plasma is up"

QT_QPA_PLATFORM=wayland "$prefix/bin/tesselmenu" > "$work/app.log" 2>&1 &
app=$!
pids+=("$app")

# Asks the accessibility tree: "press" presses the tray item named TesselMenu (Plasma then
# activates the item), "panel" prints the panel's controls without a name, "shown" succeeds
# while the panel is on screen.
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
if what == "icon":
    # The tray button's middle, across: the default panel spans the screen's width from x 0.
    for app in desktop:
        if app and app.name == "plasmashell":
            hits = []
            walk(app, lambda n: hits.append(n) if n.name == "TesselMenu" and
                 n.getRole() == pyatspi.ROLE_PUSH_BUTTON else None)
            if hits:
                e = hits[0].queryComponent().getExtents(pyatspi.WINDOW_COORDS)
                print(e.x + e.width // 2)
                sys.exit(0)
    sys.exit(1)
if what == "press":
    hits = []
    for app in desktop:
        if app and app.name == "plasmashell":
            walk(app, lambda n: hits.append(n) if n.name == "TesselMenu" and
                 n.getRole() == pyatspi.ROLE_PUSH_BUTTON else None)
    if not hits:
        sys.exit(1)
    action = hits[0].queryAction()
    action.doAction(0)
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
icon_shown() { atspi icon > /dev/null; }
wait_until 60 "the icon in Plasma's tray" icon_shown
icon_x=$(atspi icon)
echo "ok: the icon is in Plasma's tray at x $icon_x"

panel_shown() { atspi shown; }
atspi press
wait_until 20 "the panel after pressing the icon" panel_shown
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
wait_until 30 "the panel above the icon" at_the_icon
[ -z "${TESSELMENU_E2E_SHOT:-}" ] || cp "$work/screen.png" "$TESSELMENU_E2E_SHOT"
echo "ok: pressing the icon opens the panel above it, clear of Plasma's panel"

atspi panel || fail "the panel is not fully named in the accessibility tree"
echo "ok: every control of the panel is named in the accessibility tree"

atspi press
wait_until 20 "the panel to close on a second press" not panel_shown
sleep 0.6
panel_shown && fail "the press that closed the panel opened it again"
echo "ok: a second press closes it, and it stays closed"
echo "1 passed, 0 failed"
