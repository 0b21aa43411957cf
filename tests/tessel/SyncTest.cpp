// Publishing from several machines to one remote, and what a sync may and may not touch.
#include "LogFixture.h"

#include "base/AtomicFile.h"
#include "base/Errors.h"
#include "history/GeneratedFile.h"

#include <chrono>
#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

class SyncTest : public LogTest {
protected:
    std::string homeB = root + "/homeB";
    std::string repoB = root + "/repoB";

    // Runs the tool as the second machine (another home, so another machine id and other
    // logs), and expects it to succeed.
    ChildOutcome runAsB(std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), TESSEL_BINARY);
        auto variables = childEnvironment();
        variables["HOME"] = homeB;
        variables["XDG_CONFIG_HOME"] = homeB + "/.config";
        ChildOutcome outcome = runChild(arguments, {repoB, variables, std::nullopt});
        EXPECT_EQ(outcome.exitCode, 0) << outcome.standardError;
        return outcome;
    }

    std::int64_t reportedToday(const ChildOutcome &report) const {
        const std::string &json = report.standardOutput;
        const std::string key = "\"claude\",\"total_tokens\":";
        const auto at = json.find(key);
        return at == std::string::npos ? -1 : std::stoll(json.substr(at + key.size()));
    }
};

TEST_F(SyncTest, TwoMachinesPublishingInTurnsAddUpAndNeitherTouchesTheOthersFile) {
    // Machine A's repository predates several machines: its history holds a day no log covers.
    initRepositoryWithRemote();
    writeText(usageFile(),
              R"({"rows":[{"day":"2026-01-01","total_tokens":50,"providers":{"codex":50}}]})");
    writeText(session(), claudeLine("a1", "r", "2026-03-13T10:00:00Z", 100, 0) +
                             claudeLine("a2", "r", "2026-03-14T10:00:00Z", 10, 0));
    const std::string logB = homeB + "/.claude/projects/p/b.jsonl";
    writeText(logB, claudeLine("b1", "r", "2026-03-12T10:00:00Z", 5, 0) +
                        claudeLine("b2", "r", "2026-03-14T09:00:00Z", 1000, 0));

    runToolOk({"run", "daily", "--repo-dir", repo});
    git(root, {"clone", "--quiet", remote, repoB});
    runAsB({"run", "daily", "--repo-dir", repoB});

    // Both have new usage; A publishes first, so B's clone has fallen behind. B's first push is
    // also overtaken by another push (its pre-push hook makes one), which B takes in and
    // pushes again.
    appendText(session(), claudeLine("a3", "r", "2026-03-14T11:00:00Z", 1, 0));
    appendText(logB, claudeLine("b3", "r", "2026-03-14T11:00:00Z", 2, 0));
    runToolOk({"run", "daily", "--repo-dir", repo});
    writeExecutable(repoB + "/.git/hooks/pre-push",
                    "#!/bin/sh\n[ -e ../overtaken ] && exit 0\ntouch ../overtaken\n"
                    "unset GIT_DIR GIT_INDEX_FILE GIT_WORK_TREE\n"
                    "git -C '" +
                        repo +
                        "' -c user.name=x -c user.email=x@x commit -q "
                        "--allow-empty -m other && git -C '" +
                        repo +
                        "' push -q origin HEAD\n"
                        "exit 0\n");
    runAsB({"run", "daily", "--repo-dir", repoB});
    EXPECT_TRUE(fs::exists(root + "/overtaken"));
    runToolOk({"run", "daily", "--repo-dir", repo});

    const std::pair<const char *, std::int64_t> sums[] = {
        {"2026-01-01", 50}, {"2026-03-12", 5}, {"2026-03-13", 100}, {"2026-03-14", 1013}};
    const UsageHistory published = parseUsageHistory(git(remote, {"show", "HEAD:docs/usage.json"}));
    EXPECT_EQ(published.days.size(), std::size(sums));
    for (const auto &[day, total] : sums)
        EXPECT_EQ(published.dayTotal(*parseDay(day)), total) << day;
    EXPECT_EQ(history(), published);

    // Each machine's own file is exactly what that machine wrote.
    const std::string machines = git(remote, {"ls-tree", "--name-only", "HEAD", "docs/machines/"});
    EXPECT_EQ(std::count(machines.begin(), machines.end(), '\n'), 2);
    for (const auto &[clone, folder] : {std::pair{repo, "a"}, std::pair{repoB, "b"}})
        for (const auto &entry : fs::directory_iterator(clone + "/docs/machines"))
            EXPECT_EQ(
                readText(entry.path()),
                git(remote, {"show", "HEAD:docs/machines/" + entry.path().filename().string()}))
                << folder;

    // Today on either machine: its own fresh figures and the other's as of the last sync.
    EXPECT_EQ(reportedToday(runTool({"report", "today", "--json"})), 1013);
    appendText(logB, claudeLine("b4", "r", "2026-03-14T12:00:00Z", 7, 0));
    runAsB({"collect"});
    EXPECT_EQ(reportedToday(runAsB({"report", "today", "--json"})), 1020);
}

