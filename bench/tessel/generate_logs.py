#!/usr/bin/env python3
"""Writes synthetic usage logs of Claude Code, Codex, OpenCode and (on request) seven more tools.

Nothing here comes from a real user: every line is made from a seeded random generator in
the shapes those tools write. Claude Code sessions hold realistic line sizes (prompts,
assistant messages written once per content block, large tool results and file-history
snapshots), sessions resumed into new files that copy earlier messages, a few lines without
requestId and a few <synthetic> ones. Codex rollouts repeat their running totals and carry
rate-limit-only lines. OpenCode gets a WAL-mode database and a few older message files.
Gemini CLI, Qwen Code, Pi and Kimi CLI get session files of the asked size, Amp thread
documents, GitHub Copilot CLI a session store and Kilo CLI a database, each in its tool's
shape with replies of the same realistic sizes; none are written unless asked for.

Usage: generate_logs.py OUT [--claude-mib 1024] [--claude-files 2000] [--codex-sessions 200]
                            [--opencode-messages 20000] [--gemini-mib 0] [--qwen-mib 0]
                            [--pi-mib 0] [--kimi-mib 0] [--amp-threads 0] [--copilot-rows 0]
                            [--kilo-messages 0] [--seed 7]
"""
import argparse
import json
import os
import random
import sqlite3
import uuid
from datetime import datetime, timedelta, timezone

START = datetime(2026, 1, 1, tzinfo=timezone.utc)
SPAN_DAYS = 60
MODELS = ["claude-sonnet-4-5-20250929", "claude-opus-4-1-20250805", "claude-haiku-4-5-20251001"]
WORDS = ("the of and to in is for that with on as by this from be at or are an not it was "
         "function return value error file test build change line parse count token day "
         "session message request cache input output model tool result write read").split()


def stamp(moment):
    return moment.strftime("%Y-%m-%dT%H:%M:%S.") + f"{moment.microsecond // 1000:03d}Z"


class Text:
    """Cheap filler text of a wanted length, cut from one long random paragraph."""

    def __init__(self, rng):
        words = [rng.choice(WORDS) for _ in range(200000)]
        self.pool = " ".join(words)
        self.rng = rng

    def take(self, size):
        start = self.rng.randrange(0, len(self.pool) - size - 1)
        return self.pool[start:start + size]


def claude_session(rng, text, session_id, start, target_bytes, copied):
    """Lines of one session file; returns (lines, assistant lines worth copying)."""
    lines = list(copied)
    size = sum(len(line) for line in lines)
    moment = start
    parent = None
    assistants = []
    base = {"isSidechain": False, "userType": "external", "cwd": "/home/dev/project",
            "sessionId": session_id, "version": "2.0.14", "gitBranch": "main"}
    while size < target_bytes:
        moment += timedelta(seconds=rng.randint(2, 90))
        kind = rng.random()
        if kind < 0.05:
            entry = {"type": "file-history-snapshot", "messageId": str(uuid.UUID(int=rng.getrandbits(128))),
                     "snapshot": {"trackedFileBackups": {f"src/file{i}.cpp": {"backupFileName": text.take(40), "version": i}
                                                        for i in range(rng.randint(20, 200))},
                                  "timestamp": stamp(moment)}, "isSnapshotUpdate": False}
        elif kind < 0.25:
            uid = str(uuid.UUID(int=rng.getrandbits(128)))
            entry = dict(base, parentUuid=parent, type="user", uuid=uid, timestamp=stamp(moment),
                         message={"role": "user", "content": [{"type": "tool_result", "tool_use_id": "toolu_" + uid[:20],
                                                               "content": text.take(rng.randint(1000, 30000))}]},
                         toolUseResult={"stdout": text.take(rng.randint(200, 4000)), "stderr": "", "interrupted": False})
            parent = uid
        elif kind < 0.33:
            uid = str(uuid.UUID(int=rng.getrandbits(128)))
            entry = dict(base, parentUuid=parent, type="user", uuid=uid, timestamp=stamp(moment),
                         message={"role": "user", "content": text.take(rng.randint(50, 1500))})
            parent = uid
        else:
            # One assistant message, written once per content block with the same usage.
            message_id = "msg_" + uuid.UUID(int=rng.getrandbits(128)).hex[:24]
            request_id = "req_" + uuid.UUID(int=rng.getrandbits(128)).hex[:24]
            synthetic = rng.random() < 0.01
            usage = {"input_tokens": 0 if synthetic else rng.randint(1, 40),
                     "cache_creation_input_tokens": 0 if synthetic else rng.randint(0, 30000),
                     "cache_read_input_tokens": 0 if synthetic else rng.randint(0, 150000),
                     "output_tokens": 0 if synthetic else rng.randint(1, 4000),
                     "service_tier": "standard"}
            model = "<synthetic>" if synthetic else rng.choice(MODELS)
            no_request = rng.random() < 0.01
            blocks = 1 if no_request else rng.randint(1, 3)
            for block in range(blocks):
                uid = str(uuid.UUID(int=rng.getrandbits(128)))
                content_kind = rng.choice(["text", "tool_use", "thinking"])
                if content_kind == "tool_use":
                    content = [{"type": "tool_use", "id": "toolu_" + uid[:20], "name": "Edit",
                                "input": {"file_path": "/home/dev/project/src/a.cpp", "old_string": text.take(rng.randint(50, 2000)),
                                          "new_string": text.take(rng.randint(50, 2000))}}]
                elif content_kind == "thinking":
                    content = [{"type": "thinking", "thinking": text.take(rng.randint(100, 3000)), "signature": text.take(300)}]
                else:
                    content = [{"type": "text", "text": text.take(rng.randint(50, 2500))}]
                entry = dict(base, parentUuid=parent, type="assistant", uuid=uid, timestamp=stamp(moment + timedelta(milliseconds=block * 300)),
                             message={"id": message_id, "type": "message", "role": "assistant", "model": model,
                                      "content": content, "stop_reason": None, "stop_sequence": None, "usage": usage})
                if not no_request:
                    entry["requestId"] = request_id
                line = json.dumps(entry, separators=(",", ":")) + "\n"
                lines.append(line)
                size += len(line)
                assistants.append(line)
                parent = uid
            continue
        line = json.dumps(entry, separators=(",", ":")) + "\n"
        lines.append(line)
        size += len(line)
    return lines, assistants


