#!/usr/bin/env bash
# End-to-end test of the real tray utility under an X server (Xvfb) with a tray host (trayer):
# the executable in a bundle of its own with the fixture tool and a demo repository, every
# folder it could touch inside a temporary directory. Each check says "ok: ..." as it passes.
#   tray_e2e.sh TESSELMENU_EXECUTABLE FIXTURE_TOOL
set -euo pipefail
. "$(dirname "$0")/e2e_common.sh"
require Xvfb trayer xdotool xwininfo import

work=$(mktemp -d)
trap 'stop_background; rm -rf "$work"' EXIT
make_bundle "$1" "$2"
# No session bus: Qt uses the X11 tray protocol that trayer speaks.
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-bus
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY

# --- X server on a free display, then the tray host. -noreset: without it the server resets
# when its last client leaves, and a program starting just then cannot connect.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3> "$work/display" 2> "$work/xvfb.log" &
pids+=($!)
wait_until 20 "the X server" test -s "$work/display"
export DISPLAY=:$(head -n 1 "$work/display")

# --- without any tray the panel opens in an ordinary window titled with the menu title
"$prefix/bin/tesselmenu" > "$work/no-tray.log" 2>&1 &
lone=$!
pids+=("$lone")
window_titled() { [ -n "$(xdotool search --onlyvisible --name "$1" 2> /dev/null)" ]; }
wait_until 30 "the panel in a window titled with the figure where there is no tray" \
    window_titled '^热图 [0-9.]+[KMB]$'
kill "$lone"
wait "$lone" 2> /dev/null || true
echo "ok: without a tray the panel opens in a window titled with today's figure"

# From here the tool's collect waits for a gate, so the icon can be seen before and after
# the first refresh lands.
gate=$work/gate
mv "$tools/tessel" "$tools/fixture"
printf '#!/usr/bin/env bash\nif [ "${1:-}" = collect ]; then\n    until [ -e %q ]; do sleep 0.1; done\nfi\nexec %q "$@"\n' \
    "$gate" "$tools/fixture" > "$tools/tessel"
chmod +x "$tools/tessel"

# --- the utility, started before any tray host: its panel opens in a window
"$prefix/bin/tesselmenu" > "$work/app.log" 2>&1 &
app=$!
pids+=("$app")
wait_until 30 "the panel in a window where there is no tray" window_titled '^热图'
echo "ok: without a tray the panel opens in a window"

# --- a tray host that comes up later (as at login) takes the icon from the same instance
sleep 2
trayer_window() {
    xwininfo -root -tree 2> /dev/null | awk '/\("panel" "trayer"\)/ { print $1; exit }'
}
trayer_up() { [ -n "$(trayer_window)" ]; }
trayer --edge top --align right --widthtype request --height 32 --transparent false \
    --tint 0x333333 > "$work/trayer.log" 2>&1 &
pids+=($!)
wait_until 20 "the tray host" trayer_up

