#!/usr/bin/env bash
# End-to-end test of the tray utility in a Wayland session: a headless sway with waybar's tray
# on a session bus of its own, the utility on Qt's Wayland platform; each check says "ok: ..."
# as it passes. sway refuses to run as root, so the script runs itself again as an ordinary
# user (run_as_test_user).
#   wayland_e2e.sh TESSELMENU_EXECUTABLE FIXTURE_TOOL VIRTUAL_POINTER
# With TESSELMENU_E2E_SHOT=FILE it also saves a screenshot of the open panel there.
set -euo pipefail
. "$(dirname "$0")/e2e_common.sh"
require sway swaymsg waybar grim wtype dbus-run-session dbus-send convert
[ -x "${3:-}" ] || { echo "SKIPPED: no virtual pointer helper"; exit 77; }

run_as_test_user "$@"
work=$TESSELMENU_E2E_WORK

trap stop_background EXIT
make_bundle "$app_binary" "$fixture_tool"
unset DISPLAY WAYLAND_DISPLAY SWAYSOCK

# --- sway on a headless output with a plain background, then waybar with only a tray
cat > "$work/sway.conf" << 'CONF'
output * resolution 1280x800 bg #3b4252 solid_color
default_border none
CONF
WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    sway --config "$work/sway.conf" > "$work/sway.log" 2>&1 &
pids+=($!)
sway_up() {
    SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock 2> /dev/null | head -n 1)
    [ -n "$SWAYSOCK" ] && swaymsg -s "$SWAYSOCK" -t get_version > /dev/null 2>&1
}
wait_until 20 "sway" sway_up
export SWAYSOCK
WAYLAND_DISPLAY=$(basename "$(ls "$XDG_RUNTIME_DIR"/wayland-* | grep -v lock | head -n 1)")
export WAYLAND_DISPLAY XDG_SESSION_TYPE=wayland

cat > "$work/waybar.json" << 'CONF'
{"layer": "top", "position": "top", "height": 30, "modules-right": ["tray"],
 "tray": {"icon-size": 18, "spacing": 4}}
CONF
cat > "$work/waybar.css" << 'CONF'
* { font-family: sans-serif; font-size: 12px; }
window#waybar { background: #222222; }
CONF
waybar --config "$work/waybar.json" --style "$work/waybar.css" > "$work/waybar.log" 2>&1 &
pids+=($!)
watcher_up() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.kde.StatusNotifierWatcher 2> /dev/null |
        grep -q 'boolean true'
}
wait_until 20 "waybar's tray" watcher_up

# A keyboard that stays, as a real one does: each wtype below adds its own for a moment. And a
# pointer, which sway's cursor commands move and click.
wtype -s 3600000 &
pids+=($!)
"$helper" &
pids+=($!)
click_at() {
    swaymsg -q seat seat0 cursor set "$1" "$2" && swaymsg -q seat seat0 cursor press button1 &&
        swaymsg -q seat seat0 cursor release button1
}

# --- the utility on Qt's Wayland platform
QT_QPA_PLATFORM=wayland "$prefix/bin/tesselmenu" > "$work/app.log" 2>&1 &
app=$!
pids+=("$app")
items() {
    dbus-send --session --print-reply --dest=org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
        org.freedesktop.DBus.Properties.Get string:org.kde.StatusNotifierWatcher \
        string:RegisteredStatusNotifierItems 2> /dev/null | awk -F'"' '/string/ { print $2 }'
}
icon_registered() { [ "$(items | wc -l)" -ge 1 ]; }
wait_until 30 "the icon in waybar's tray" icon_registered
echo "ok: the icon reaches the tray"

# What waybar does on a left click: the item's Activate method with the pointer position.
click_icon() {
    local item service path
    item=$(items | head -n 1)
    service=${item%%/*}
    path=/${item#*/}
    dbus-send --session --type=method_call --dest="$service" "$path" \
        org.kde.StatusNotifierItem.Activate int32:1270 int32:15
}
# The colour of screen pixel ($1, $2) as "r,g,b".
pixel() {
    grim -g "$1,$2 1x1" "$work/pixel.png" &&
        convert "$work/pixel.png" -format '%[fx:int(255*r)],%[fx:int(255*g)],%[fx:int(255*b)]' info:
}
desktop=59,66,82
# The panel's background covers a point inside its top right corner, under the 30-high bar.
panel_at_corner() { [ "$(pixel 1200 60)" != "$desktop" ] && [ "$(pixel 1200 60)" != 34,34,34 ]; }
panel_gone() { [ "$(pixel 1200 60)" = "$desktop" ]; }
middle_clear() { [ "$(pixel 640 500)" = "$desktop" ]; }

wait_until 10 "the desktop background" panel_gone
click_icon
wait_until 20 "the panel at the top right corner" panel_at_corner
middle_clear || fail "the panel covers the middle of the screen"
grim "$work/panel.png"
[ -z "${TESSELMENU_E2E_SHOT:-}" ] || cp "$work/panel.png" "$TESSELMENU_E2E_SHOT"
echo "ok: a click opens the panel at the tray's corner, not in the middle"

# The menu key opens the panel's menu over it; Escape closes the menu, then the panel. The
# menu shows in the panel's picture, once that has settled (the first refresh drawn).
panel_picture() { grim -g "976,34 300x400" - | md5sum; }
settled() {
    local first
    first=$(panel_picture)
    sleep 0.2
    [ "$(panel_picture)" = "$first" ] && echo "$first" > "$work/settled"
}
wait_until 20 "the panel's picture to settle" settled
picture_is() { [ "$(panel_picture)" = "$(cat "$work/$1")" ]; }
wtype -k Menu
wait_until 20 "the panel's menu" not picture_is settled
alive "$app" || fail "the utility is gone after opening the panel's menu"
wtype -k Escape
# Back to the picture before the menu: the panel stays open under it.
wait_until 20 "Escape to close the menu and leave the panel" picture_is settled
wtype -k Escape
wait_until 20 "the panel to close on Escape" panel_gone
echo "ok: the menu key opens the panel's menu, Escape closes the menu, then the panel"

# Past the guard that keeps the click which closed the panel from opening it again.
sleep 0.5
click_icon
wait_until 20 "the panel again" panel_at_corner
click_icon
wait_until 20 "the panel to close on a second click" panel_gone
alive "$app" || fail "the utility is gone"
echo "ok: a second click closes it"

# A click beside the panel, on the desktop or on the icon in the bar, closes it and reaches
# nothing else: the panel stays closed.
for how in "the desktop:640 500" "the icon:1270 15"; do
    sleep 0.5 # past the guard against reopening
    click_icon
    wait_until 20 "the panel again" panel_at_corner
    # A click on the panel itself (its header) reaches the panel, which stays.
    click_at 1100 50
    sleep 0.6
    panel_at_corner || fail "a click on the panel closed it"
    click_at ${how#*:}
    wait_until 20 "the panel to close on a click on ${how%%:*}" panel_gone
    sleep 0.6
    panel_gone || fail "the click on ${how%%:*} that closed the panel opened it again"
    echo "ok: a click on ${how%%:*} closes it, and it stays closed"
done
echo "1 passed, 0 failed"
