#!/usr/bin/env python3
"""Measures the CPU time of `tessel report limits --json`, which the tray utility runs on every
refresh, for one or more builds of the tool side by side on the same logs.

The logs are those of generate_logs.py (already written to HOME), with Codex rate-limit lines
of today's shape appended to every rollout and a limit-reached line to some Claude Code
sessions, so that every file holds what the command looks for. For each tool, with a state
folder of its own: the first run (nothing kept yet), runs with nothing changed, and runs after
one line was appended to one rollout. CPU time (user + system) of the child comes from wait4();
the figures are medians, runs of the tools interleaved.

Usage: limits_report.py HOME WORK NAME=TOOL [NAME=TOOL...] [--runs 7]
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import time


def cpu_ms(command, env):
    process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                               stdin=subprocess.DEVNULL)
    stderr = process.stderr.read()
    _, status, usage = os.wait4(process.pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit(f"{' '.join(command)} failed: {stderr.decode(errors='replace')}")
    return (usage.ru_utime + usage.ru_stime) * 1000


def stamp(seconds):
    return time.strftime("%Y-%m-%dT%H:%M:%S.000Z", time.gmtime(seconds))


def limits_line(seconds, used):
    return json.dumps({"timestamp": stamp(seconds), "type": "event_msg",
                       "payload": {"type": "token_count", "info": None, "rate_limits": {
                           "limit_id": "codex",
                           "primary": {"used_percent": used, "window_minutes": 300,
                                       "resets_at": int(seconds) + 3600},
                           "secondary": {"used_percent": used / 3, "window_minutes": 10080,
                                         "resets_at": int(seconds) + 5 * 86400}}}}) + "\n"


def prepare(home):
    """Appends today's limit lines once; returns the rollouts, newest last."""
    marker = os.path.join(home, ".limits-lines")
    rollouts = sorted(os.path.join(folder, name)
                      for folder, _, names in os.walk(os.path.join(home, ".codex")) for name in names
                      if name.endswith(".jsonl"))
    sessions = sorted(os.path.join(folder, name)
                      for folder, _, names in os.walk(os.path.join(home, ".claude")) for name in names
                      if name.endswith(".jsonl"))
    if not os.path.exists(marker):
        now = time.time()
        for index, path in enumerate(rollouts):
            with open(path, "a") as out:
                out.write(limits_line(now - 3600 + index, 10 + index % 50))
        for index, path in enumerate(sessions[::100]):
            with open(path, "a") as out:
                out.write(json.dumps({"type": "assistant", "timestamp": stamp(now - 7200 + index),
                                      "isApiErrorMessage": True,
                                      "message": {"model": "<synthetic>", "content": [
                                          {"type": "text", "text": "5-hour limit reached ∙ resets 2am"}]}}) + "\n")
        open(marker, "w").close()
    return rollouts, sessions


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("home")
    parser.add_argument("work")
    parser.add_argument("tools", nargs="+", help="NAME=PATH")
    parser.add_argument("--runs", type=int, default=7)
    args = parser.parse_args()
    rollouts, sessions = prepare(args.home)
    tools = [entry.split("=", 1) for entry in args.tools]
    envs = {}
    for name, _ in tools:
        state = os.path.join(args.work, "limits-state-" + name)
        shutil.rmtree(state, ignore_errors=True)
        envs[name] = {"HOME": args.home, "PATH": os.environ.get("PATH", "/usr/bin:/bin"), "TZ": "UTC",
                      "XDG_STATE_HOME": state}
    print(f"{len(sessions)} Claude Code sessions, {len(rollouts)} Codex rollouts; CPU ms, medians of "
          f"{args.runs}; load average {os.getloadavg()[0]:.2f}")
    first = {name: cpu_ms([tool, "report", "limits", "--json"], envs[name]) for name, tool in tools}
    unchanged = {name: [] for name, _ in tools}
    appended = {name: [] for name, _ in tools}
    for run in range(args.runs):
        for name, tool in tools:
            unchanged[name].append(cpu_ms([tool, "report", "limits", "--json"], envs[name]))
        with open(rollouts[-1], "a") as out:
            out.write(limits_line(time.time() - 60 + run, 60 + run))
        for name, tool in tools:
            appended[name].append(cpu_ms([tool, "report", "limits", "--json"], envs[name]))
    print(f"{'tool':12s} {'first run':>10s} {'unchanged':>10s} {'one append':>11s}")
    for name, _ in tools:
        print(f"{name:12s} {first[name]:10.1f} {statistics.median(unchanged[name]):10.1f} "
              f"{statistics.median(appended[name]):11.1f}")
    print(f"load average after: {os.getloadavg()[0]:.2f}")


if __name__ == "__main__":
    main()
