#!/usr/bin/env bash
# End-to-end test under GNOME Shell with the AppIndicator extension, headless on a virtual
# monitor, as an ordinary user on a session bus of its own: the icon in the top bar, the panel
# from a double click and from the menu's first entry, near the icon, out of the overview,
# closed by Escape, a second activation and a click on the wallpaper or the icon (neither
# reaching anything else), named for a screen reader, and in the dark style when GNOME is. A test
# extension turns on the shell's unsafe mode so the script can drive it with Eval.
#   gnome_e2e.sh TESSELMENU_EXECUTABLE FIXTURE_TOOL
# With TESSELMENU_E2E_SHOT=FILE it also saves a screenshot of the open panel there.
set -euo pipefail
. "$(dirname "$0")/e2e_common.sh"
require gnome-shell gdbus dbus-run-session dbus-daemon
[ -d /usr/share/gnome-shell/extensions/ubuntu-appindicators@ubuntu.com ] ||
    { echo "SKIPPED: gnome-shell-extension-appindicator is not installed"; exit 77; }
/usr/bin/python3 -c 'import pyatspi' 2> /dev/null || { echo "SKIPPED: python3-pyatspi is not installed"; exit 77; }

run_as_test_user "$@"
work=$TESSELMENU_E2E_WORK
trap stop_background EXIT
make_bundle "$app_binary" "$fixture_tool"
unset DISPLAY WAYLAND_DISPLAY

# The desktop file, so the shell knows the utility by name and icon.
mkdir -p "$XDG_DATA_HOME/applications"
sed "s|^Exec=.*|Exec=$prefix/bin/tesselmenu|" "$resources/tesselmenu.desktop" \
    > "$XDG_DATA_HOME/applications/tesselmenu.desktop"

# The container has no system bus: a private one stands in for it.
dbus-daemon --session --fork --print-pid=3 --print-address=4 3> "$work/sysbus.pid" 4> "$work/sysbus"
pids+=("$(cat "$work/sysbus.pid")")
export DBUS_SYSTEM_BUS_ADDRESS=$(head -n 1 "$work/sysbus")

extension=$XDG_DATA_HOME/gnome-shell/extensions/tesselmenu-e2e@test
mkdir -p "$extension"
printf '{"uuid": "tesselmenu-e2e@test", "name": "e2e", "description": "e2e", "shell-version": ["43"]}\n' \
    > "$extension/metadata.json"
cat > "$extension/extension.js" << 'JS'
function init() {}
function enable() { global.context.unsafe_mode = true; }
function disable() {}
JS
# Services the bus starts (dconf, the settings portal) share the test's folders: one with a runtime
# folder of its own misses the changes of the others.
dbus-update-activation-environment XDG_RUNTIME_DIR XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME HOME
gsettings set org.gnome.shell disable-user-extensions false
gsettings set org.gnome.shell enabled-extensions "['ubuntu-appindicators@ubuntu.com', 'tesselmenu-e2e@test']"
gsettings set org.gnome.desktop.interface toolkit-accessibility true

display=tm-gnome-$$
XDG_SESSION_TYPE=wayland gnome-shell --headless --wayland --virtual-monitor 1280x800 \
    --wayland-display "$display" > "$work/gnome-shell.log" 2>&1 &
pids+=($!)

