#pragma once

// Log lines, documents and rows in the shapes Gemini CLI, Qwen Code, Pi, Kimi CLI, Amp and
// GitHub Copilot CLI write them, with the members the readers skip left in so that a reader
// that stumbles over them fails here.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace more_logs {

inline std::string number(std::int64_t value) {
    return std::to_string(value);
}

// A line without its newline, to stand inside an array.
inline std::string trimmed(std::string line) {
    if (!line.empty() && line.back() == '\n')
        line.pop_back();
    return line;
}

// A Gemini CLI reply; `input` holds `cached`. Without tokens it is the record written before
// they are known.
inline std::string geminiMessage(const std::string &id, const std::string &time, std::int64_t input,
                                 std::int64_t output, std::int64_t cached = 0,
                                 std::int64_t thoughts = 0, std::int64_t tool = 0,
                                 bool withTokens = true,
                                 const std::string &model = "gemini-2.5-pro") {
    const std::string tokens =
        withTokens
            ? R"({"input":)" + number(input) + R"(,"output":)" + number(output) + R"(,"cached":)" +
                  number(cached) + R"(,"thoughts":)" + number(thoughts) + R"(,"tool":)" +
                  number(tool) + R"(,"total":)" + number(input + output + thoughts + tool) + "}"
            : "null";
    return R"({"id":")" + id + R"(","timestamp":")" + time +
           R"(","type":"gemini","content":[{"text":"done"}],"thoughts":[{"subject":"Plan",)"
           R"("description":"look","timestamp":")" +
           time + R"("}],"tokens":)" + tokens + R"(,"model":")" + model + "\"}\n";
}

inline std::string qwenReply(const std::string &session, const std::string &time,
                             std::int64_t prompt, std::int64_t candidates, std::int64_t cached,
                             std::int64_t thoughts, std::int64_t total,
                             const std::string &cwd = "/home/me/app",
                             const std::string &model = "qwen3-coder-plus") {
    std::string usage = R"({"promptTokenCount":)" + number(prompt) + R"(,"candidatesTokenCount":)" +
                        number(candidates);
    if (cached > 0)
        usage += R"(,"cachedContentTokenCount":)" + number(cached);
    if (thoughts > 0)
        usage += R"(,"thoughtsTokenCount":)" + number(thoughts);
    if (total > 0)
        usage += R"(,"totalTokenCount":)" + number(total);
    usage += "}";
    std::string line = R"({"uuid":"u-)" + time + R"(","parentUuid":null,"sessionId":")" + session +
                       R"(","timestamp":")" + time + R"(","type":"assistant",)";
    if (!cwd.empty())
        line += R"("cwd":")" + cwd + "\",";
    return line + R"("version":"0.24.4","model":")" + model +
           R"(","message":{"role":"model","parts":[{"text":"ok"}]},"usageMetadata":)" + usage +
           R"(,"contextWindowSize":1000000})" + "\n";
}

inline std::string piHeader(const std::string &id, const std::string &cwd) {
    return R"({"type":"session","version":3,"id":")" + id +
           R"(","timestamp":"2026-03-14T09:00:00.000Z","cwd":")" + cwd + "\"}\n";
}

// A Pi reply at `time` (its message carries the same time in milliseconds).
inline std::string piReply(const std::string &time, std::int64_t input, std::int64_t output,
                           std::int64_t cacheRead, std::int64_t cacheWrite,
                           const std::string &model = "claude-sonnet-4-5") {
    const std::int64_t day = (std::stoll(time.substr(8, 2)) - 14) * 86400;
    const std::int64_t clock = std::stoll(time.substr(11, 2)) * 3600;
    const std::int64_t milliseconds = (1773446400 + day + clock) * 1000;
    return R"({"type":"message","id":"e)" + number(milliseconds % 100000) +
           R"(","parentId":null,"timestamp":")" + time +
           R"(","message":{"role":"assistant","content":[{"type":"text","text":"ok"}],)"
           R"("api":"anthropic-messages","provider":"anthropic","model":")" +
           model + R"(","usage":{"input":)" + number(input) + R"(,"output":)" + number(output) +
           R"(,"cacheRead":)" + number(cacheRead) + R"(,"cacheWrite":)" + number(cacheWrite) +
           R"(,"totalTokens":)" + number(input + output + cacheRead + cacheWrite) +
           R"(,"cost":{"input":0.1,"output":0.2,"cacheRead":0,"cacheWrite":0,"total":0.3}},)"
           R"("stopReason":"stop","timestamp":)" +
           number(milliseconds) + "}}\n";
}

// A Kimi CLI StatusUpdate record, written as Python's json.dumps writes it.
inline std::string kimiStatus(double seconds, const std::string &messageId, std::int64_t input,
                              std::int64_t output, std::int64_t cacheRead,
                              std::int64_t cacheCreation) {
    char time[32];
    std::snprintf(time, sizeof time, "%.3f", seconds);
    return std::string(R"({"timestamp": )") + time +
           R"(, "message": {"type": "StatusUpdate", "payload": {"context_usage": 0.2, )"
           R"("token_usage": {"input_other": )" +
           number(input) + R"(, "output": )" + number(output) + R"(, "input_cache_read": )" +
           number(cacheRead) + R"(, "input_cache_creation": )" + number(cacheCreation) +
           R"(}, "message_id": ")" + messageId + R"(", "plan_mode": null}}})" + "\n";
}

