// Whatever happens to the log files between collects (appended to, replaced, cut short,
// touched, moved to another folder), the figures and the breakdown equal a collect from
// scratch over the files as they are: random sequences of such changes to generated logs of
// every tool, from fixed seeds.
#include "LogFixture.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>

namespace fs = std::filesystem;

namespace {

// Prices every request by its split; one model has no price.
const Pricing testPrices{
    "test prices 1", [](Provider, std::string_view model, const TokenSplit &split, DayNumber day) {
        if (model == "claude-haiku-4-5")
            return RequestCost{};
        return RequestCost{3 * split.input + 15 * split.output + split.cacheRead +
                               4 * split.cacheWrite + 7 * split.reasoning + day % 5,
                           true};
    }};

class ChangingLogsTest : public LogTest {
protected:
    // Collect flushes every file it writes to disk, and this test collects some five hundred
    // times: its repositories live on a memory file system where there is one.
    QTemporaryDir memory{fs::is_directory("/dev/shm") ? "/dev/shm/tessel-test-XXXXXX"
                                                      : temp.path() + "/repositories-XXXXXX"};
    std::string scratch = memory.path().toStdString() + "/scratch";
    std::mt19937 random;
    // Modification times move on by a second with every change, so that no change can hide
    // behind a coarse file-system clock.
    std::int64_t clock = 1773400000;
    std::vector<std::string> lineLogs, messageFiles;
    std::string database = openCodeData + "/opencode.db";

    void SetUp() override {
        LogTest::SetUp();
        repo = memory.path().toStdString() + "/repo";
        fs::create_directories(repo);
        fs::create_directories(scratch);
    }

    int pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(random); }
    bool chance(int percent) { return pick(100) < percent; }
    std::string time() {
        return "2026-03-1" + std::to_string(2 + pick(3)) + "T1" + std::to_string(pick(10)) + ":0" +
               std::to_string(pick(10)) + ":00Z";
    }
    void changed(const std::string &path) {
        const timespec times[2] = {{++clock, 0}, {clock, 0}};
        ::utimensat(AT_FDCWD, path.c_str(), times, 0);
    }

