#include "LogFixture.h"

#include "ChildProcess.h"

#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "tessel-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder");
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code error;
    fs::remove_all(m_path, error);
}

void writeText(const std::string &path, const std::string &text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

void appendText(const std::string &path, const std::string &text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::app) << text;
}

std::string readText(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string claudeLine(const std::string &messageId, const std::optional<std::string> &requestId,
                       const std::string &timestamp, std::int64_t input, std::int64_t output,
                       std::int64_t cacheCreation, std::int64_t cacheRead,
                       const std::string &model) {
    std::string line = R"({"parentUuid":"p","isSidechain":false,"type":"assistant",)";
    line += R"("message":{"id":")" + messageId +
            R"(","type":"message","role":"assistant","model":")" + model +
            R"(","content":[{"type":"text","text":"done"}],"usage":{"input_tokens":)" +
            std::to_string(input) + R"(,"cache_creation_input_tokens":)" +
            std::to_string(cacheCreation) + R"(,"cache_read_input_tokens":)" +
            std::to_string(cacheRead) + R"(,"output_tokens":)" + std::to_string(output) + "}},";
    if (requestId)
        line += R"("requestId":")" + *requestId + R"(",)";
    line += R"("uuid":"u","timestamp":")" + timestamp + "\"}\n";
    return line;
}

std::string codexMeta(const std::string &forkedFrom) {
    std::string payload = R"({"id":"session","cwd":"/w")";
    if (!forkedFrom.empty())
        payload += R"(,"forked_from_id":")" + forkedFrom + "\"";
    return R"({"timestamp":"2026-01-01T00:00:00Z","type":"session_meta","payload":)" + payload +
           "}}\n";
}

std::string codexUsage(const std::string &timestamp, std::int64_t total) {
    const std::string usage =
        R"({"input_tokens":)" + std::to_string(total - total / 4) +
        R"(,"cached_input_tokens":0,"output_tokens":)" + std::to_string(total / 4) +
        R"(,"reasoning_output_tokens":0,"total_tokens":)" + std::to_string(total) + "}";
    return R"({"timestamp":")" + timestamp +
           R"(","type":"event_msg","payload":{"type":"token_count","info":{"total_token_usage":)" +
           usage + R"(,"last_token_usage":)" + usage + R"(},"rate_limits":null}})" + "\n";
}

std::string openCodeMessage(const std::string &id, std::int64_t createdMs, std::int64_t input,
                            std::int64_t output, std::int64_t reasoning, std::int64_t cacheRead,
                            std::int64_t cacheWrite) {
    return R"({"id":")" + id + R"(","role":"assistant","time":{"created":)" +
           std::to_string(createdMs) + R"(},"tokens":{"input":)" + std::to_string(input) +
           R"(,"output":)" + std::to_string(output) + R"(,"reasoning":)" +
           std::to_string(reasoning) + R"(,"cache":{"read":)" + std::to_string(cacheRead) +
           R"(,"write":)" + std::to_string(cacheWrite) + "}}}";
}

void LogTest::SetUp() {
    fs::create_directories(home);
    fs::create_directories(repo);
    environment.set("HOME", home);
    environment.set("PATH", std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin");
    environment.set("XDG_CONFIG_HOME", home + "/.config");
    environment.set("TESSEL_NOW", "2026-03-14T12:00:00Z");
    if (const char *zone = std::getenv("TZ"))
        m_savedTimeZone = zone;
    setTimeZone("UTC0");
}

void LogTest::TearDown() {
    if (m_savedTimeZone)
        setenv("TZ", m_savedTimeZone->c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

void LogTest::setTimeZone(const std::string &rule) {
    setenv("TZ", rule.c_str(), 1);
    tzset();
    environment.set("TZ", rule);
}

UsageHistory LogTest::history() const {
    return readUsageHistory(repo + "/docs/usage.json").value_or(UsageHistory{});
}

std::int64_t LogTest::tokens(const std::string &day, const std::string &provider) const {
    return history().tokens(*parseDay(day), provider);
}

ToolResult LogTest::runTool(const std::vector<std::string> &arguments,
                            const std::string &workingDirectory) const {
    std::vector<std::string> command{TESSEL_BINARY};
    command.insert(command.end(), arguments.begin(), arguments.end());
    ChildOptions options;
    options.workingDirectory = workingDirectory.empty() ? repo : workingDirectory;
    // Only what the test chose: nothing of the real user's logs or configuration leaks in.
    for (const char *name : {"CLAUDE_CONFIG_DIR", "CODEX_HOME", "OPENCODE_DB", "OPENCODE_DATA_DIR",
                             "XDG_DATA_HOME", "XDG_CONFIG_HOME", "TESSEL_NOW", "TZ"})
        options.environment[name] = environment.get(name);
    options.environment["HOME"] = home;
    options.environment["PATH"] = environment.get("PATH");
    const ChildOutcome outcome = runChild(command, options);
    return {outcome.exitCode, outcome.standardOutput, outcome.standardError};
}

void LogTest::writeOpenCodeDatabase(const std::string &path,
                                    const std::vector<std::pair<std::string, std::string>> &rows) {
    fs::create_directories(fs::path(path).parent_path());
    sqlite3 *database = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &database), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(database,
                           "PRAGMA journal_mode=WAL; CREATE TABLE IF NOT EXISTS message (id TEXT "
                           "PRIMARY KEY, session_id TEXT, time_created INTEGER, data TEXT);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    for (const auto &[id, data] : rows) {
        sqlite3_stmt *statement = nullptr;
        sqlite3_prepare_v2(database, "INSERT OR REPLACE INTO message VALUES (?, 'ses_1', 0, ?)", -1,
                           &statement, nullptr);
        sqlite3_bind_text(statement, 1, id.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(statement, 2, data.c_str(), -1, SQLITE_TRANSIENT);
        EXPECT_EQ(sqlite3_step(statement), SQLITE_DONE);
        sqlite3_finalize(statement);
    }
    sqlite3_close(database);
}