TEST_F(SyncTest, TheUsersOwnDocumentsAreLeftAloneAndNeverStaged) {
    initRepositoryWithRemote();
    writeText(session(), claudeLine("m", "r", "2026-03-14T10:00:00Z", 1500, 0));
    writeText(repo + "/docs/README.md", "# My notes\n");
    git(repo, {"add", "docs/README.md"});
    git(repo, {"-c", "user.name=me", "-c", "user.email=me@x", "commit", "-q", "-m", "notes"});
    writeText(repo + "/docs/README.md", "# My notes\n\nNot committed yet.\n");
    writeText(repo + "/mine.txt", "staged by the user");
    git(repo, {"add", "mine.txt"});
    const std::string profile = root + "/profile";
    git(root, {"init", "--quiet", profile});
    writeText(profile + "/tessel-heatmap.svg", "<svg>my own picture</svg>");
    writeText(profile + "/staged.txt", "the user's");
    git(profile, {"add", "staged.txt"});

    const ChildOutcome daily =
        runToolOk({"run", "daily", "--repo-dir", repo, "--profile-repo-dir", profile});
    EXPECT_EQ(readText(repo + "/docs/README.md"), "# My notes\n\nNot committed yet.\n");
    EXPECT_THAT(daily.standardError, HasSubstr(repo + "/docs/README.md"));
    EXPECT_THAT(daily.standardError, HasSubstr(profile + "/tessel-heatmap.svg"));
    EXPECT_EQ(readText(profile + "/tessel-heatmap.svg"), "<svg>my own picture</svg>");
    // With nothing of its own to commit there, the user's staged file stays staged.
    EXPECT_EQ(git(profile, {"status", "--porcelain"}), "A  staged.txt\n?? tessel-heatmap.svg\n");
    EXPECT_EQ(git(repo, {"status", "--porcelain"}), " M docs/README.md\nA  mine.txt\n");
    EXPECT_EQ(git(remote, {"show", "HEAD:docs/README.md"}), "# My notes\n");
    EXPECT_THAT(git(remote, {"show", "HEAD:docs/heatmap.svg"}), HasSubstr("<svg"));
}

