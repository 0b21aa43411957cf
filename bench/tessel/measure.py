#!/usr/bin/env python3
"""Times tessel collect and the peer reporter side by side on the same synthetic logs.

Each run's wall time comes from a monotonic clock and its peak resident memory from wait4(),
which covers the program and any child it started (the peer's launcher starts a native
binary). Claude Code token totals per day are compared between the two at the end.
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import time


def run(command, cwd, env):
    """Runs a command to its end; returns (seconds, peak RSS in MiB, stdout)."""
    started = time.perf_counter()
    process = subprocess.Popen(command, cwd=cwd, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               stdin=subprocess.DEVNULL)
    stdout = process.stdout.read()
    stderr = process.stderr.read()
    _, status, usage = os.wait4(process.pid, 0)
    seconds = time.perf_counter() - started
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        raise SystemExit(f"{' '.join(command)} failed ({process.returncode}): {stderr.decode(errors='replace')}")
    return seconds, usage.ru_maxrss / 1024, stdout


def environment(home, **extra):
    env = {"HOME": home, "PATH": os.environ.get("PATH", "/usr/bin:/bin"), "TZ": "UTC"}
    env.update(extra)
    return env


def summary(samples):
    seconds = [s for s, _ in samples]
    rss = [r for _, r in samples]
    return {"median_s": statistics.median(seconds), "min_s": min(seconds), "max_s": max(seconds),
            "peak_rss_mib": max(rss)}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--peer", required=True)
    parser.add_argument("--home", required=True)
    parser.add_argument("--single-file-home")
    parser.add_argument("--work", required=True)
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()

    claude_bytes = sum(os.path.getsize(os.path.join(folder, name))
                       for folder, _, names in os.walk(os.path.join(args.home, ".claude")) for name in names)
    repo = os.path.join(args.work, "repo")
    empty = os.path.join(args.work, "empty")
    os.makedirs(empty, exist_ok=True)
    peer_env = environment(args.home)
    peer_command = [args.peer, "claude", "daily", "--json", "--offline"]

    # Warm the page cache, so both read from memory.
    run(peer_command, args.work, peer_env)

    results = {"claude_log_bytes": claude_bytes}
    full, claude_only, second, peer = [], [], [], []
    for _ in range(args.runs):
        for samples, env in ((full, environment(args.home)),
                             (claude_only, environment(args.home, CODEX_HOME=empty, OPENCODE_DATA_DIR=empty))):
            shutil.rmtree(repo, ignore_errors=True)
            os.makedirs(repo)
            seconds, rss, _ = run([args.tool, "collect"], repo, env)
            samples.append((seconds, rss))
        seconds, rss, output = run(peer_command, args.work, peer_env)
        peer.append((seconds, rss))
    # The repository of the last Claude-only run: nothing new since.
    for _ in range(max(5, args.runs)):
        second.append(run([args.tool, "collect"], repo, environment(args.home, CODEX_HOME=empty, OPENCODE_DATA_DIR=empty))[:2])

    if args.single_file_home:
        single = []
        for _ in range(args.runs):
            shutil.rmtree(repo + "-single", ignore_errors=True)
            os.makedirs(repo + "-single")
            single.append(run([args.tool, "collect"], repo + "-single", environment(args.single_file_home))[:2])
        results["tessel_full_collect_one_file"] = summary(single)

    results["tessel_full_collect_all_providers"] = summary(full)
    results["tessel_full_collect_claude_only"] = summary(claude_only)
    results["tessel_second_collect"] = summary(second)
    results["peer_claude_daily"] = summary(peer)

    ours = {row["day"]: row["providers"]["claude"]
            for row in json.load(open(os.path.join(repo, "docs", "usage.json")))["rows"] if row["providers"]["claude"]}
    theirs = {day["date"]: day["totalTokens"] for day in json.loads(output)["daily"]}
    differing = sorted(day for day in set(ours) | set(theirs) if ours.get(day) != theirs.get(day))
    results["claude_days"] = len(ours)
    results["claude_total_tessel"] = sum(ours.values())
    results["claude_total_peer"] = sum(theirs.values())
    results["days_differing"] = differing

    with open(os.path.join(args.work, "results.json"), "w") as out:
        json.dump(results, out, indent=2)
    gib = claude_bytes / 2**30
    peer_s = results["peer_claude_daily"]["median_s"]
    print(f"Claude Code logs: {claude_bytes / 2**20:.0f} MiB ({gib:.2f} GiB)")
    for name in ("tessel_full_collect_all_providers", "tessel_full_collect_claude_only", "tessel_second_collect",
                 "tessel_full_collect_one_file", "peer_claude_daily"):
        row = results.get(name)
        if row is None:
            continue
        print(f"{name:36s} median {row['median_s'] * 1000:8.1f} ms  (min {row['min_s'] * 1000:.1f}, "
              f"max {row['max_s'] * 1000:.1f})  peak RSS {row['peak_rss_mib']:.1f} MiB  "
              f"peer/this {peer_s / row['median_s']:.2f}x")
    print(f"Claude tokens: tessel {results['claude_total_tessel']}, peer {results['claude_total_peer']}, "
          f"days {len(ours)}, differing days {len(differing)}")


if __name__ == "__main__":
    main()