# Runs JavaScript in the shell and prints its result.
shell_eval() {
    local out
    out=$(gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
        --method org.gnome.Shell.Eval "$1" 2> /dev/null) || return 1
    [[ $out == "(true, "* ]] || return 1
    out=${out#(true, \'}
    out=${out%\')}
    # Strings come back as JSON.
    out=${out#\"}
    printf '%s\n' "${out%\"}"
}
shell_up() { [ "$(shell_eval '1+1')" = 2 ]; }
wait_until 120 "GNOME Shell in unsafe mode" shell_up
# The shell ends its start in the overview, as after a login: leave it for the desktop.
started() { [ "$(shell_eval 'imports.ui.main.layoutManager._startingUp')" = false ]; }
wait_until 60 "the shell's start to end" started
out_of_overview() {
    shell_eval 'imports.ui.main.overview.hide(); 1' > /dev/null
    [ "$(shell_eval 'imports.ui.main.overview.visible || imports.ui.main.overview.animationInProgress')" = false ]
}
wait_until 30 "the desktop out of the overview" out_of_overview
echo "ok: GNOME Shell is up"

export WAYLAND_DISPLAY=$display XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_TYPE=wayland
export DISPLAY=$(shell_eval 'imports.gi.GLib.getenv("DISPLAY")')
XAUTHORITY=$(shell_eval 'imports.gi.GLib.getenv("XAUTHORITY")')
[ -n "$DISPLAY" ] && [ -n "$XAUTHORITY" ] || fail "the shell gave no X display"
export XAUTHORITY
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
unset QT_QPA_PLATFORM
# The settings portal and its GNOME backend, started by the bus on demand, reach the shell.
dbus-update-activation-environment WAYLAND_DISPLAY DISPLAY XAUTHORITY XDG_CURRENT_DESKTOP \
    XDG_SESSION_TYPE

"$prefix/bin/tesselmenu" > "$work/app.log" 2>&1 &
app=$!
pids+=("$app")

js_icon='Object.entries(imports.ui.main.panel.statusArea).filter(([k, v]) => k.startsWith("appindicator-") && v._indicator && v._indicator.id.length > 0)'
icon_box() {
    shell_eval "(() => { const e = $js_icon; if (!e.length) return ''; const a = e[0][1];
        const [x, y] = a.get_transformed_position(); const [w, h] = a.get_transformed_size();
        return [x, y, w, h].map(Math.round).join(' '); })()"
}
# Shown once laid out: a size of its own at a place in the bar.
icon_shown() { [[ $(icon_box) =~ ^[0-9]+\ [0-9]+\ [1-9][0-9]*\ [1-9][0-9]*$ ]]; }
wait_until 60 "the icon in the top bar" icon_shown
read -r ix iy iw ih < <(icon_box)
echo "ok: the icon is in the top bar at $ix,$iy ${iw}x$ih"

# Today's figure reaches the icon: the item's tooltip carries the same figure.
item_service() {
    local item
    item=$(gdbus call --session --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
        --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher \
        RegisteredStatusNotifierItems 2>> "$work/figure.log" | tee -a "$work/figure.log" |
        grep -o "'[^']*'" | head -n 1 | tr -d "'")
    [ -n "$item" ] && echo "${item%%[/@]*}"
}
figure_shown() {
    local service
    service=$(item_service) || return 1
    gdbus call --session --dest "$service" --object-path /StatusNotifierItem \
        --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem ToolTip \
        2>> "$work/figure.log" | tee -a "$work/figure.log" | grep -q '热图 [0-9.]\+[KMB]'
}
wait_until 60 "today's figure on the icon" figure_shown
echo "ok: the icon shows today's figure"

# Input through a virtual pointer and keyboard of the shell's seat.
shell_eval 'global._tm = (() => { const s = imports.gi.Clutter.get_default_backend().get_default_seat();
    return { p: s.create_virtual_device(imports.gi.Clutter.InputDeviceType.POINTER_DEVICE),
             k: s.create_virtual_device(imports.gi.Clutter.InputDeviceType.KEYBOARD_DEVICE) }; })(); 1' > /dev/null