def write_claude(rng, home, total_bytes, files):
    text = Text(rng)
    root = os.path.join(home, ".claude", "projects")
    per_file = total_bytes // files
    recent = []
    written = 0
    for index in range(files):
        project = os.path.join(root, f"-home-dev-project{index % 40}")
        session_id = str(uuid.UUID(int=rng.getrandbits(128)))
        start = START + timedelta(seconds=rng.randint(0, SPAN_DAYS * 86400))
        target = int(per_file * rng.uniform(0.3, 1.7))
        copied = []
        if recent and rng.random() < 0.05:
            # A resumed session starts with messages of an earlier one.
            copied = rng.choice(recent)[-20:]
        if index % 25 == 0:
            path = os.path.join(project, session_id, "subagents", f"agent-{index}.jsonl")
        else:
            path = os.path.join(project, session_id + ".jsonl")
        lines, assistants = claude_session(rng, text, session_id, start, target, copied)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as out:
            out.writelines(lines)
        written += sum(len(line) for line in lines)
        recent = (recent + [assistants])[-50:]
    return written


def write_codex(rng, home, sessions):
    text = Text(rng)
    written = 0
    for index in range(sessions):
        start = START + timedelta(seconds=rng.randint(0, SPAN_DAYS * 86400))
        folder = os.path.join(home, ".codex", "sessions", start.strftime("%Y/%m/%d"))
        if index % 10 == 0:
            folder = os.path.join(home, ".codex", "archived_sessions")
        os.makedirs(folder, exist_ok=True)
        sid = str(uuid.UUID(int=rng.getrandbits(128)))
        path = os.path.join(folder, f"rollout-{start.strftime('%Y-%m-%dT%H-%M-%S')}-{sid}.jsonl")
        moment = start
        lines = [json.dumps({"timestamp": stamp(moment), "type": "session_meta",
                             "payload": {"id": sid, "timestamp": stamp(moment), "cwd": "/home/dev/project",
                                         "originator": "codex_cli_rs", "cli_version": "0.46.0",
                                         "instructions": text.take(3000)}})]
        total = {"input_tokens": 0, "cached_input_tokens": 0, "output_tokens": 0, "reasoning_output_tokens": 0, "total_tokens": 0}
        for turn in range(rng.randint(20, 150)):
            moment += timedelta(seconds=rng.randint(5, 300))
            if turn == 60 and rng.random() < 0.3:
                moment += timedelta(days=rng.randint(1, 5))  # resumed on a later day
            lines.append(json.dumps({"timestamp": stamp(moment), "type": "response_item",
                                     "payload": {"type": "message", "role": "assistant",
                                                 "content": [{"type": "output_text", "text": text.take(rng.randint(100, 3000))}]}}))
            last = {"input_tokens": rng.randint(1000, 30000), "output_tokens": rng.randint(10, 3000)}
            last["cached_input_tokens"] = last["input_tokens"] // 2
            last["reasoning_output_tokens"] = last["output_tokens"] // 3
            last["total_tokens"] = last["input_tokens"] + last["output_tokens"]
            for key in total:
                total[key] += last[key]
            event = {"timestamp": stamp(moment), "type": "event_msg",
                     "payload": {"type": "token_count", "info": {"total_token_usage": dict(total), "last_token_usage": last,
                                                                   "model_context_window": 272000},
                                 "rate_limits": {"primary": {"used_percent": 3.0}}}}
            lines.append(json.dumps(event))
            if rng.random() < 0.5:
                lines.append(json.dumps(event))  # the same total repeated
            if rng.random() < 0.3:
                lines.append(json.dumps({"timestamp": stamp(moment), "type": "event_msg",
                                         "payload": {"type": "token_count", "info": None, "rate_limits": {"primary": {"used_percent": 4.0}}}}))
        data = "\n".join(lines) + "\n"
        with open(path, "w") as out:
            out.write(data)
        written += len(data)
    return written


