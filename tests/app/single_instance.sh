#!/usr/bin/env bash
# A second launch finds the first instance and exits, on the session bus and, without one,
# over the socket in a private folder; a folder open to others is never used. Another program
# holding the bus name is named and never asked to show; special files in place of the
# configuration do not hang the start.
# Usage: single_instance.sh <tesselmenu executable> <bus impostor>
set -euo pipefail
. "$(dirname "$0")/e2e_common.sh"
require dbus-daemon dbus-send
app=$1
impostor=$2
work=$(mktemp -d)
trap 'stop_background; rm -rf "$work"' EXIT

export QT_QPA_PLATFORM=offscreen HOME=$work/home XDG_CONFIG_HOME=$work/config
export XDG_CACHE_HOME=$work/cache
mkdir -p "$HOME" "$XDG_CONFIG_HOME"
unset XDG_RUNTIME_DIR

# Starts the first instance and waits until `ready...` succeeds.
start_first() {
    "$app" > "$work/first.log" 2>&1 &
    first=$!
    pids+=("$first")
    wait_until 10 "the first instance to get ready" "$@"
}

second_launch_exits() {
    local status=0
    timeout 10 "$app" > "$work/second.log" 2>&1 || status=$?
    [ "$status" -eq 0 ] || fail "the second launch ended with $status ($1)"
    alive "$first" || fail "the first instance is gone ($1)"
    kill "$first"
    wait "$first" 2> /dev/null || true
}

# On a session bus of the test's own: the well-known name.
dbus-daemon --session --nofork --print-address=3 3> "$work/bus" &
pids+=($!)
wait_until 10 "the session bus" test -s "$work/bus"
export DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$work/bus")
name_owned() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
        org.freedesktop.DBus.NameHasOwner string:io.github.TesselMenu 2> /dev/null |
        grep -q "boolean true"
}
start_first name_owned
second_launch_exits "session bus"
echo "ok: on the session bus"

# Another program holds the name, answering the request to show or not: a launch says which
# process it is and fails, and the impostor is never asked.
for answering in --answer --silent; do
    "$impostor" "$answering" > "$work/impostor.log" 2>&1 &
    holder=$!
    pids+=("$holder")
    wait_until 10 "the impostor to hold the name" name_owned
    status=0
    timeout 20 "$app" > "$work/launch.log" 2>&1 || status=$?
    [ "$status" -ne 0 ] && [ "$status" -ne 124 ] ||
        fail "a launch beside an impostor ($answering) ended with $status"
    grep -q "held by process $holder " "$work/launch.log" ||
        fail "the launch did not name the impostor's process ($answering)"
    [ ! -s "$work/impostor.log" ] || fail "the impostor was asked to show ($answering)"
    kill "$holder"
    wait "$holder" 2> /dev/null || true
    wait_until 10 "the impostor to let go of the name" not name_owned
done
echo "ok: another program holding the bus name is named and not asked"

# A FIFO in place of the information dictionary and of the settings file: the utility starts
# without waiting for a writer and takes the request to show (a start hung after taking the
# name would leave it unanswered).
mkdir -p "$XDG_CONFIG_HOME/TesselMenu"
mkfifo "$XDG_CONFIG_HOME/TesselMenu/Info.json" "$XDG_CONFIG_HOME/TesselMenu/TesselMenu.conf"
start_first name_owned
dbus-send --session --print-reply --reply-timeout=20000 --dest=io.github.TesselMenu / \
    io.github.TesselMenu.show > /dev/null || fail "the utility hung on a FIFO at its start"
second_launch_exits "special files in the configuration"
grep -q "ignoring $XDG_CONFIG_HOME/TesselMenu/Info.json" "$work/first.log" ||
    fail "the FIFO in place of Info.json was not reported"
rm -f "$XDG_CONFIG_HOME/TesselMenu/Info.json" "$XDG_CONFIG_HOME/TesselMenu/TesselMenu.conf"
echo "ok: special files in the configuration do not hang the start"

# No session bus and no runtime folder: a socket in a private folder of the cache.
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-bus
socket=$XDG_CACHE_HOME/tesselmenu/instance.socket
start_first test -S "$socket"
[ "$(stat -c %a "$XDG_CACHE_HOME/tesselmenu")" = 700 ] || fail "the socket folder is not private"
second_launch_exits "socket"
echo "ok: over a socket in a private folder"

# A folder others may enter is refused: the utility runs on without the guard.
chmod 755 "$XDG_CACHE_HOME/tesselmenu"
rm -f "$socket"
"$app" > "$work/open.log" 2>&1 &
pids+=($!)
wait_until 10 "a word about the open folder" grep -q "cannot keep a private socket" "$work/open.log"
sleep 0.5
alive "${pids[-1]}" || fail "the utility did not start beside an open folder"
[ ! -e "$socket" ] || fail "a socket was made in a folder open to others"
echo "ok: a folder open to others is not used"
