// run daily: the documents it renders and how it commits and pushes; the demo repository.
#include "LogFixture.h"

#include "history/Heatmap.h"
#include "history/RepoReadme.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <regex>

namespace fs = std::filesystem;

namespace {

class PublishTest : public LogTest {
protected:
    void SetUp() override {
        LogTest::SetUp();
        initRepositoryWithRemote();
        writeText(session(), claudeLine("m", "r", "2026-03-14T10:00:00Z", 1500, 0));
    }

    int commitCount(const std::string &gitDirectory) {
        return std::stoi(git(gitDirectory, {"rev-list", "--count", "--all"}));
    }
};

TEST_F(PublishTest, CommitsTheThreeDocumentsPushesOnlyWhenSomethingIsNewAndCopiesThePicture) {
    runToolOk({"run", "daily", "--repo-dir", repo}, root);
    EXPECT_EQ(commitCount(remote), 1);
    const std::string files = git(remote, {"ls-tree", "-r", "--name-only", "HEAD"});
    EXPECT_THAT(files,
                ::testing::MatchesRegex("docs/README.md\ndocs/heatmap.svg\n"
                                        "docs/machines/[0-9a-f]{32}.json\ndocs/usage.json\n"));
    // The collector's own files never reach a commit, nor show as untracked.
    EXPECT_EQ(git(repo, {"status", "--porcelain"}), "");

    runToolOk({"run", "daily", "--repo-dir", repo});
    EXPECT_EQ(commitCount(remote), 1);

    // New usage makes a new commit; a profile repository gets its copy of the picture.
    const std::string profile = root + "/profile";
    git(root, {"init", "--quiet", profile});
    appendText(session(), claudeLine("n", "r", "2026-03-14T11:00:00Z", 1, 0));
    runToolOk({"run", "daily", "--repo-dir", repo, "--profile-repo-dir", profile});
    EXPECT_EQ(commitCount(remote), 2);
    EXPECT_THAT(git(remote, {"show", "HEAD:docs/README.md"}), HasSubstr("1,501"));
    EXPECT_EQ(git(profile, {"ls-tree", "--name-only", "HEAD"}), "tessel-heatmap.svg\n");
    EXPECT_EQ(readText(profile + "/tessel-heatmap.svg"), readText(repo + "/docs/heatmap.svg"));
    // The usage repository may be the profile repository too.
    runToolOk({"run", "daily", "--repo-dir", repo, "--profile-repo-dir", repo});
    EXPECT_THAT(git(remote, {"ls-tree", "--name-only", "HEAD"}), HasSubstr("tessel-heatmap.svg"));
}

// A failing git step fails the sync with git's message on one line. Hooks and a credential
// helper that never return, with the git deadline shortened: the sync fails naming the step,
// in time, and leaves nothing running. The tool's own commits run no hooks at all, and a
// remote asking for a password fails at once instead of asking.
TEST_F(PublishTest, GitFailuresAndHangsEndTheSyncInTimeLeavingNothingRunning) {
    const LoopbackRemote wall(true);
    const std::string pids = root + "/pids";
    const std::string sleeper = "#!/bin/sh\necho $$ >> '" + pids + "'\nexec sleep 30\n";
    processEnvironment.set("TESSEL_GIT_TIMEOUT", "1");
    environment.set("TESSEL_GIT_TIMEOUT", "1");
    struct Case {
        const char *name;
        std::function<void()> arrange;
        std::string failure; // empty: the sync succeeds
    };
    const Case cases[] = {
        {"commit hooks",
         [&] {
             for (const char *hook : {"pre-commit", "post-commit", "post-merge"})
                 writeExecutable(repo + "/.git/hooks/" + hook, sleeper);
         },
         ""},
        {"pre-push hook", [&] { writeExecutable(repo + "/.git/hooks/pre-push", sleeper); },
         "git push did not finish within 1 s"},
        // Left behind by the killed push, its lock files would stop the next case.
        {"reference-transaction hook",
         [&] {
             fs::remove(repo + "/.git/hooks/pre-push");
             writeExecutable(repo + "/.git/hooks/reference-transaction", sleeper);
         },
         "git push did not finish within 1 s"},
        // The killed push left no lock behind that would stop the next sync.
        {"next sync", [&] { fs::remove(repo + "/.git/hooks/reference-transaction"); }, ""},
        {"missing remote",
         [&] {
             git(repo, {"remote", "set-url", "origin", root + "/no-such-remote"});
         },
         "no-such-remote"},
        {"a token in the remote's address",
         [&] {
             git(repo, {"remote", "set-url", "origin",
                        "http://127.0.0.1:1/usage.git?access_token=s3cret"});
         },
         "access_token=***"},
        {"remote asking for a password",
         [&] {
             git(repo, {"remote", "set-url", "origin", wall.url});
         },
         "terminal prompts disabled"},
        {"credential helper",
         [&] {
             writeExecutable(root + "/helper", sleeper);
             git(repo, {"config", "credential.helper", root + "/helper"});
         },
         "git fetch did not finish within 1 s"},
    };
    for (const Case &run : cases) {
        fs::remove(pids);
        run.arrange();
        appendText(session(), claudeLine(run.name, "r", "2026-03-14T11:00:00Z", 1, 0));
        const auto started = std::chrono::steady_clock::now();
        const ChildOutcome daily = runTool({"run", "daily", "--repo-dir", repo});
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(8)) << run.name;
        if (run.failure.empty()) {
            EXPECT_EQ(daily.exitCode, 0) << run.name << daily.standardError;
            EXPECT_FALSE(fs::exists(pids)) << run.name;
        } else {
            EXPECT_EQ(daily.exitCode, 1) << run.name;
            EXPECT_THAT(daily.standardError, HasSubstr(run.failure)) << run.name;
            EXPECT_THAT(daily.standardError, ::testing::Not(HasSubstr("s3cret"))) << run.name;
            EXPECT_EQ(std::count(daily.standardError.begin(), daily.standardError.end(), '\n'), 1)
                << run.name << daily.standardError;
            EXPECT_TRUE(listedProcessesGone(pids)) << run.name;
        }
    }
    const ChildOutcome notRepository = runTool({"run", "daily", "--repo-dir", root});
    EXPECT_EQ(notRepository.exitCode, 1);
    EXPECT_THAT(notRepository.standardError, HasSubstr("not a git repository"));
}