def write_opencode(rng, home, messages):
    folder = os.path.join(home, ".local", "share", "opencode")
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, "opencode.db")
    if os.path.exists(path):
        os.remove(path)
    database = sqlite3.connect(path)
    database.execute("PRAGMA journal_mode=WAL")
    database.execute("CREATE TABLE message (id TEXT PRIMARY KEY, session_id TEXT NOT NULL, time_created INTEGER NOT NULL, "
                     "time_updated INTEGER NOT NULL, data TEXT NOT NULL)")
    rows = []
    for index in range(messages):
        created = int((START + timedelta(seconds=rng.randint(0, SPAN_DAYS * 86400))).timestamp() * 1000)
        role = "assistant" if index % 2 else "user"
        data = {"role": role, "time": {"created": created, "completed": created + 5000}}
        if role == "assistant":
            data.update({"modelID": "claude-sonnet-4-5", "providerID": "anthropic", "cost": 0,
                         "tokens": {"input": rng.randint(10, 5000), "output": rng.randint(10, 2000), "reasoning": rng.randint(0, 500),
                                    "cache": {"read": rng.randint(0, 50000), "write": rng.randint(0, 5000)}}})
        rows.append((f"msg_{index:08d}", f"ses_{index // 50:05d}", created, created, json.dumps(data)))
    database.executemany("INSERT INTO message VALUES (?, ?, ?, ?, ?)", rows)
    database.commit()
    database.close()
    storage = os.path.join(folder, "storage", "message", "ses_legacy")
    os.makedirs(storage, exist_ok=True)
    for index in range(1, 200, 2):  # older message files, half of them also in the database
        mid = f"msg_{index:08d}" if index < 100 else f"msg_legacy_{index}"
        created = int((START + timedelta(days=3)).timestamp() * 1000)
        with open(os.path.join(storage, mid + ".json"), "w") as out:
            json.dump({"id": mid, "sessionID": "ses_legacy", "role": "assistant", "time": {"created": created},
                       "tokens": {"input": 100, "output": 50, "reasoning": 0, "cache": {"read": 0, "write": 0}}}, out)
    return os.path.getsize(path)


def session_lines(rng, text, target_bytes, make):
    """Lines from make(moment, kind) until target_bytes: kind is 'reply' a fifth of the time,
    else 'other' (prompts and tool results, mostly large and without usage)."""
    lines, size = [], 0
    moment = START + timedelta(seconds=rng.randint(0, SPAN_DAYS * 86400))
    while size < target_bytes:
        moment += timedelta(seconds=rng.randint(2, 90))
        line = make(moment, "reply" if rng.random() < 0.35 else "other")
        lines.append(line)
        size += len(line)
    return lines


