#!/usr/bin/env bash
# Runs COMMAND... against an X server of its own (Xvfb on a free display), for tests that need
# the real X11 platform rather than Qt's offscreen one.
#   with_xvfb.sh COMMAND...
set -euo pipefail
. "$(dirname "$0")/e2e_common.sh"
require Xvfb

work=$(mktemp -d)
trap 'stop_background; rm -rf "$work"' EXIT
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3> "$work/display" 2> "$work/xvfb.log" &
pids+=($!)
wait_until 20 "the X server" test -s "$work/display"
export DISPLAY=:$(head -n 1 "$work/display") QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY
"$@"
