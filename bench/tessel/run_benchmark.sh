#!/usr/bin/env bash
# Side-by-side benchmark of `tessel collect` and the peer usage reporter ccusage on about
# 1 GiB of synthetic Claude Code logs in 2,000 files, plus Codex and OpenCode data; then our
# own figures on 100,000 small session files (SMALL_FILES), where a collect with nothing new
# is set against what `find` needs to stat the same files. Without network access to install
# the peer, only our own figures are measured.
# Builds tessel in Release, generates the logs, installs the peer outside the repository when
# it is missing, then prints and stores (results.json) the figures.
#   TESSEL_BENCH_DIR  work folder, kept between runs with its logs (default: a fresh
#                     temporary folder, so nothing found lying in a shared folder is run)
#   CCUSAGE_DIR       where the peer is installed (default: inside the work folder)
#   RUNS              runs of each full scan (default 3)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
work=${TESSEL_BENCH_DIR:-$(mktemp -d "${TMPDIR:-/tmp}/tessel-bench.XXXXXX")}
peer=${CCUSAGE_DIR:-$work/peer}
mkdir -p "$work"
echo "work folder: $work"

build=$work/build-release
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTESSELMENU_BUILD_TESTS=OFF \
    -DTESSELMENU_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target tessel >/dev/null
tool=$build/share/tesselmenu/tessel

data=$work/home
if [ ! -f "$data/.complete" ]; then
    rm -rf "$data"
    python3 "$here/generate_logs.py" "$data"
    touch "$data/.complete"
fi

# The same Claude Code lines in one file, to show memory does not grow with a file's size.
single=$work/single-file-home
if [ ! -f "$single/.complete" ]; then
    rm -rf "$single"
    mkdir -p "$single/.claude/projects/one"
    find "$data/.claude" -name '*.jsonl' -print0 | sort -z | xargs -0 cat \
        > "$single/.claude/projects/one/session.jsonl"
    touch "$single/.complete"
fi

if [ ! -x "$peer/node_modules/.bin/ccusage" ]; then
    mkdir -p "$peer"
    (cd "$peer" && npm install --no-audit --no-fund --silent ccusage@20.0.24) || true
fi

if [ -x "$peer/node_modules/.bin/ccusage" ]; then
    python3 "$here/measure.py" --tool "$tool" --peer "$peer/node_modules/.bin/ccusage" \
        --home "$data" --single-file-home "$single" --work "$work" --runs "${RUNS:-3}"
else
    echo "peer reporter not installable here; our own figures only"
    python3 "$here/scale.py" "$tool" "$data" "$work" --runs "${RUNS:-3}"
    python3 "$here/scale.py" "$tool" "$single" "$work" --runs "${RUNS:-3}"
fi

small=$work/small-files-home
count=${SMALL_FILES:-100000}
if [ ! -f "$small/.complete-$count" ]; then
    rm -rf "$small"
    python3 "$here/generate_logs.py" "$small" --claude-files "$count" \
        --claude-mib $((count / 500)) --opencode-messages 2000
    touch "$small/.complete-$count"
fi
python3 "$here/scale.py" "$tool" "$small" "$work" --runs "${RUNS:-3}"
