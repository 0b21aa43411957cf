// A sync stopped at any moment (a power cut, an out-of-memory kill) leaves git's lock files, a
// merge half done, or a writer's temporary files. The doctor names each, and the next sync clears
// it away and goes through, unless a git is at work in the repository or the person's own
// operation is under way.
#include "LogFixture.h"

#include <QProcess>

#include <filesystem>
#include <functional>

namespace fs = std::filesystem;
using ::testing::Not;

namespace {

class RecoveryTest : public LogTest {
protected:
    std::string other = root + "/other"; // another clone, pushing now and then
    std::string branch;

    void SetUp() override {
        LogTest::SetUp();
        initRepositoryWithRemote();
        writeText(session(), claudeLine("m0", "r", "2026-03-14T09:00:00Z", 100, 0));
        runToolOk({"run", "daily", "--repo-dir", repo});
        branch = git(repo, {"symbolic-ref", "--short", "HEAD"});
        branch.pop_back();
        git(root, {"clone", "--quiet", remote, other});
    }

    // Another machine's push, so the next sync has something to merge.
    void pushFromOther(const std::string &file, const std::string &text) {
        git(other, {"pull", "--quiet", "--no-rebase", "origin", branch});
        writeText(other + "/" + file, text);
        git(other, {"add", file});
        git(other, {"-c", "user.name=o", "-c", "user.email=o@x", "commit", "-q", "-m", file});
        git(other, {"push", "--quiet", "origin", "HEAD"});
    }
    // A merge as a sync starts it, left where git stops.
    void mergeLeftOpen(const std::string &message) {
        git(repo, {"fetch", "--quiet", "origin"});
        run({"git", "-c", "user.name=t", "-c", "user.email=t@x", "merge", "--no-commit", "--no-ff",
             "-m", message, "origin/" + branch});
        EXPECT_TRUE(fs::exists(repo + "/.git/MERGE_HEAD"));
    }
    std::vector<std::string> locksLeft() const {
        std::vector<std::string> locks;
        for (const auto &entry : fs::recursive_directory_iterator(repo + "/.git"))
            if (entry.path().extension() == ".lock")
                locks.push_back(entry.path().string());
        return locks;
    }
};

TEST_F(RecoveryTest, WhatAStoppedSyncLeftIsNamedByTheDoctorAndClearedByTheNextSync) {
    const std::string gitDir = repo + "/.git/";
    QProcess fakeGit; // a git at work in the repository: a copy of sleep, named git
    const struct Case {
        const char *name;
        std::function<void()> arrange;
        std::string doctorSays; // a line of the doctor's report
        std::string syncFails;  // empty: the sync goes through
        std::function<void()> after = [] {};
    } cases[] = {
        {"stopped while staging", [&] { writeText(gitDir + "index.lock", ""); },
         "FAIL  git state: " + gitDir + "index.lock was left behind by a git that was stopped", ""},
        {"stopped while committing",
         [&] {
             for (const std::string &lock :
                  {std::string("index.lock"), std::string("HEAD.lock"),
                   std::string("next-index-4242.lock"), "refs/heads/" + branch + ".lock"})
                 writeText(gitDir + lock, "");
         },
         "next-index-4242.lock was left behind", ""},
        {"stopped while fetching",
         [&] {
             writeText(gitDir + "refs/remotes/origin/" + branch + ".lock", "");
             writeText(gitDir + "packed-refs.lock", "");
             pushFromOther("fetched.txt", "1");
         },
         "packed-refs.lock was left behind", ""},
        {"stopped in the middle of a merge",
         [&] {
             pushFromOther("merged.txt", "2");
             mergeLeftOpen("Token usage for 2026-03-14");
             writeText(gitDir + "ORIG_HEAD.lock", "");
             writeText(gitDir + "index.lock", "");
         },
         "FAIL  git state: a merge an interrupted sync left is open", "",
         [&] {
             EXPECT_EQ(git(remote, {"show", "HEAD:merged.txt"}), "2");
         }},
        {"a merge stopped at a conflict",
         [&] {
             pushFromOther("docs/README.md", "theirs\n");
             writeText(repo + "/docs/README.md", "ours\n");
             git(repo, {"-c", "user.name=t", "-c", "user.email=t@x", "commit", "-qam", "ours"});
             git(repo, {"fetch", "--quiet", "origin"});
             run({"git", "-c", "user.name=t", "-c", "user.email=t@x", "merge", "-m",
                  "Token usage for 2026-03-14", "origin/" + branch});
             EXPECT_THAT(git(repo, {"status", "--porcelain"}), HasSubstr("UU docs/README.md"));
         },
         "a merge an interrupted sync left is open", ""},
        {"writers stopped midway",
         [&] {
             for (const char *name :
                  {"docs/.heatmap.svg.tmp-a1", "docs/.README.md.tmp-b2", "docs/.usage.json.tmp-c3",
                   ".git/info/.attributes.tmp-d4", ".git/info/.exclude.tmp-e5"})
                 writeText(repo + "/" + name, "half");
             for (const auto &entry : fs::directory_iterator(repo + "/docs/machines"))
                 writeText(entry.path().parent_path() /
                               ("." + entry.path().filename().string() + ".tmp-f6"),
                           "half");
         },
         "ok    git:", "",
         [&] {
             for (const char *folder : {"/docs", "/docs/machines", "/.git/info"})
                 for (const auto &entry : fs::directory_iterator(repo + folder))
                     EXPECT_THAT(entry.path().string(), Not(HasSubstr(".tmp-")));
         }},
        {"a merge of the person's own",
         [&] {
             pushFromOther("theirs.txt", "3");
             mergeLeftOpen("Merge branch 'feature'");
         },
         "FAIL  git state: a merge of your own is under way: the next sync stops; to do: finish "
         "it, or undo it: git -C '" +
             repo + "' merge --abort",
         "a merge of your own is under way there",
         [&] {
             EXPECT_TRUE(fs::exists(gitDir + "MERGE_HEAD"));
             git(repo, {"merge", "--abort"});
         }},
        {"a git at work",
         [&] {
             fs::copy_file("/bin/sleep", root + "/git");
             fakeGit.setWorkingDirectory(QString::fromStdString(repo));
             fakeGit.start(QString::fromStdString(root + "/git"), {"60"});
             ASSERT_TRUE(fakeGit.waitForStarted());
             writeText(gitDir + "index.lock", "");
         },
         "--    git state: git is at work in the repository right now", "index.lock",
         [&] {
             EXPECT_TRUE(fs::exists(gitDir + "index.lock"));
             fakeGit.kill();
             fakeGit.waitForFinished();
             fs::remove(gitDir + "index.lock"); // as the git at work would on its way out
         }},
        {"a detached HEAD",
         [&] {
             git(repo, {"checkout", "--quiet", "--detach"});
         },
         "FAIL  branch: no branch is checked out", "HEAD is detached",
         [&] {
             git(repo, {"checkout", "--quiet", branch});
         }},
    };
    int message = 0;
    for (const Case &c : cases) {
        ++message;
        appendText(session(), claudeLine("m" + std::to_string(message), "r", "2026-03-14T10:00:00Z",
                                         message, 0));
        c.arrange();
        const ChildOutcome doctor = runTool({"doctor", "--repo-dir", repo});
        EXPECT_THAT(doctor.standardOutput, HasSubstr(c.doctorSays)) << c.name;
        const ChildOutcome daily = runTool({"run", "daily", "--repo-dir", repo});
        if (c.syncFails.empty()) {
            EXPECT_EQ(daily.exitCode, 0) << c.name << ": " << daily.standardError;
            EXPECT_EQ(locksLeft(), std::vector<std::string>{}) << c.name;
            EXPECT_FALSE(fs::exists(gitDir + "MERGE_HEAD")) << c.name;
            EXPECT_THAT(runTool({"doctor", "--repo-dir", repo}).standardOutput,
                        Not(HasSubstr("git state")))
                << c.name;
            EXPECT_EQ(parseUsageHistory(git(remote, {"show", "HEAD:docs/usage.json"})), history())
                << c.name;
        } else {
            EXPECT_EQ(daily.exitCode, 1) << c.name;
            EXPECT_THAT(daily.standardError, HasSubstr(c.syncFails)) << c.name;
        }
        c.after();
    }
    // Every message of every case reached the remote in the end.
    runToolOk({"run", "daily", "--repo-dir", repo});
    EXPECT_EQ(parseUsageHistory(git(remote, {"show", "HEAD:docs/usage.json"}))
                  .dayTotal(*parseDay("2026-03-14")),
              100 + message * (message + 1) / 2);
}

} // namespace
