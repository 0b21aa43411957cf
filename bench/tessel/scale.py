#!/usr/bin/env python3
"""Times `tessel collect` on one prepared HOME: a full collect into an empty repository, a
collect with nothing new, `find -printf '%s %T@'` over the same log folders (what stat'ing
every file costs), read_loop.c over them (what reading every byte once costs) and
parse_floor.cpp (reading every byte once and checking every usage line with simdjson, the
least a collect that checks every usage line in full can cost): wall and CPU (user plus
system) medians, with peak resident memory from wait4().

Usage: scale.py TOOL HOME WORK [--runs 3]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import time


def run(command, cwd, env):
    started = time.perf_counter()
    process = subprocess.Popen(command, cwd=cwd, env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE, stdin=subprocess.DEVNULL)
    stderr = process.stderr.read()
    _, status, usage = os.wait4(process.pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit(f"{' '.join(command)} failed: {stderr.decode(errors='replace')}")
    return (time.perf_counter() - started, usage.ru_utime + usage.ru_stime,
            usage.ru_maxrss / 1024)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tool")
    parser.add_argument("home")
    parser.add_argument("work")
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    env = {"HOME": args.home, "PATH": os.environ.get("PATH", "/usr/bin:/bin"), "TZ": "UTC"}
    repo = os.path.join(args.work, "scale-repo")
    folders = [os.path.join(args.home, name) for name in (".claude", ".codex", ".local/share/opencode")
               if os.path.isdir(os.path.join(args.home, name))]

    full = []
    for _ in range(args.runs):
        shutil.rmtree(repo, ignore_errors=True)
        os.makedirs(repo)
        full.append(run([args.tool, "collect"], repo, env))
    again = [run([args.tool, "collect"], repo, env) for _ in range(max(5, args.runs))]
    find = [run(["find", *folders, "-type", "f", "-printf", "%s %T@\\n"], args.work, env)
            for _ in range(max(5, args.runs))]
    here = os.path.dirname(os.path.abspath(__file__))
    reader = os.path.join(args.work, "read_loop")
    subprocess.run(["cc", "-O2", "-o", reader, os.path.join(here, "read_loop.c")], check=True)
    reads = [run([reader, *folders], args.work, env) for _ in range(max(5, args.runs))]
    floor = os.path.join(args.work, "parse_floor")
    subprocess.run(["c++", "-O2", "-std=c++20", "-o", floor, os.path.join(here, "parse_floor.cpp"),
                    "-lsimdjson"], check=True)
    # The text each tool's usage lines hold; OpenCode's database is left out of this floor.
    marked = []
    for name, marker in ((".claude", '"usage"'), (".codex", '"token_count"')):
        if os.path.isdir(os.path.join(args.home, name)):
            marked += ["--", marker, os.path.join(args.home, name)]
    parses = [run([floor, *marked[1:]], args.work, env) for _ in range(max(5, args.runs))]
    state = os.path.getsize(os.path.join(repo, "docs", ".tessel-state"))

    def line(name, samples):
        seconds = statistics.median(s for s, _, _ in samples)
        cpu = statistics.median(c for _, c, _ in samples)
        rss = max(r for _, _, r in samples)
        print(f"{name:22s} median {seconds * 1000:9.1f} ms  CPU {cpu * 1000:9.1f} ms  "
              f"peak RSS {rss:7.1f} MiB")
        return cpu

    collect = line("full collect", full)
    noop = line("collect, nothing new", again)
    stat = line("find -printf", find)
    read = line("read every byte", reads)
    parse = line("read, parse usage", parses)
    print(f"nothing-new / find (CPU): {noop / stat:.2f}x; full collect / read every byte (CPU): "
          f"{collect / read:.2f}x; read and parse usage / read every byte: {parse / read:.2f}x; "
          f"full collect / read and parse usage: {collect / parse:.2f}x; "
          f"state file {state / 2**20:.1f} MiB")


if __name__ == "__main__":
    main()