TEST(GeneratedDocument, ReplacedOnlyWhenAbsentOrWrittenByTessel) {
    QTemporaryDir temp;
    const std::string folder = temp.path().toStdString();
    const std::string oldReadme =
        "# AI coding token usage\n\n![Tokens per day over the last 98 days](heatmap.svg)\n\nold";
    const std::string oldPicture = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"10\">\n"
                                   "<title>Tokens per day, last 98 days</title>\n</svg>\n";
    const struct {
        const char *name;
        std::optional<std::string> text; // none: nothing there yet
        bool replaced;
    } cases[] = {
        {"absent", std::nullopt, true},
        {"marked", withGeneratedMark("old"), true},
        {"README from before the mark", oldReadme, true},
        {"picture from before the mark", oldPicture, true},
        {"the user's", "# Mine\n", false},
        {"the user's picture", "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"3\"/>", false},
    };
    int index = 0;
    for (const auto &c : cases) {
        const std::string path = folder + "/doc" + std::to_string(index++);
        if (c.text)
            writeText(path, *c.text);
        EXPECT_EQ(replaceGeneratedFile(path, "new"), c.replaced) << c.name;
        EXPECT_EQ(readText(path), c.replaced ? withGeneratedMark("new") : *c.text) << c.name;
    }
    // A link or a folder in a document's place is left alone.
    fs::create_symlink(folder + "/elsewhere", folder + "/link");
    fs::create_directories(folder + "/folder");
    EXPECT_FALSE(replaceGeneratedFile(folder + "/link", "new"));
    EXPECT_FALSE(replaceGeneratedFile(folder + "/folder", "new"));
    EXPECT_FALSE(fs::exists(folder + "/elsewhere"));
}

TEST(AtomicFile, AReplacedFileKeepsItsModeAndANewOneFollowsTheUmask) {
    QTemporaryDir temp;
    const std::string folder = temp.path().toStdString();
    const mode_t previousMask = ::umask(027);
    const std::pair<std::optional<mode_t>, mode_t> cases[] = {
        {0600, 0600}, {0664, 0664}, {0755, 0755}, {std::nullopt, 0640}};
    int index = 0;
    for (const auto &[existing, expected] : cases) {
        const std::string path = folder + "/f" + std::to_string(index++);
        if (existing) {
            writeText(path, "old");
            ::chmod(path.c_str(), *existing);
        }
        writeFileAtomically(path, "new");
        struct stat info {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, expected) << path;
    }
    ::umask(previousMask);
    // A FIFO in a file's place is refused at once, never waited on.
    const std::string fifo = folder + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_THROW(readWholeFile(fifo), FileError);
}

TEST(ChildProcess, TheDeadlineAndTheChildsEndLeaveNothingOfItsGroupRunning) {
    QTemporaryDir temp;
    const std::string pids = temp.path().toStdString() + "/pids";
    const std::string noteChild = "sleep 30 & echo $! >> '" + pids + "'; ";
    struct Case {
        const char *name;
        std::string script;
        std::optional<std::chrono::milliseconds> deadline;
        bool timedOut;
    };
    const Case cases[] = {
        {"grandchild holds the pipes", noteChild + "echo done", std::nullopt, false},
        {"endless writer", noteChild + "exec yes", std::chrono::milliseconds(300), true},
        {"sleeper", noteChild + "sleep 30", std::chrono::milliseconds(300), true},
    };
    for (const Case &run : cases) {
        fs::remove(pids);
        const auto started = std::chrono::steady_clock::now();
        ChildOptions options;
        options.deadline = run.deadline;
        const ChildOutcome outcome = runChild({"sh", "-c", run.script}, options);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5)) << run.name;
        EXPECT_EQ(outcome.timedOut, run.timedOut) << run.name;
        EXPECT_EQ(outcome.succeeded(), !run.timedOut) << run.name;
        EXPECT_TRUE(listedProcessesGone(pids)) << run.name;
    }
}

TEST_F(SyncTest, ExcludePatternsMatchAFolderNamedWithGlobCharacters) {
    repo = root + "/top/sub [x]";
    fs::create_directories(repo);
    git(root + "/top", {"init", "--quiet"});
    writeText(session(), claudeLine("m", "r", "2026-03-14T10:00:00Z", 1, 0));
    runToolOk({"run", "daily", "--repo-dir", repo});
    EXPECT_TRUE(fs::exists(repo + "/docs/.tessel-state"));
    EXPECT_EQ(git(repo, {"status", "--porcelain", "--untracked-files=all"}), "");
}

} // namespace