def write_sessions(rng, home, mib, files, folder_of, header, make):
    if mib <= 0:
        return 0
    text = Text(rng)
    written = 0
    for index in range(files):
        path = folder_of(index)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        lines = header(index) + session_lines(rng, text, (mib << 20) // files,
                                              lambda moment, kind: make(rng, text, moment, kind))
        with open(path, "w") as out:
            out.writelines(lines)
        written += sum(len(line) for line in lines)
    return written


def dump(entry):
    return json.dumps(entry, separators=(",", ":")) + "\n"


def gemini_line(rng, text, moment, kind):
    mid = str(uuid.UUID(int=rng.getrandbits(128)))
    if kind == "other":
        return dump({"id": mid, "timestamp": stamp(moment), "type": "user",
                     "content": [{"text": text.take(rng.randint(200, 20000))}]})
    cached = rng.randint(0, 100000)
    return dump({"id": mid, "timestamp": stamp(moment), "type": "gemini", "content": text.take(rng.randint(50, 3000)),
                 "thoughts": [{"subject": "Plan", "description": text.take(300), "timestamp": stamp(moment)}],
                 "tokens": {"input": cached + rng.randint(1, 5000), "output": rng.randint(1, 3000), "cached": cached,
                            "thoughts": rng.randint(0, 800), "tool": 0, "total": 0},
                 "model": "gemini-2.5-pro",
                 "toolCalls": [{"id": "c" + mid[:8], "name": "read_file", "args": {"path": "src/a.c"},
                                "result": [{"functionResponse": {"response": {"output": text.take(rng.randint(100, 4000))}}}]}]})


def qwen_line(rng, text, moment, kind):
    base = {"uuid": str(uuid.UUID(int=rng.getrandbits(128))), "parentUuid": None, "sessionId": "s",
            "timestamp": stamp(moment), "cwd": "/home/dev/project", "version": "0.24.4", "gitBranch": "main"}
    if kind == "other":
        return dump(dict(base, type="tool_result", message={"role": "user", "parts": [{"functionResponse": {"response": {"output": text.take(rng.randint(200, 20000))}}}]}))
    cached = rng.randint(0, 100000)
    prompt = cached + rng.randint(1, 5000)
    out = rng.randint(1, 3000)
    return dump(dict(base, type="assistant", model="qwen3-coder-plus",
                     message={"role": "model", "parts": [{"text": text.take(rng.randint(50, 3000))}]},
                     usageMetadata={"promptTokenCount": prompt, "candidatesTokenCount": out, "cachedContentTokenCount": cached,
                                    "thoughtsTokenCount": 0, "totalTokenCount": prompt + out}))


def pi_line(rng, text, moment, kind):
    eid = uuid.UUID(int=rng.getrandbits(128)).hex[:8]
    if kind == "other":
        return dump({"type": "message", "id": eid, "parentId": None, "timestamp": stamp(moment),
                     "message": {"role": "toolResult", "toolCallId": "t" + eid, "toolName": "bash",
                                 "content": [{"type": "text", "text": text.take(rng.randint(200, 20000))}], "isError": False,
                                 "timestamp": int(moment.timestamp() * 1000)}})
    usage = {"input": rng.randint(1, 40), "output": rng.randint(1, 3000), "cacheRead": rng.randint(0, 100000),
             "cacheWrite": rng.randint(0, 20000)}
    usage["totalTokens"] = sum(usage.values())
    usage["cost"] = {"input": 0.0, "output": 0.01, "cacheRead": 0.02, "cacheWrite": 0.0, "total": 0.03}
    return dump({"type": "message", "id": eid, "parentId": None, "timestamp": stamp(moment),
                 "message": {"role": "assistant", "content": [{"type": "text", "text": text.take(rng.randint(50, 3000))}],
                             "api": "anthropic-messages", "provider": "anthropic", "model": "claude-sonnet-4-5",
                             "usage": usage, "stopReason": "stop", "timestamp": int(moment.timestamp() * 1000)}})


def kimi_line(rng, text, moment, kind):
    if kind == "other":
        return json.dumps({"timestamp": moment.timestamp(), "message": {"type": "ToolResult", "payload": {
            "tool_call_id": "t", "return_value": {"output": text.take(rng.randint(200, 20000))}}}}) + "\n"
    return json.dumps({"timestamp": moment.timestamp(), "message": {"type": "StatusUpdate", "payload": {
        "context_usage": 0.3, "token_usage": {"input_other": rng.randint(1, 5000), "output": rng.randint(1, 3000),
                                              "input_cache_read": rng.randint(0, 100000), "input_cache_creation": 0},
        "message_id": "chatcmpl-" + uuid.UUID(int=rng.getrandbits(128)).hex}}}) + "\n"


