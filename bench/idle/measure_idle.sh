#!/usr/bin/env bash
# Idle cost of the tray utility beside a bare Qt tray program, both under Xvfb with the
# trayer tray host: each is started, its popup opened with a click and closed with a click
# elsewhere, then left alone. Reported: wake-ups per second over a quiet window of 90 seconds
# (until just before the periodic refresh due 120 seconds after start), then the wake-ups
# of the next 40 seconds, which hold that refresh; each as the voluntary context switches of
# the main thread and, where perf may count them, the context switches of all threads (the
# tool runs are separate processes and not counted). Last the resident memory.
#   bench/idle/measure_idle.sh BUILD_FOLDER
# The build folder needs bin/tesselmenu, share/tesselmenu/tessel and bench/bench_bare_tray.
set -euo pipefail

build=$(realpath "$1")
app=$build/bin/tesselmenu
bare=$build/bench/bench_bare_tray
tool=$build/share/tesselmenu/tessel
for needed in "$app" "$bare" "$tool"; do
    [ -x "$needed" ] || { echo "missing: $needed" >&2; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
    kill "${pids[@]}" 2> /dev/null || true
    wait 2> /dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

wait_until() {
    local limit=$1 what=$2
    shift 2
    local deadline=$((SECONDS + limit))
    until "$@"; do
        ((SECONDS < deadline)) || { echo "timed out waiting for $what" >&2; exit 1; }
        sleep 0.1
    done
}

# Nothing of the person's own configuration or logs is read.
export HOME=$work/home
export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_CACHE_HOME=$HOME/.cache
export XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-bus QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY
"$tool" demo --repo-dir "$work/demo" > /dev/null

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

main_switches() { awk '$1 == "voluntary_ctxt_switches:" { print $2 }' /proc/"$1"/status; }

# window PID SECONDS: "MAIN ALL", the switches of the main thread and of all threads (- where
# perf cannot count) over the next SECONDS seconds.
window() {
    local before all=- main
    before=$(main_switches "$1")
    if perf stat -x, -e context-switches -p "$1" -- true > /dev/null 2>&1; then
        all=$(perf stat -x, -e context-switches -p "$1" -- sleep "$2" 2>&1 |
            awk -F, '/context-switches/ { print ($1 ~ /^[0-9]+$/ ? $1 : 0) }')
    else
        sleep "$2"
    fi
    main=$(($(main_switches "$1") - before))
    echo "$main $all"
}

# measure NAME PROGRAM: prints "NAME wakeups_per_second rss_kib"
measure() {
    local name=$1 program=$2 class
    class=$(basename "$program")
    (cd "$work/demo" && exec "$program") > "$work/$name.log" 2>&1 &
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
        printf "%-10s quiet: %.3f wake-ups/s main thread, %s all threads", n, qm / 90,
            qa == "-" ? "-" : sprintf("%.3f", qa / 90)
        printf "; next 40 s (one refresh): %d main, %s all; %d KiB resident\n", nm, na, r }'
    kill "$pid"
    wait "$pid" 2> /dev/null || true
    echo "$rss" > "$work/$name.rss"
}

measure tesselmenu "$app"
measure bare "$bare"
awk 'BEGIN { getline a < ARGV[1]; getline b < ARGV[2]; printf "resident ratio %.2f\n", a / b; exit }' \
    "$work/tesselmenu.rss" "$work/bare.rss"
