#!/usr/bin/env bash
# Times `tessel report` over a heavy year (43,800 breakdown rows) and `tessel bar`, each the
# median and the slowest of RUNS runs (default 30) of the Release build, started as a status
# bar or a terminal starts it: the wall time, and the processor time (user and system) that
# stays meaningful on a machine busy with other work. The targets: report under 50 ms, bar
# under 20 ms.
#   TESSEL_BENCH_DIR  work folder (default: a fresh temporary folder)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
work=${TESSEL_BENCH_DIR:-$(mktemp -d "${TMPDIR:-/tmp}/tessel-report-bench.XXXXXX")}
mkdir -p "$work"
build=$work/build-release
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTESSELMENU_BUILD_TESTS=OFF \
    -DTESSELMENU_BUILD_UI=OFF >/dev/null
cmake --build "$build" -j2 --target tessel bench_breakdown_year >/dev/null
tool=$build/share/tesselmenu/tessel
repo=$work/repo
today=2026-03-14
"$build/bench/tessel/bench_breakdown_year" "$repo" "$today"

python3 - "$tool" "$repo" "${RUNS:-30}" "$work" <<'PY'
import os, resource, statistics, subprocess, sys, time
tool, repo, runs, work = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
env = dict(os.environ, TESSEL_NOW="2026-03-14T12:00:00Z", TZ="UTC0", HOME=work,
           XDG_CONFIG_HOME=work + "/config", XDG_STATE_HOME=work + "/state", COLUMNS="120")
cases = [
    ("report today", ["report", "today"]),
    ("report week --by model", ["report", "week", "--by", "model"]),
    ("report month --by tool,model,project --json",
     ["report", "month", "--by", "tool,model,project", "--json"]),
    ("report range (a year) --by project",
     ["report", "range", "2025-03-15", "2026-03-14", "--by", "project"]),
    ("report range (a year) --by tool,model,project --daily --json",
     ["report", "range", "2025-03-15", "2026-03-14", "--by", "tool,model,project", "--daily",
      "--json"]),
    ("bar --format waybar", ["bar", "--format", "waybar"]),
]
for name, arguments in cases:
    times, cpu = [], []
    for _ in range(runs):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.perf_counter()
        subprocess.run([tool] + arguments, cwd=repo, env=env, check=True,
                       stdout=subprocess.DEVNULL)
        times.append((time.perf_counter() - start) * 1000)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu.append((after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime) * 1000)
    print(f"{name:62s} wall: median {statistics.median(times):6.1f} ms, slowest "
          f"{max(times):6.1f} ms; processor: median {statistics.median(cpu):5.1f} ms")
PY
