#!/usr/bin/env bash
# Idle cost of the tray utility beside a bare Qt tray program, both under Xvfb with the
# trayer tray host: each is started, its popup opened with a click and closed with a click
# elsewhere, then left alone. Reported: wake-ups (voluntary context switches) over a quiet
# window of 90 seconds (until just before the periodic refresh due 120 seconds after start),
# then over the next 40 seconds, which hold that refresh; for the main thread and for all
# threads together (the tool runs are separate processes and not counted). Then the average
# over the whole 130 seconds, and the resident memory.
#   bench/idle/measure_idle.sh BUILD_FOLDER [--demo]
# By default the utility reads a small set of generated logs that stay unchanged, as on a
# machine where nobody is working; with --demo it runs on the demo repository, whose figures
# grow at every refresh (so the icon is redrawn each time).
# The build folder needs bin/tesselmenu, share/tesselmenu/tessel and bench/bench_bare_tray.
set -euo pipefail

build=$(realpath "$1")
mode=${2:-logs}
app=$build/bin/tesselmenu
bare=$build/bench/bench_bare_tray
tool=$build/share/tesselmenu/tessel
for needed in "$app" "$bare" "$tool"; do
    [ -x "$needed" ] || { echo "missing: $needed" >&2; exit 1; }
done

# wait_until, fail and the clean-up of what runs in the background, as the end-to-end tests
# have them.
source "$(dirname "$0")/../../tests/app/e2e_common.sh"
work=$(mktemp -d)
trap 'stop_background; rm -rf "$work"' EXIT

# Nothing of the person's own configuration or logs is read.
export HOME=$work/home
export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_CACHE_HOME=$HOME/.cache
export XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-bus QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY
if [ "$mode" = --demo ]; then
    "$tool" demo --repo-dir "$work/repo" > /dev/null
else
    python3 "$(dirname "$0")/../tessel/generate_logs.py" "$HOME" --claude-mib 8 --claude-files 40 \
        --codex-sessions 10 --opencode-messages 500 > /dev/null
    git init -q "$work/repo"
    (cd "$work/repo" && "$tool" collect > /dev/null)
fi

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3> "$work/display" 2> /dev/null &
pids+=($!)
wait_until 20 "the X server" test -s "$work/display"
export DISPLAY=:$(head -n 1 "$work/display")
trayer_window() {
    xwininfo -root -tree 2> /dev/null | awk '/\("panel" "trayer"\)/ { print $1; exit }'
}
trayer_up() { [ -n "$(trayer_window)" ]; }
trayer --edge top --align right --widthtype request --height 32 > /dev/null 2>&1 &
pids+=($!)
wait_until 20 "the tray host" trayer_up

# switches PID: one line per thread, "TID SWITCHES", the main thread first.
switches() {
    local task
    for task in /proc/"$1"/task/*; do
        awk -v t="${task##*/}" '$1 == "voluntary_ctxt_switches:" { print t, $2 }' "$task/status"
    done 2> /dev/null | sort -n
}

# window PID SECONDS: "MAIN ALL", the switches of the main thread and of all threads over the
# next SECONDS seconds; a thread started meanwhile counts whole, one that ended is lost.
window() {
    local before after
    before=$(switches "$1")
    sleep "$2"
    after=$(switches "$1")
    awk -v main="$1" 'NR == FNR { was[$1] = $2; next }
        { d = $2 - was[$1]; all += d; if ($1 == main) m = d } END { print m, all }' \
        <(echo "$before") <(echo "$after")
}

# measure NAME PROGRAM: prints "NAME wakeups_per_second rss_kib"
measure() {
    local name=$1 program=$2 class
    class=$(basename "$program")
    (cd "$work/repo" && exec "$program") > "$work/$name.log" 2>&1 &
    local pid=$!
    pids+=("$pid")
    icon() { xwininfo -tree -id "$(trayer_window)" 2> /dev/null | awk -v c="\"$class\"" '$0 ~ c { print $1; exit }'; }
    icon_up() { [ -n "$(icon)" ]; }
    wait_until 30 "the $name icon" icon_up
    sleep 3 # the first refresh, if any, lands
    local x y w h
    read -r x y w h < <(xwininfo -id "$(icon)" | awk '
        /Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
        /Width:/ { w = $NF } /Height:/ { h = $NF } END { print x, y, w, h }')
    xdotool mousemove $((x + w / 2)) $((y + h / 2)) sleep 0.2 click 1 sleep 1.5 \
        mousemove 600 600 sleep 0.2 click 1 sleep 2
    local quiet refresh rss
    quiet=$(window "$pid" 90)
    refresh=$(window "$pid" 40)
    rss=$(awk '$1 == "VmRSS:" { print $2 }' /proc/"$pid"/status)
    local quiet_main quiet_all next_main next_all
    read -r quiet_main quiet_all <<< "$quiet"
    read -r next_main next_all <<< "$refresh"
    awk -v n="$name" -v qm="$quiet_main" -v qa="$quiet_all" -v nm="$next_main" -v na="$next_all" \
        -v r="$rss" 'BEGIN {
        printf "%-10s quiet 90 s: %d main thread, %d all threads; next 40 s (one refresh): %d main, %d all\n",
            n, qm, qa, nm, na
        printf "%-10s average over 130 s: %.3f wake-ups/s main thread, %.3f all threads; %d KiB resident\n",
            n, (qm + nm) / 130, (qa + na) / 130, r }'
    kill "$pid"
    wait "$pid" 2> /dev/null || true
    echo "$rss" > "$work/$name.rss"
}

measure tesselmenu "$app"
measure bare "$bare"
awk 'BEGIN { getline a < ARGV[1]; getline b < ARGV[2]; printf "resident ratio %.2f\n", a / b; exit }' \
    "$work/tesselmenu.rss" "$work/bare.rss"
