#!/usr/bin/env bash
# Compares `tessel collect` at another commit of the project with the current checkout on the
# same logs, and with the peer reporter ccusage when npm can fetch it.
#
#   bench/tessel/compare_commits.sh BASE [HOME...]
#
# BASE is any commit (hash, branch, tag). Its tree is exported into the work folder (nothing in
# the checkout or its git metadata changes) and both trees are built in Release. Each HOME is
# a home folder holding logs (.claude, .codex, ...); without one, a data set is generated with
# generate_logs.py. For every HOME the two builds and the peer run in turns (base, new, peer,
# base, new, peer, ...), RUNS rounds (default 5), each collect into a fresh repository; the
# figures are the medians of user+system CPU seconds and of peak resident memory from
# /usr/bin/time. CPU time rather than wall time, since a loaded machine makes wall times noisy.
#
#   TESSEL_BENCH_DIR  work folder, kept between runs (default: a new temporary folder)
#   RUNS              rounds (default 5)
#   PEER=0            leave the peer out
#   PATCH             a patch applied to BASE's tree before it is built (for a commit that
#                     needs a fix to build)
#
# Prints one Markdown table row per HOME and writes the same rows to $work/compare.md.
set -euo pipefail
if [ $# -lt 1 ]; then
    sed -n '2,21p' "$0" | sed 's/^# \{0,1\}//'
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
base_commit=$1
shift
runs=${RUNS:-5}
work=${TESSEL_BENCH_DIR:-$(mktemp -d "${TMPDIR:-/tmp}/tessel-compare.XXXXXX")}
mkdir -p "$work"
echo "work folder: $work" >&2

base_rev=$(git -C "$top" rev-parse --verify "$base_commit^{commit}")
new_rev=$(git -C "$top" rev-parse HEAD)
[ -n "$(git -C "$top" status --porcelain --untracked-files=no)" ] && new_rev="$new_rev+changes"

# build <source> <build folder>: the tool alone, in Release (its output in <build folder>.log).
build() {
    {
        cmake -S "$1" -B "$2" -DCMAKE_BUILD_TYPE=Release -DTESSELMENU_BUILD_UI=OFF \
            -DTESSELMENU_BUILD_TESTS=OFF -DTESSELMENU_BUILD_BENCH=OFF &&
            nice cmake --build "$2" -j2 --target tessel
    } >"$2.log" 2>&1 || {
        echo "building $1 failed; see $2.log" >&2
        exit 1
    }
}

base_src=$work/base-$base_rev
if [ ! -f "$base_src/.complete" ]; then
    rm -rf "$base_src"
    mkdir -p "$base_src"
    git -C "$top" archive "$base_rev" | tar -x -C "$base_src"
    if [ -n "${PATCH:-}" ]; then
        patch -d "$base_src" -p1 <"$PATCH" >/dev/null
    fi
    touch "$base_src/.complete"
fi
echo "building $base_rev and the checkout ($new_rev) in Release" >&2
build "$base_src" "$work/build-base"
build "$top" "$work/build-new"
base_tool=$work/build-base/share/tesselmenu/tessel
new_tool=$work/build-new/share/tesselmenu/tessel

peer=()
if [ "${PEER:-1}" != 0 ] && command -v npx >/dev/null; then
    # npx fetches the peer once into its cache; its own start is then left out of the timing.
    if path=$(timeout 300 npx --yes -p ccusage@20.0.24 -c 'command -v ccusage' 2>/dev/null | tail -n 1) &&
        [ -x "$path" ]; then
        peer=("$path" daily --json --offline)
    fi
fi
[ ${#peer[@]} -eq 0 ] && echo "the peer reporter is not reachable (npm); our own figures only" >&2

homes=("$@")
if [ ${#homes[@]} -eq 0 ]; then
    data=$work/home
    if [ ! -f "$data/.complete" ]; then
        rm -rf "$data"
        python3 "$here/generate_logs.py" "$data" --claude-mib 256 --claude-files 500 >&2
        touch "$data/.complete"
    fi
    homes=("$data")
fi

# measure <label> <home> <command...>: one run, appends "cpu_seconds peak_kib" to $work/<label>;
# fails (naming the command's complaint) when the command does.
measure() {
    local label=$1 home=$2
    shift 2
    local repo
    repo=$(mktemp -d "$work/repo.XXXXXX")
    mkdir -p "$repo/docs"
    (cd "$repo" && env -i HOME="$home" PATH=/usr/bin:/bin TZ=UTC XDG_DATA_HOME="$repo/xdg" \
        /usr/bin/time -o "$work/time.out" -f "%U %S %M" "$@" >/dev/null 2>"$work/run.err") || {
        echo "$label failed:" >&2
        cat "$work/run.err" >&2
        rm -rf "$repo"
        return 1
    }
    awk '{ printf "%.2f %d\n", $1 + $2, $3 }' "$work/time.out" >>"$work/$label"
    rm -rf "$repo"
}

# median <label> <column>: the median of a column of $work/<label>.
median() {
    sort -n -k"$2" "$work/$1" | awk -v c="$2" '{ v[NR] = $c } END { print v[int((NR + 1) / 2)] }'
}

rows=$work/compare.md
{
    echo "| logs | base CPU s | new CPU s | base / new CPU | base / new peak MiB | ccusage CPU s, peak MiB | ccusage / new CPU |"
    echo "|---|---|---|---|---|---|---|"
} >"$rows"
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
for home in "${homes[@]}"; do
    size=$(du -sm "$home" | cut -f1)
    files=$(find "$home" -type f | wc -l)
    rm -f "$work/base" "$work/new" "$work/peer"
    for round in $(seq "$runs"); do
        measure base "$home" "$base_tool" collect || exit 1
        measure new "$home" "$new_tool" collect || exit 1
        if [ ${#peer[@]} -gt 0 ] && ! measure peer "$home" "${peer[@]}"; then
            echo "leaving the peer out from here on" >&2
            peer=()
        fi
        echo "  $(basename "$home") round $round: base $(tail -n 1 "$work/base"), new $(tail -n 1 "$work/new")${peer:+, peer $(tail -n 1 "$work/peer" 2>/dev/null)}" >&2
    done
    base_cpu=$(median base 1)
    new_cpu=$(median new 1)
    base_mib=$(($(median base 2) / 1024))
    new_mib=$(($(median new 2) / 1024))
    ratio=$(awk -v b="$base_cpu" -v n="$new_cpu" 'BEGIN { if (n > 0) printf "%.2fx", b / n; else printf "-" }')
    peer_cells="| - | - |"
    if [ -s "$work/peer" ]; then
        peer_cpu=$(median peer 1)
        peer_mib=$(($(median peer 2) / 1024))
        peer_ratio=$(awk -v p="$peer_cpu" -v n="$new_cpu" 'BEGIN { if (n > 0) printf "%.1fx", p / n; else printf "-" }')
        peer_cells="| $peer_cpu, $peer_mib | $peer_ratio |"
    fi
    echo "| $(basename "$home"): $files files, $size MB | $base_cpu | $new_cpu | $ratio | $base_mib / $new_mib $peer_cells" >>"$rows"
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
{
    echo
    echo "base $base_rev, new $new_rev; medians of $runs interleaved runs;" \
        "load average $load_before before, $load_after after"
} >>"$rows"
cat "$rows"