def write_amp(rng, home, threads):
    text = Text(rng)
    folder = os.path.join(home, ".local", "share", "amp", "threads")
    os.makedirs(folder, exist_ok=True)
    written = 0
    for index in range(threads):
        moment = START + timedelta(seconds=rng.randint(0, SPAN_DAYS * 86400))
        messages, events = [], []
        for turn in range(rng.randint(10, 80)):
            moment += timedelta(seconds=rng.randint(5, 300))
            usage = {"model": "claude-sonnet-4-5", "maxInputTokens": 168000, "inputTokens": rng.randint(1, 40),
                     "outputTokens": rng.randint(1, 3000), "cacheCreationInputTokens": rng.randint(0, 20000),
                     "cacheReadInputTokens": rng.randint(0, 100000), "totalInputTokens": 0, "timestamp": stamp(moment)}
            messages.append({"role": "user", "messageId": 2 * turn, "content": [{"type": "tool_result", "content": text.take(rng.randint(200, 8000))}],
                             "meta": {"sentAt": int(moment.timestamp() * 1000)}})
            messages.append({"role": "assistant", "messageId": 2 * turn + 1, "content": [{"type": "text", "text": text.take(rng.randint(50, 3000))}],
                             "state": {"type": "complete", "stopReason": "end_turn"}, "usage": usage})
            if index % 2 == 0:  # the older ledger shape on every other thread
                events.append({"id": str(uuid.UUID(int=rng.getrandbits(128))), "timestamp": stamp(moment), "model": "claude-sonnet-4-5",
                               "credits": 1.0, "tokens": {"input": usage["inputTokens"], "output": usage["outputTokens"]},
                               "operationType": "inference", "fromMessageId": 2 * turn, "toMessageId": 2 * turn + 1})
        thread = {"v": len(messages), "id": f"T-{index:06d}", "created": int(moment.timestamp() * 1000), "messages": messages,
                  "env": {"initial": {"trees": [{"displayName": "project", "uri": "file:///home/dev/project"}]}}}
        if events:
            thread["usageLedger"] = {"events": events}
        data = json.dumps(thread)
        with open(os.path.join(folder, f"T-{index:06d}.json"), "w") as out:
            out.write(data)
        written += len(data)
    return written