    // Claude Code lines from a small pool of messages, so that copies meet across files: some
    // streamed (more output), some without message id, some sidechain replays.
    std::string claudeLines() {
        std::string lines;
        for (int n = 1 + pick(3); n > 0; --n) {
            const int message = pick(6);
            std::string line = claudeLine(
                "msg_" + std::to_string(message),
                chance(20) ? std::nullopt : std::optional("req_" + std::to_string(message)), time(),
                10 * message + 1, 5 + pick(4) * 10, pick(2) * 100, pick(3) * 1000,
                chance(30) ? "claude-haiku-4-5" : "claude-sonnet-4-5");
            if (chance(15)) {
                const size_t id = line.find(R"("id":")");
                line.erase(id, line.find(',', id) + 1 - id);
            } else if (chance(15))
                line.replace(line.find(R"("isSidechain":false)"), 19, R"("isSidechain":true)");
            lines += line;
        }
        return lines;
    }
    // Codex usage lines: turns on a running total, repeats, lines every fork of one parent
    // shares, lines with only the last turn and the context-window line.
    std::string codexLines() {
        std::string lines;
        for (int n = 1 + pick(3); n > 0; --n) {
            const int kind = pick(10);
            const std::int64_t total = 1000 * (1 + pick(8)), turn = 100 * (1 + pick(5));
            if (kind < 5)
                lines += codexUsage(time(), total, turn);
            else if (kind < 7)
                lines += codexUsage("2026-03-1" + std::to_string(2 + kind % 2) + "T09:00:00Z",
                                    500 * kind, 500);
            else if (kind == 7)
                lines += codexMeta(time(), R"(,"cwd":"/w/)" + std::to_string(pick(2)) + "\"");
            else if (kind == 8)
                lines += R"({"timestamp":")" + time() +
                         R"(","type":"event_msg","payload":{"type":"token_count","info":{)"
                         R"("last_token_usage":{"input_tokens":)" +
                         std::to_string(turn) + R"(,"output_tokens":7,"total_tokens":)" +
                         std::to_string(turn + 7) + "}}}}\n";
            else
                lines += R"({"timestamp":")" + time() +
                         R"(","type":"event_msg","payload":{"type":"token_count","info":{)"
                         R"("total_token_usage":{"input_tokens":0,"output_tokens":0,)"
                         R"("total_tokens":6000}}}})"
                         "\n";
        }
        return lines;
    }
    // An OpenCode message: figures from a few values, so that forks' identical copies occur.
    std::string message(const std::string &id) {
        return openCodeMessage(id, 1773482400000 + 1000 * pick(2), 100 * (1 + pick(2)),
                               10 * pick(2), pick(2), 0, 5);
    }
    std::string messageId() { return "msg_" + std::to_string(pick(8)); }
    // Rows added or changed, a row deleted, or the database replaced by a new file.
    std::string changeDatabase() {
        std::string what = "database rows written";
        if (fs::exists(database) && chance(30)) {
            runSql(database, "DELETE FROM message WHERE id = '" + messageId() + "';");
            what = "database row deleted";
        } else if (fs::exists(database) && chance(20)) {
            const std::string copy = database + ".new";
            fs::copy_file(database, copy, fs::copy_options::overwrite_existing);
            fs::rename(copy, database);
            what = "database replaced";
        }
        std::vector<std::pair<std::string, std::string>> rows;
        for (int n = pick(3); n > 0; --n) {
            const std::string id = messageId();
            rows.emplace_back(id, message(id));
        }
        writeOpenCodeDatabase(database, rows);
        changed(database);
        return what;
    }

    std::string logPath() {
        switch (pick(4)) {
        case 0:
            return claudeProjects + "/p" + std::to_string(pick(2)) + "/s" +
                   std::to_string(pick(3)) + ".jsonl";
        case 1:
            return codexHome + "/sessions/2026/03/14/rollout-" + std::to_string(pick(3)) + ".jsonl";
        case 2:
            return codexHome + "/archived_sessions/rollout-" + std::to_string(pick(3)) + ".jsonl";
        default:
            return openCodeData + "/storage/message/ses_" + std::to_string(pick(2)) + "/" +
                   messageId() + ".json";
        }
    }
    bool isMessageFile(const std::string &path) const { return path.ends_with(".json"); }
    std::string linesFor(const std::string &path) {
        return path.starts_with(claudeProjects) ? claudeLines() : codexLines();
    }
    // Another folder of the same tool for `path`.
    std::string movedPath(const std::string &path) {
        const fs::path file(path);
        if (isMessageFile(path))
            return openCodeData + "/storage/message/ses_" + std::to_string(2 + pick(2)) + "/" +
                   file.filename().string();
        if (path.starts_with(claudeProjects))
            return claudeProjects + "/q" + std::to_string(pick(2)) + "/" + file.filename().string();
        return path.find("/archived_sessions/") != std::string::npos
                   ? codexHome + "/sessions/2026/03/13/" + file.filename().string()
                   : codexHome + "/archived_sessions/" + file.filename().string();
    }

    // A new log file, message file or database rows.
    void create() {
        const std::string path = logPath();
        if (fs::exists(path))
            return;
        if (isMessageFile(path)) {
            writeText(path, message(fs::path(path).stem().string()));
            messageFiles.push_back(path);
        } else {
            writeText(path, linesFor(path));
            lineLogs.push_back(path);
        }
        changed(path);
    }

    // One random change to one file; answers what it did, for the failure message.
    std::string change() {
        const int target = pick(5);
        if (target == 3)
            return changeDatabase();
        std::vector<std::string> *list = target == 2 ? &messageFiles : &lineLogs;
        if (list->empty() || target == 4) {
            create();
            return "created";
        }
        std::string &path = (*list)[pick(static_cast<int>(list->size()))];
        const std::string text = readText(path);
        switch (pick(6)) {
        case 0:
            if (isMessageFile(path)) {
                replaceText(path, message(fs::path(path).stem().string()));
            } else {
                appendText(path, linesFor(path));
            }
            changed(path);
            return "appended to " + path;
        case 1:
            replaceText(path, chance(30) ? text : text + linesFor(path));
            changed(path);
            return "replaced " + path;
        case 2: {
            // Rewritten: a line dropped and others added, in a new file or in place.
            std::string rewritten = text;
            if (const size_t cut = rewritten.find('\n'); cut != std::string::npos)
                rewritten.erase(0, cut + 1);
            rewritten += isMessageFile(path) ? "" : linesFor(path);
            if (chance(50))
                replaceText(path, rewritten);
            else
                writeText(path, rewritten);
            changed(path);
            return "rewritten " + path;
        }
        case 3:
            fs::resize_file(path, text.empty() ? 0 : pick(static_cast<int>(text.size())));
            changed(path);
            return "cut short " + path;
        case 4:
            changed(path);
            return "touched " + path;
        default: {
            const std::string target = movedPath(path);
            if (fs::exists(target))
                return "nothing";
            fs::create_directories(fs::path(target).parent_path());
            fs::rename(path, target);
            const std::string from = path;
            path = target;
            return "moved " + from + " to " + target;
        }
        }
    }

    // The history's figures and the breakdown's rows.
    std::pair<std::map<std::string, std::map<std::string, std::int64_t>>,
              std::map<BreakdownKey, BreakdownFigures>>
    counted() const {
        std::map<std::string, std::map<std::string, std::int64_t>> byProvider;
        for (const char *provider : {"claude", "codex", "opencode"})
            byProvider[provider] = figures(provider);
        const auto breakdown = readBreakdown(breakdownFile());
        return {byProvider,
                breakdown ? breakdown->rows : std::map<BreakdownKey, BreakdownFigures>{}};
    }
};

TEST_F(ChangingLogsTest, FiguresAfterAnyChangesEqualACollectFromScratch) {
    for (unsigned seed = 1; seed <= 24; ++seed) {
        random.seed(seed);
        lineLogs.clear();
        messageFiles.clear();
        fs::remove_all(home);
        fs::remove_all(repo + "/docs");
        for (int i = 0; i < 4; ++i)
            create();
        std::string changes;
        for (int step = 0; step < 10; ++step) {
            changes += change() + "; ";
            collectUsage(repo, environment, testPrices);
            const auto incremental = counted();
            for (const char *provider : {"claude", "codex", "opencode"})
                EXPECT_EQ(breakdownFigures(provider), incremental.first.at(provider))
                    << "seed " << seed << " after " << changes << provider;

            fs::remove_all(scratch + "/docs");
            collectUsage(scratch, environment, testPrices);
            std::swap(repo, scratch);
            const auto fromScratch = counted();
            std::swap(repo, scratch);
            ASSERT_EQ(incremental.first, fromScratch.first)
                << "seed " << seed << " after " << changes;
            ASSERT_EQ(incremental.second, fromScratch.second)
                << "seed " << seed << " after " << changes << " (breakdown)";
        }
    }
}

} // namespace