# --- helpers on the utility's windows
icon_windows() {
    xwininfo -tree -id "$(trayer_window)" 2> /dev/null | awk '/"tesselmenu"/ { print $1 }'
}
icon_count() { icon_windows | wc -l; }
has_one_icon() { [ "$(icon_count)" -eq 1 ]; }
panel_window() { xdotool search --onlyvisible --name '^TesselMenu 面板$' 2> /dev/null | head -n 1; }
panel_shown() { [ -n "$(panel_window)" ]; }
# The first instance shows a window besides its icon: the menu (or the panel) is open.
menu_open() { [ "$(xdotool search --onlyvisible --pid "$app" 2> /dev/null | wc -l)" -ge 2 ]; }
# Clicks the middle of the icon with mouse button $1.
click_icon() {
    local x y width height
    read -r x y width height < <(xwininfo -id "$(icon_windows | head -n 1)" | awk '
        /Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
        /Width:/ { w = $NF } /Height:/ { h = $NF } END { print x, y, w, h }')
    xdotool mousemove $((x + width / 2)) $((y + height / 2)) sleep 0.1 click "$1"
}

wait_until 30 "the icon in the late tray" has_one_icon
wait_until 20 "the fallback window to go" not window_titled '^热图'
alive "$app" || fail "the utility ended when its window went"
echo "ok: a tray host that starts late gets the icon and the window goes"

# The icon's pixels while the first refresh waits at the gate; then, without any click, the
# figure must arrive and change them.
icon_pixels() { import -window "$(icon_windows | head -n 1)" rgb:- 2> /dev/null | md5sum; }
sleep 0.5
before=$(icon_pixels)
touch "$gate"
icon_changed() { [ "$(icon_pixels)" != "$before" ]; }
wait_until 30 "today's figure in the tray icon before any click" icon_changed
echo "ok: the icon shows today's figure before any click"

click_icon 1
wait_until 20 "the panel after a left click" panel_shown
width=$(xwininfo -id "$(panel_window)" | awk '/Width:/ { print $NF }')
[ "$width" -eq 300 ] || fail "the panel is $width wide, not 300"
echo "ok: a left click opens the 300-wide panel"
# Hung from the tray at the top right: its top just under the 32-high bar, its right edge at
# the screen's.
at_the_tray() {
    local x y
    read -r x y < <(xwininfo -id "$(panel_window)" | awk '
        /Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF } END { print x, y }')
    [ "$y" -ge 32 ] && [ "$y" -le 40 ] && [ $((x + 300)) -eq 1280 ] ||
        fail "$1: the panel is at $x,$y, not under the tray"
}
at_the_tray "left click"
# Let the first refresh land, so the icon shows today's figure.
sleep 1

click_icon 1
wait_until 20 "the panel to close after a second click" not panel_shown
# The closing click must not open it again once the reopening guard has passed.
sleep 0.6
panel_shown && fail "the click that closed the panel opened it again"
echo "ok: a second click closes it, and it stays closed"

click_icon 1
wait_until 20 "the panel after a left click" panel_shown
xdotool mousemove 300 600 sleep 0.1 click 1
wait_until 20 "the panel to close on a click on the desktop" not panel_shown
echo "ok: a click on the desktop closes it"

sleep 0.5 # past the guard against reopening on the click that closed it
click_icon 3
wait_until 20 "the tray menu" menu_open
xdotool key --clearmodifiers Down Return
wait_until 20 "the panel from the tray menu" panel_shown
at_the_tray "打开面板"
echo "ok: the tray menu's first entry opens the panel at the tray"
xdotool key Escape
wait_until 20 "the panel to close on Escape" not panel_shown

status=0
timeout 30 "$prefix/bin/tesselmenu" > "$work/second.log" 2>&1 || status=$?
[ "$status" -eq 0 ] || fail "the second launch ended with status $status"
alive "$app" || fail "the first instance is gone"
wait_until 20 "the first instance to show its panel" panel_shown
at_the_tray "second launch"
has_one_icon || fail "the tray holds $(icon_count) icons of the utility"
echo "ok: a second launch exits and the first keeps its single icon"

# --- SIGTERM (as at logout) while a tool run hangs: the utility leaves and takes the run along
rm -f "$gate"
xdotool key Escape
wait_until 20 "the panel to close" not panel_shown
sleep 0.5
click_icon 3
wait_until 20 "the tray menu" menu_open
xdotool key --clearmodifiers Down Down Return
hanging_run() { pgrep -f "$tools/tessel collect" > /dev/null; }
wait_until 20 "a refresh whose collect hangs" hanging_run
kill -TERM "$app"
wait_until 20 "the utility to end on SIGTERM" not alive "$app"
wait_until 10 "the hanging tool run to be stopped with the utility" not hanging_run
echo "ok: SIGTERM ends the utility and the tool run it had started"
echo "1 passed, 0 failed"