click_at() { # x y [clicks]
    shell_eval "(() => { const C = imports.gi.Clutter, p = global._tm.p, t = global.get_current_time() * 1000;
        p.notify_absolute_motion(t, $1, $2);
        for (let i = 0; i < ${3:-1}; i++) {
            p.notify_button(t + 2000 * i + 1, C.BUTTON_PRIMARY, C.ButtonState.PRESSED);
            p.notify_button(t + 2000 * i + 1000, C.BUTTON_PRIMARY, C.ButtonState.RELEASED);
        } return 1; })()" > /dev/null
}
press_key() { # keyval name
    shell_eval "(() => { const C = imports.gi.Clutter, k = global._tm.k, t = global.get_current_time() * 1000;
        k.notify_keyval(t, C.KEY_$1, C.KeyState.PRESSED);
        k.notify_keyval(t + 1000, C.KEY_$1, C.KeyState.RELEASED); return 1; })()" > /dev/null
}
js_panel='global.get_window_actors().map(a => a.meta_window).filter(w => w.get_title() === "TesselMenu 面板")'
panel_box() {
    shell_eval "(() => { const w = $js_panel; if (!w.length) return ''; const r = w[0].get_frame_rect();
        return [r.x, r.y, r.width, r.height].join(' '); })()"
}
panel_shown() { [ -n "$(panel_box)" ]; }
# The panel within 40 px of the icon, out of the overview and the dash.
at_the_icon() {
    local px py pw ph dx dy
    read -r px py pw ph < <(panel_box)
    dx=$((px > ix + iw ? px - ix - iw : (ix > px + pw ? ix - px - pw : 0)))
    dy=$((py > iy + ih ? py - iy - ih : (iy > py + ph ? iy - py - ph : 0)))
    ((dx <= 40 && dy <= 40)) || fail "$1: the panel at $px,$py ${pw}x$ph is not at the icon"
    [ "$(shell_eval "$js_panel[0].skip_taskbar")" = true ] || fail "$1: the panel is in the overview"
    [ "$pw" -eq 300 ] || fail "$1: the panel is $pw wide"
    # What catches the clicks beside the panel must not pass for a full-screen window, for
    # which the shell hides its top bar.
    [ "$(shell_eval 'imports.ui.main.layoutManager.panelBox.visible')" = true ] ||
        fail "$1: the top bar is hidden"
}

# A single click opens the item's menu; its first entry opens the panel.
click_at $((ix + iw / 2)) $((iy + ih / 2))
first_entry() {
    shell_eval "(() => { const e = $js_icon; const m = e[0][1].menu; if (!m.isOpen) return '';
        const i = m._getMenuItems()[0]; const [x, y] = i.get_transformed_position();
        const [w, h] = i.get_transformed_size(); return [i.label ? i.label.text : '', Math.round(x + w / 2), Math.round(y + h / 2)].join(' '); })()"
}
menu_open() { [ -n "$(first_entry)" ]; }
wait_until 20 "the tray menu" menu_open
read -r label ex ey < <(first_entry)
[ "$label" = 打开面板 ] || fail "the menu's first entry is '$label'"
click_at "$ex" "$ey"
wait_until 20 "the panel from the menu" panel_shown
at_the_icon "打开面板"
echo "ok: the menu's first entry 打开面板 opens the panel at the icon, out of the overview"
[ -z "${TESSELMENU_E2E_SHOT:-}" ] || {
    sleep 1
    gdbus call --session --dest org.gnome.Shell.Screenshot --object-path /org/gnome/Shell/Screenshot \
        --method org.gnome.Shell.Screenshot.Screenshot false false "$work/shot.png" > /dev/null
}

# What a screen reader finds in the panel.
/usr/bin/python3 - << 'PY' || fail "the panel is not fully named in the accessibility tree"
import sys, pyatspi
desktop = pyatspi.Registry.getDesktop(0)
panels = [w for app in desktop if app for w in app if w and w.name == "TesselMenu 面板"]
if not panels:
    sys.exit("no panel in the accessibility tree")
unnamed, seen = [], 0
def walk(node):
    global seen
    for child in node:
        if child is None:
            continue
        states = child.getState()
        if child.getRole() != pyatspi.ROLE_SEPARATOR and states.contains(pyatspi.STATE_SHOWING):
            seen += 1
            if not child.name:
                unnamed.append(child.getRoleName())
        walk(child)
walk(panels[0])
if unnamed or seen < 8:
    sys.exit(f"unnamed: {unnamed}, named: {seen}")
PY
echo "ok: every control of the panel is named in the accessibility tree"

press_key Escape
wait_until 20 "the panel to close on Escape" not panel_shown
echo "ok: Escape closes it"

