#pragma once

#include "base/ChildProcess.h"
#include "base/Day.h"
#include "base/Environment.h"
#include "collect/Collector.h"
#include "history/Breakdown.h"
#include "history/UsageHistory.h"

#include "ScopedEnvironment.h"

#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using ::testing::HasSubstr;

void writeText(const std::string &path, const std::string &text);
void writeExecutable(const std::string &path, const std::string &text);
void appendText(const std::string &path, const std::string &text);
// Replaces the file at `path` by a new file (another inode) holding `text`, as a sync client,
// a backup restore or an editor does.
void replaceText(const std::string &path, const std::string &text);
std::string readText(const std::string &path);
// True once none of the processes whose ids are listed in `path` is running; waits a moment
// for killed ones to go. A zombie waiting for its reaper counts as gone.
bool listedProcessesGone(const std::string &path);

// Log lines in the shapes the AI coding tools write.
std::string claudeLine(const std::string &messageId, const std::optional<std::string> &requestId,
                       const std::string &timestamp, std::int64_t input, std::int64_t output,
                       std::int64_t cacheCreation = 0, std::int64_t cacheRead = 0,
                       const std::string &model = "claude-sonnet-4-5");
// A Codex session_meta line; `payload` adds members to its payload.
std::string codexMeta(const std::string &timestamp = "2026-01-01T00:00:00Z",
                      const std::string &payload = {});
// A Codex token_count line with the running total and (unless `last` is 0) the last turn, the
// whole total when `last` is left out.
std::string codexUsage(const std::string &timestamp, std::int64_t total, std::int64_t last = -1);
// Runs `sql` on the SQLite database at `path`, creating it if need be.
void runSql(const std::string &path, const std::string &sql);
// An OpenCode database whose message table holds these (id, data) rows.
void writeOpenCodeDatabase(const std::string &path,
                           const std::vector<std::pair<std::string, std::string>> &rows);
std::string openCodeMessage(const std::string &id, std::int64_t createdMs, std::int64_t input,
                            std::int64_t output, std::int64_t reasoning = 0,
                            std::int64_t cacheRead = 0, std::int64_t cacheWrite = 0);

// Log files, each a name and the lines written to it in this order, and the figures per day
// ("yyyy-MM-dd") they must give.
struct CountCase {
    const char *name;
    std::vector<std::pair<std::string, std::string>> files;
    std::map<std::string, std::int64_t> expected;
};

// A home folder with the tools' log folders, a repository folder, the local time zone set,
// and an environment that points the tool at all of them.
class LogTest : public ::testing::Test {
protected:
    QTemporaryDir temp;
    std::string root = temp.path().toStdString();
    std::string home = root + "/home";
    std::string repo = root + "/repo";
    std::string remote = root + "/remote.git";
    std::string claudeProjects = home + "/.claude/projects";
    std::string codexHome = home + "/.codex";
    std::string openCodeData = home + "/.local/share/opencode";
    Environment environment;
    ScopedEnvironment processEnvironment;

    void SetUp() override;
    // Local time zone as a POSIX TZ rule (no tz database needed).
    void setTimeZone(const std::string &rule);

    // A Claude Code session log, a Codex rollout, an OpenCode message file, and the stored
    // history of the repository.
    std::string session(const std::string &name = "a.jsonl") const {
        return claudeProjects + "/p/" + name;
    }
    std::string rollout(const std::string &name = "a",
                        const std::string &dayFolder = "2026/03/14") const {
        return codexHome + "/sessions/" + dayFolder + "/rollout-" + name + ".jsonl";
    }
    std::string messageFile(const std::string &id) const {
        return openCodeData + "/storage/message/ses_1/" + id + ".json";
    }
    std::string usageFile() const { return repo + "/docs/usage.json"; }

    CollectSummary collect() { return collectUsage(repo, environment); }
    UsageHistory history() const;
    std::string breakdownFile() const { return repo + "/docs/.tessel-state.breakdown"; }
    std::int64_t tokens(const std::string &day, const std::string &provider) const;

    // The variables a child of the test gets set or removed: only what the test chose, so
    // nothing of the real user's logs or configuration leaks in.
    std::map<std::string, std::optional<std::string>> childEnvironment() const;
    // Runs `command` in `workingDirectory` (the repository by default).
    ChildOutcome run(const std::vector<std::string> &command,
                     const std::string &workingDirectory = {}) const;
    ChildOutcome runTool(std::vector<std::string> arguments,
                         const std::string &workingDirectory = {}) const {
        arguments.insert(arguments.begin(), TESSEL_BINARY);
        return run(arguments, workingDirectory);
    }
    // Runs the tool and expects it to succeed, showing what it printed on standard error if not.
    ChildOutcome runToolOk(std::vector<std::string> arguments,
                           const std::string &workingDirectory = {}) const {
        ChildOutcome outcome = runTool(std::move(arguments), workingDirectory);
        EXPECT_EQ(outcome.exitCode, 0) << outcome.standardError;
        return outcome;
    }
    // Runs git in `folder` and hands back its output; fails the test when git fails.
    std::string git(const std::string &folder, std::vector<std::string> arguments) const;
    // Makes the repository a git one whose origin is an empty bare repository at `remote`.
    void initRepositoryWithRemote() const;

    // Figures per day ("yyyy-MM-dd") of one provider, the days with none left out.
    std::map<std::string, std::int64_t> figures(const std::string &provider) const;
    // The same from the breakdown beside the state, its rows summed per day; fails the test
    // where a row's split does not add up to its tokens.
    std::map<std::string, std::int64_t> breakdownFigures(const std::string &provider) const;
    // For each case, from empty log and repository folders: writes the files, each at `prefix`
    // + its name + `suffix`, line by line in the order given, collecting after every line, every
    // other line appended and the others by replacing the file with a new one that holds one
    // line more; then replaces every file by an identical copy and collects; then starts again
    // with an empty repository and collects everything at once. Each must give the expected
    // figures of `provider`, in the history and the breakdown alike, since counting must not
    // depend on when collect ran or on how the files were written.
    void expectCounts(const std::vector<CountCase> &cases, const std::string &provider,
                      const std::string &prefix, const std::string &suffix = {});
};

// A remote on the loopback address. One that answers replies "401 Unauthorized" to every
// request, as a hosted remote does to a push without credentials; one that does not accepts
// connections and never answers, as a remote behind a dead network path does.
class LoopbackRemote {
public:
    explicit LoopbackRemote(bool answers);
    ~LoopbackRemote();
    std::string url;

private:
    int m_socket;
    std::thread m_thread;
};