// An Amp assistant message with usage (and its own time when `timed`), after a user message.
inline std::string ampMessage(std::int64_t id, const std::string &time, std::int64_t input,
                              std::int64_t output, std::int64_t cacheRead,
                              std::int64_t cacheCreation, bool timed,
                              const std::string &model = "claude-sonnet-4-5") {
    return R"({"role":"user","messageId":)" + number(id - 1) +
           R"(,"content":[{"type":"text","text":"go"}],"meta":{"sentAt":1773478800000}},)"
           R"({"role":"assistant","messageId":)" +
           number(id) +
           R"(,"content":[{"type":"text","text":"ok"}],"state":{"type":"complete",)"
           R"("stopReason":"end_turn"},"usage":{"model":")" +
           model + R"(","maxInputTokens":168000,"inputTokens":)" + number(input) +
           R"(,"outputTokens":)" + number(output) + R"(,"cacheCreationInputTokens":)" +
           number(cacheCreation) + R"(,"cacheReadInputTokens":)" + number(cacheRead) +
           R"(,"totalInputTokens":)" + number(input + cacheRead + cacheCreation) +
           (timed ? R"(,"timestamp":")" + time + "\"" : std::string()) + "}}";
}

inline std::string ampEvent(const std::string &id, const std::string &kind, std::int64_t toMessage,
                            std::int64_t input, std::int64_t output,
                            const std::string &subagentThread = {}) {
    return R"({"id":")" + id +
           R"(","timestamp":"2026-03-14T10:00:00.000Z","model":"claude-sonnet-4-5","credits":1.5,)"
           R"("tokens":{"input":)" +
           number(input) + R"(,"output":)" + number(output) + R"(},"operationType":")" + kind +
           R"(","fromMessageId":0,"toMessageId":)" + number(toMessage) +
           (subagentThread.empty() ? "" : R"(,"subagentThreadID":")" + subagentThread + "\"") + "}";
}

// An Amp thread created 2026-03-14T09:00:00Z in file:///home/me/my%20app.
inline std::string ampThread(const std::string &id, const std::vector<std::string> &messages,
                             const std::vector<std::string> &events) {
    const auto joined = [](const std::vector<std::string> &items) {
        std::string text;
        for (const std::string &item : items)
            text += (text.empty() ? "" : ",") + item;
        return text;
    };
    std::string thread = R"({"v":14,"id":")" + id +
                         R"(","created":1773478800000,"title":"Fix it","messages":[)" +
                         joined(messages) +
                         R"(],"env":{"initial":{"trees":[{"displayName":"app",)"
                         R"("uri":"file:///home/me/my%20app"}],"platform":{"os":"linux"}}})";
    if (!events.empty())
        thread += R"(,"usageLedger":{"events":[)" + joined(events) + "]}";
    return thread + "}";
}

inline const std::string copilotSchema =
    "PRAGMA journal_mode=WAL;"
    "CREATE TABLE sessions (id TEXT PRIMARY KEY, cwd TEXT, repository TEXT, host_type TEXT, "
    "branch TEXT, summary TEXT, created_at TEXT, updated_at TEXT);"
    "INSERT INTO sessions (id, cwd) VALUES ('s1', '/home/me/app');"
    "CREATE TABLE assistant_usage_events (id INTEGER PRIMARY KEY AUTOINCREMENT, session_id TEXT "
    "NOT NULL REFERENCES sessions(id), turn_index INTEGER, agent_id TEXT, parent_tool_call_id "
    "TEXT, model TEXT NOT NULL, copilot_usage_model TEXT, input_tokens INTEGER, output_tokens "
    "INTEGER, cache_read_tokens INTEGER, cache_write_tokens INTEGER, reasoning_tokens INTEGER, "
    "total_nano_aiu INTEGER, request_multiplier REAL, duration_ms INTEGER, token_details_json "
    "TEXT, created_at TEXT DEFAULT (datetime('now')));";

// A row of the store; `input` holds both cache figures and `output` the reasoning.
inline std::string copilotRow(std::int64_t id, const std::string &session,
                              const std::string &created, std::int64_t input, std::int64_t output,
                              std::int64_t cacheRead, std::int64_t cacheWrite,
                              std::int64_t reasoning,
                              const std::string &model = "claude-sonnet-4.5") {
    return "INSERT INTO assistant_usage_events (id, session_id, turn_index, model, input_tokens, "
           "output_tokens, cache_read_tokens, cache_write_tokens, reasoning_tokens, "
           "total_nano_aiu, created_at) VALUES (" +
           number(id) + ", '" + session + "', 0, '" + model + "', " + number(input) + ", " +
           number(output) + ", " + number(cacheRead) + ", " + number(cacheWrite) + ", " +
           number(reasoning) + ", 12000, '" + created + "');";
}

} // namespace more_logs