# What the extension does on a double click: the item's Activate with the click's position.
activate() {
    gdbus call --session --dest "$(item_service)" --object-path /StatusNotifierItem \
        --method org.kde.StatusNotifierItem.Activate $((ix + iw / 2)) $((iy + ih / 2)) > /dev/null
}
menu_closed() { [ "$(shell_eval "$js_icon[0][1].menu.isOpen")" = false ]; }
# Nothing of the utility's is left on screen: no panel, no cover beside it.
app_windows() {
    shell_eval "global.get_window_actors().map(a => a.meta_window).filter(w => w.get_pid() === $app ||
        (w.get_title() || '').startsWith('TesselMenu')).length"
}
# Each way of closing the panel, tried on a panel opened by an activation: the panel must close,
# stay closed past the guard against reopening, open no tray menu and leave nothing behind.
closes_by() { # what command...
    local what=$1
    shift
    wait_until 10 "the tray menu to fold away" menu_closed
    activate
    wait_until 20 "the panel from an activation" panel_shown
    at_the_icon "activation"
    echo "ok: an activation (a double click) opens the panel at the icon, the top bar stays"
    # A click on the panel itself (its header) reaches the panel, which stays.
    local px py pw ph
    read -r px py pw ph < <(panel_box)
    click_at $((px + pw / 2)) $((py + 20))
    sleep 0.6
    panel_shown || fail "a click on the panel closed it"
    "$@"
    wait_until 20 "the panel to close on $what" not panel_shown
    sleep 0.6
    panel_shown && fail "$what closed the panel and opened it again"
    menu_closed || fail "$what reached the icon: its menu opened"
    wait_until 10 "the utility's windows to go after $what" test "$(app_windows)" = 0
    echo "ok: $what closes it, and it stays closed"
}
wait_until 10 "the utility's windows to go after Escape" test "$(app_windows)" = 0
sleep 0.5
closes_by "a second activation" activate
# The clicks in the top bar and on the wallpaper, away from the panel at the top right.
closes_by "a click on the wallpaper" click_at 400 600
closes_by "a click on the icon" click_at $((ix + iw / 2)) $((iy + ih / 2))

# GNOME's dark style, told through the settings portal: the panel, the settings window and its
# title bar (drawn by the shell) turn dark.
brightness() { # x y: the red, green and blue of a screen pixel, summed
    local r g b
    IFS=, read -r r g b < <(convert "$work/screen.png" \
        -format "%[fx:int(255*p{$1,$2}.r)],%[fx:int(255*p{$1,$2}.g)],%[fx:int(255*p{$1,$2}.b)]" info:)
    echo $((r + g + b))
}
screen_shot() {
    rm -f "$work/screen.png"
    gdbus call --session --dest org.gnome.Shell.Screenshot --object-path /org/gnome/Shell/Screenshot \
        --method org.gnome.Shell.Screenshot.Screenshot false false "$work/screen.png" > /dev/null &&
        test -s "$work/screen.png"
}
dark_at() { screen_shot && (($(brightness "$1" "$2") < 200)); }
gsettings set org.gnome.desktop.interface color-scheme prefer-dark
activate
wait_until 20 "the panel from an activation" panel_shown
read -r px py pw ph < <(panel_box)
wait_until 30 "the panel in the dark style" dark_at $((px + 10)) $((py + ph / 2))
echo "ok: the panel follows GNOME's dark style"
# The settings button sits at the panel's bottom left.
click_at $((px + 26)) $((py + ph - 26))
settings_box() {
    shell_eval "(() => { const w = global.get_window_actors().map(a => a.meta_window)
        .filter(w => w.get_title() === '设置'); if (!w.length) return ''; const r = w[0].get_frame_rect();
        return [r.x, r.y, r.width, r.height].join(' '); })()"
}
settings_shown() { [ -n "$(settings_box)" ]; }
wait_until 20 "the settings window" settings_shown
read -r sx sy sw sh < <(settings_box)
# Its title bar (the shell's, above the window's own 220-high content) and its content.
settings_dark() { dark_at $((sx + 20)) $((sy + 10)) && (($(brightness $((sx + 20)) $((sy + sh - 20))) < 200)); }
wait_until 30 "the settings window and its title bar in the dark style" settings_dark
echo "ok: the settings window and the shell's title bar on it follow the dark style"
echo "1 passed, 0 failed"
