#!/usr/bin/env bash
# A second launch finds the first instance and exits, on the session bus and, without one,
# over the socket in a private folder; a folder open to others is never used.
# Usage: single_instance.sh <tesselmenu executable>
set -uo pipefail
app=$1
work=$(mktemp -d)
first=
cleanup() {
    [ -n "$first" ] && kill "$first" 2> /dev/null && wait "$first" 2> /dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
command -v dbus-run-session > /dev/null || { echo "dbus-run-session is missing"; exit 77; }

export QT_QPA_PLATFORM=offscreen HOME=$work/home XDG_CONFIG_HOME=$work/config
export XDG_CACHE_HOME=$work/cache
mkdir -p "$HOME" "$XDG_CONFIG_HOME"
unset XDG_RUNTIME_DIR

# Starts the first instance and waits until `ready` succeeds.
start_first() {
    local ready=$1
    "$app" > "$work/first.log" 2>&1 &
    first=$!
    for _ in $(seq 100); do
        eval "$ready" && return 0
        kill -0 "$first" 2> /dev/null || fail "the first instance ended: $(cat "$work/first.log")"
        sleep 0.1
    done
    fail "the first instance never got ready"
}

second_launch_exits() {
    timeout 10 "$app" > "$work/second.log" 2>&1 || fail "the second launch ended with $? ($1)"
    kill -0 "$first" 2> /dev/null || fail "the first instance is gone ($1)"
    kill "$first"; wait "$first" 2> /dev/null; first=
}

# On the session bus: the well-known name.
export -f start_first second_launch_exits fail
export app work first
dbus-run-session -- bash -c '
    start_first "dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
        org.freedesktop.DBus.NameHasOwner string:io.github.TesselMenu 2> /dev/null \
        | grep -q \"boolean true\""
    second_launch_exits "session bus"' || exit 1
echo "ok: on the session bus"

# No session bus and no runtime folder: a socket in a private folder of the cache.
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-bus
socket=$XDG_CACHE_HOME/tesselmenu/instance.socket
start_first "[ -S '$socket' ]"
[ "$(stat -c %a "$XDG_CACHE_HOME/tesselmenu")" = 700 ] || fail "the socket folder is not private"
second_launch_exits "socket"
echo "ok: over a socket in a private folder"

# A folder others may enter is refused: the utility runs on without the guard.
chmod 755 "$XDG_CACHE_HOME/tesselmenu"
rm -f "$socket"
"$app" > "$work/open.log" 2>&1 &
first=$!
sleep 1
kill -0 "$first" 2> /dev/null || fail "the utility did not start beside an open folder"
[ -e "$socket" ] && fail "a socket was made in a folder open to others"
grep -q "cannot keep a private socket" "$work/open.log" || fail "no word about the open folder"
echo "ok: a folder open to others is not used"