def write_copilot(rng, home, rows):
    folder = os.path.join(home, ".copilot")
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, "session-store.db")
    if os.path.exists(path):
        os.remove(path)
    database = sqlite3.connect(path)
    database.execute("PRAGMA journal_mode=WAL")
    database.executescript("""CREATE TABLE sessions (id TEXT PRIMARY KEY, cwd TEXT, repository TEXT, branch TEXT,
        summary TEXT, created_at TEXT, updated_at TEXT);
        CREATE TABLE assistant_usage_events (id INTEGER PRIMARY KEY AUTOINCREMENT, session_id TEXT NOT NULL,
        turn_index INTEGER, agent_id TEXT, model TEXT NOT NULL, copilot_usage_model TEXT, input_tokens INTEGER,
        output_tokens INTEGER, cache_read_tokens INTEGER, cache_write_tokens INTEGER, reasoning_tokens INTEGER,
        total_nano_aiu INTEGER, duration_ms INTEGER, token_details_json TEXT, created_at TEXT)""")
    database.executemany("INSERT INTO sessions (id, cwd) VALUES (?, ?)", [(f"s{i}", f"/home/dev/project{i % 7}") for i in range(rows // 50 + 1)])
    values = []
    for index in range(rows):
        read, write = rng.randint(0, 100000), rng.randint(0, 10000)
        moment = START + timedelta(seconds=rng.randint(0, SPAN_DAYS * 86400))
        values.append((f"s{index // 50}", index % 50, "claude-sonnet-4.5", read + write + rng.randint(1, 5000),
                       rng.randint(1, 3000), read, write, rng.randint(0, 500), 12000, 2000, "{}",
                       moment.strftime("%Y-%m-%d %H:%M:%S")))
    database.executemany("INSERT INTO assistant_usage_events (session_id, turn_index, model, input_tokens, output_tokens, "
                         "cache_read_tokens, cache_write_tokens, reasoning_tokens, total_nano_aiu, duration_ms, "
                         "token_details_json, created_at) VALUES (?,?,?,?,?,?,?,?,?,?,?,?)", values)
    database.commit()
    database.close()
    return os.path.getsize(path)


def write_kilo(rng, home, messages):
    folder = os.path.join(home, ".local", "share", "kilo")
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, "kilo.db")
    if os.path.exists(path):
        os.remove(path)
    database = sqlite3.connect(path)
    database.executescript("""CREATE TABLE session (id TEXT PRIMARY KEY, directory TEXT);
        CREATE TABLE message (id TEXT PRIMARY KEY, session_id TEXT NOT NULL, time_created INTEGER NOT NULL,
        time_updated INTEGER NOT NULL, data TEXT NOT NULL)""")
    rows = []
    for index in range(messages):
        created = int((START + timedelta(seconds=rng.randint(0, SPAN_DAYS * 86400))).timestamp() * 1000)
        data = {"role": "assistant", "modelID": "anthropic/claude-sonnet-4.5", "providerID": "kilo", "time": {"created": created},
                "tokens": {"input": rng.randint(10, 5000), "output": rng.randint(10, 2000), "reasoning": 0,
                           "cache": {"read": rng.randint(0, 50000), "write": rng.randint(0, 5000)}}}
        rows.append((f"msg_{index:08d}", f"ses_{index // 50:05d}", created, created, json.dumps(data)))
    database.executemany("INSERT INTO message VALUES (?, ?, ?, ?, ?)", rows)
    database.commit()
    database.close()
    return os.path.getsize(path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out")
    parser.add_argument("--claude-mib", type=int, default=1024)
    parser.add_argument("--claude-files", type=int, default=2000)
    parser.add_argument("--codex-sessions", type=int, default=200)
    parser.add_argument("--opencode-messages", type=int, default=20000)
    for tool in ("gemini", "qwen", "pi", "kimi"):
        parser.add_argument(f"--{tool}-mib", type=int, default=0)
    parser.add_argument("--amp-threads", type=int, default=0)
    parser.add_argument("--copilot-rows", type=int, default=0)
    parser.add_argument("--kilo-messages", type=int, default=0)
    parser.add_argument("--seed", type=int, default=7)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    home = os.path.abspath(args.out)
    claude = write_claude(rng, home, args.claude_mib << 20, args.claude_files)
    codex = write_codex(rng, home, args.codex_sessions)
    opencode = write_opencode(rng, home, args.opencode_messages)
    print(f"claude: {claude / 2**20:.0f} MiB in {args.claude_files} files; codex: {codex / 2**20:.0f} MiB in "
          f"{args.codex_sessions} sessions; opencode: {opencode / 2**20:.1f} MiB database")
    files = 20
    more = {
        "gemini": write_sessions(rng, home, args.gemini_mib, files,
                                 lambda i: os.path.join(home, ".gemini", "tmp", f"project{i % 4}", "chats", f"session-{i:04d}.jsonl"),
                                 lambda i: [dump({"sessionId": f"g{i}", "projectHash": "ab", "startTime": stamp(START)})], gemini_line),
        "qwen": write_sessions(rng, home, args.qwen_mib, files,
                               lambda i: os.path.join(home, ".qwen", "projects", "-home-dev-project", "chats", f"s{i:04d}.jsonl"),
                               lambda i: [], qwen_line),
        "pi": write_sessions(rng, home, args.pi_mib, files,
                             lambda i: os.path.join(home, ".pi", "agent", "sessions", "--home-dev-project--", f"{i:04d}_s.jsonl"),
                             lambda i: [dump({"type": "session", "version": 3, "id": f"p{i}", "timestamp": stamp(START), "cwd": "/home/dev/project"})],
                             pi_line),
        "kimi": write_sessions(rng, home, args.kimi_mib, files,
                               lambda i: os.path.join(home, ".kimi", "sessions", "9e107d9d", f"s{i:04d}", "wire.jsonl"),
                               lambda i: ['{"type": "metadata", "protocol_version": "1.3"}\n'], kimi_line),
        "amp": write_amp(rng, home, args.amp_threads),
        "copilot": write_copilot(rng, home, args.copilot_rows) if args.copilot_rows else 0,
        "kilo": write_kilo(rng, home, args.kilo_messages) if args.kilo_messages else 0,
    }
    for tool, written in more.items():
        if written:
            print(f"{tool}: {written / 2**20:.1f} MiB")


if __name__ == "__main__":
    main()
