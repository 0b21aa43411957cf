#!/usr/bin/env bash
# The CPU time of `tessel report limits --json` (run by the tray utility on every refresh) over
# 2,000 Claude Code sessions and 300 Codex rollouts: the first run, runs with nothing changed
# (the target is under 20 ms) and runs after one rollout grew a line.
# Builds tessel in Release from this checkout, generates the logs (generate_logs.py, small
# files), and measures it, side by side with any other builds given as NAME=PATH (for
# example a build of an earlier commit, to compare before and after).
#   TESSEL_BENCH_DIR  work folder, kept between runs with its logs (default: a fresh
#                     temporary folder)
#   RUNS              runs of each measurement (default 7)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
work=${TESSEL_BENCH_DIR:-$(mktemp -d "${TMPDIR:-/tmp}/tessel-limits-bench.XXXXXX")}
mkdir -p "$work"
echo "work folder: $work"

build=$work/build-release
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTESSELMENU_BUILD_TESTS=OFF \
    -DTESSELMENU_BUILD_BENCH=OFF -DTESSELMENU_BUILD_UI=OFF >/dev/null
cmake --build "$build" -j2 --target tessel >/dev/null

data=$work/limits-home
if [ ! -f "$data/.complete" ]; then
    rm -rf "$data"
    python3 "$here/generate_logs.py" "$data" --claude-mib 200 --claude-files 2000 \
        --codex-sessions 300 --opencode-messages 100
    touch "$data/.complete"
fi
python3 "$here/limits_report.py" "$data" "$work" "this=$build/share/tesselmenu/tessel" "$@" \
    --runs "${RUNS:-7}"