TEST(HeatmapDocument, LevelsColoursAndGridOrder) {
    const std::pair<std::int64_t, int> levels[] = {
        {0, 0},          {1, 1},          {999'999, 1},     {1'000'000, 2}, {9'999'999, 2},
        {10'000'000, 3}, {99'999'999, 3}, {100'000'000, 4}, {-1, 0}};
    for (const auto &[tokens, level] : levels)
        EXPECT_EQ(heatmapLevel(tokens), level) << tokens;

    const DayNumber today = *parseDay("2026-03-14");
    UsageHistory history;
    history.days[today]["claude"] = 150'000'000;
    history.days[today - 97]["codex"] = 5;
    history.days[today - 98]["codex"] = 50'000'000; // outside the 98 days
    const std::string svg = renderHeatmap(history, today);
    const std::regex cell(
        R"re(<rect x="(\d+)" y="(\d+)"[^>]*fill="(#[0-9a-f]{6})"><title>([0-9-]+))re");
    const std::vector<std::smatch> cells(std::sregex_iterator(svg.begin(), svg.end(), cell),
                                         std::sregex_iterator());
    ASSERT_EQ(cells.size(), 98u);
    EXPECT_EQ(cells.front()[4], "2025-12-07"); // oldest, top left
    EXPECT_EQ(cells.front()[3], heatmapColour(1));
    EXPECT_EQ(cells[1][1], cells.front()[1]); // second day below the first
    EXPECT_EQ(cells.back()[4], "2026-03-14"); // today, bottom right
    EXPECT_EQ(cells.back()[3], heatmapColour(4));
    EXPECT_EQ(std::stoi(cells.back()[2]), std::stoi(cells[6][2]));
}

TEST(RepoReadmeDocument, TodayAndTheLastSevenDaysPerProvider) {
    const DayNumber today = *parseDay("2026-03-14");
    UsageHistory history;
    history.days[today]["codex"] = 1200;
    history.days[today - 6]["claude"] = 1'000'000;
    history.days[today - 7]["claude"] = 5; // eight days ago: not this week
    const std::string text = renderRepoReadme(history, today);
    EXPECT_THAT(text, HasSubstr("| Codex | 1,200 | 1,200 |"));
    EXPECT_THAT(text, HasSubstr("| Claude Code | 0 | 1,000,000 |"));
    EXPECT_THAT(text, HasSubstr("| **Total** | **1,200** | **1,001,200** |"));
}

// The demo repository stands in the repository folder.
using DemoTest = LogTest;

TEST_F(DemoTest, DemoRepositoryIsLivelyAndPublishesLocally) {
    // Real logs exist, but a demo repository never reads them.
    writeText(session(), claudeLine("m", "r", "2026-03-14T10:00:00Z", 7, 0));
    runToolOk({"demo", "--repo-dir", repo});
    EXPECT_TRUE(fs::exists(repo + "/.git"));
    EXPECT_TRUE(history().demo);
    EXPECT_GE(history().days.size(), 98u);
    for (const char *provider : {"codex", "claude", "opencode"}) {
        std::int64_t sum = 0;
        for (const auto &[day, providers] : history().days)
            sum += providers.at(provider);
        EXPECT_GT(sum, 0) << provider;
    }

    // Each collect adds to today.
    const DayNumber today = *parseDay("2026-03-14");
    const std::int64_t before = history().dayTotal(today);
    runToolOk({"collect"});
    const std::int64_t after = history().dayTotal(today);
    EXPECT_GT(after, before);
    EXPECT_THAT(runTool({"report", "today", "--json"}).standardOutput,
                HasSubstr("\"claude\",\"total_tokens\":" +
                          std::to_string(tokens("2026-03-14", "claude")) + "}"));

    runToolOk({"run", "daily", "--repo-dir", repo});
    // Preparing again refreshes the demo and keeps it a demo.
    runToolOk({"demo", "--repo-dir", repo});
    EXPECT_TRUE(history().demo);
}

TEST_F(DemoTest, RefusesAFolderHoldingARealHistory) {
    const std::string real =
        R"({"rows":[{"day":"2026-03-01","total_tokens":3,"providers":{"codex":3}}]})";
    writeText(usageFile(), real);
    const ChildOutcome result = runTool({"demo", "--repo-dir", repo});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.standardError, HasSubstr("real usage history"));
    EXPECT_EQ(readText(usageFile()), real);
}

} // namespace
