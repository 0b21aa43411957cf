#pragma once

#include "Collector.h"
#include "Day.h"
#include "Environment.h"
#include "UsageHistory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A folder of the test's own, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return m_path; }

private:
    std::string m_path;
};

void writeText(const std::string &path, const std::string &text);
void appendText(const std::string &path, const std::string &text);
std::string readText(const std::string &path);

// Log lines in the shapes the AI coding tools write.
std::string claudeLine(const std::string &messageId, const std::optional<std::string> &requestId,
                       const std::string &timestamp, std::int64_t input, std::int64_t output,
                       std::int64_t cacheCreation = 0, std::int64_t cacheRead = 0,
                       const std::string &model = "claude-sonnet-4-5");
std::string codexMeta(const std::string &forkedFrom = "");
std::string codexUsage(const std::string &timestamp, std::int64_t total);
std::string openCodeMessage(const std::string &id, std::int64_t createdMs, std::int64_t input,
                            std::int64_t output, std::int64_t reasoning = 0,
                            std::int64_t cacheRead = 0, std::int64_t cacheWrite = 0);

// The result of running the built tessel executable.
struct ToolResult {
    int exitCode;
    std::string standardOutput;
    std::string standardError;
};

// A home folder with the tools' log folders, a repository folder, the local time zone set,
// and an environment that points the tool at all of them.
class LogTest : public ::testing::Test {
protected:
    TempDir temp;
    std::string home = temp.path() + "/home";
    std::string repo = temp.path() + "/repo";
    std::string claudeProjects = home + "/.claude/projects";
    std::string codexHome = home + "/.codex";
    std::string openCodeData = home + "/.local/share/opencode";
    Environment environment;

    void SetUp() override;
    void TearDown() override;
    // Local time zone as a POSIX TZ rule (no tz database needed).
    void setTimeZone(const std::string &rule);

    CollectSummary collect() { return collectUsage(repo, environment); }
    UsageHistory history() const;
    std::int64_t tokens(const std::string &day, const std::string &provider) const;

    // Runs the tool executable in `workingDirectory` (the repository by default).
    ToolResult runTool(const std::vector<std::string> &arguments,
                       const std::string &workingDirectory = {}) const;

    void writeOpenCodeDatabase(const std::string &path,
                               const std::vector<std::pair<std::string, std::string>> &rows);

private:
    std::optional<std::string> m_savedTimeZone;
};
