// run daily: the documents it renders and how it commits and pushes; the demo repository.
#include "LogFixture.h"

#include "ChildProcess.h"
#include "Heatmap.h"
#include "RepoReadme.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <netinet/in.h>
#include <regex>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class PublishTest : public LogTest {
protected:
    std::string remote = temp.path() + "/remote.git";

    void SetUp() override {
        LogTest::SetUp();
        git(temp.path(), {"init", "--quiet", "--bare", remote});
        git(repo, {"init", "--quiet"});
        git(repo, {"remote", "add", "origin", remote});
        writeText(claudeProjects + "/p/a.jsonl",
                  claudeLine("m", "r", "2026-03-14T10:00:00Z", 1500, 0));
    }

    // git with the test's home, so no configuration of the machine takes part.
    std::string git(const std::string &folder, const std::vector<std::string> &arguments) {
        std::vector<std::string> command{"git"};
        command.insert(command.end(), arguments.begin(), arguments.end());
        ChildOptions options;
        options.workingDirectory = folder;
        options.environment = {{"HOME", home}, {"GIT_CONFIG_NOSYSTEM", "1"}};
        const ChildOutcome outcome = runChild(command, options);
        EXPECT_EQ(outcome.exitCode, 0) << outcome.standardError;
        return outcome.standardOutput;
    }

    int commitCount(const std::string &gitDirectory) {
        return std::stoi(git(gitDirectory, {"rev-list", "--count", "--all"}));
    }
};

TEST_F(PublishTest, CommitsTheThreeDocumentsAndPushesOnlyWhenSomethingIsNew) {
    const ToolResult first = runTool({"run", "daily", "--repo-dir", repo}, temp.path());
    ASSERT_EQ(first.exitCode, 0) << first.standardError;
    EXPECT_EQ(commitCount(remote), 1);
    const std::string files = git(remote, {"ls-tree", "-r", "--name-only", "HEAD"});
    EXPECT_EQ(files, "docs/README.md\ndocs/heatmap.svg\ndocs/usage.json\n");
    // The collector's own files never reach a commit, nor show as untracked.
    EXPECT_EQ(git(repo, {"status", "--porcelain"}), "");

    ASSERT_EQ(runTool({"run", "daily", "--repo-dir", repo}).exitCode, 0);
    EXPECT_EQ(commitCount(remote), 1);

    appendText(claudeProjects + "/p/a.jsonl", claudeLine("n", "r", "2026-03-14T11:00:00Z", 1, 0));
    ASSERT_EQ(runTool({"run", "daily", "--repo-dir", repo}).exitCode, 0);
    EXPECT_EQ(commitCount(remote), 2);
    EXPECT_NE(git(remote, {"show", "HEAD:docs/README.md"}).find("1,501"), std::string::npos);
}

TEST_F(PublishTest, ProfileRepositoryGetsItsCopyOfThePicture) {
    const std::string profile = temp.path() + "/profile";
    fs::create_directories(profile);
    git(profile, {"init", "--quiet"});
    ASSERT_EQ(runTool({"run", "daily", "--repo-dir", repo, "--profile-repo-dir", profile}).exitCode,
              0);
    EXPECT_EQ(git(profile, {"ls-tree", "--name-only", "HEAD"}), "tessel-heatmap.svg\n");
    EXPECT_EQ(readText(profile + "/tessel-heatmap.svg"), readText(repo + "/docs/heatmap.svg"));
}

TEST_F(PublishTest, GitFailuresExitNonZeroWithGitsMessage) {
    git(repo, {"remote", "set-url", "origin", temp.path() + "/no-such-remote"});
    const ToolResult push = runTool({"run", "daily", "--repo-dir", repo});
    EXPECT_NE(push.exitCode, 0);
    EXPECT_NE(push.standardError.find("no-such-remote"), std::string::npos) << push.standardError;
    EXPECT_EQ(std::count(push.standardError.begin(), push.standardError.end(), '\n'), 1);

    const std::string plain = temp.path() + "/plain";
    fs::create_directories(plain);
    const ToolResult notRepo = runTool({"run", "daily", "--repo-dir", plain});
    EXPECT_EQ(notRepo.exitCode, 1);
    EXPECT_NE(notRepo.standardError.find("not a git repository"), std::string::npos);
}

// A web server on the loopback address that answers every request with "401 Unauthorized",
// as a hosted remote does for a push without credentials.
class PasswordWall {
public:
    PasswordWall() {
        m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        ::bind(m_socket, reinterpret_cast<sockaddr *>(&address), size);
        ::listen(m_socket, 8);
        ::getsockname(m_socket, reinterpret_cast<sockaddr *>(&address), &size);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~PasswordWall() {
        m_stopping = true;
        ::shutdown(m_socket, SHUT_RDWR);
        ::close(m_socket);
        m_thread.join();
    }
    std::string url() const {
        return "http://127.0.0.1:" + std::to_string(m_port) + "/me/usage.git";
    }

private:
    void serve() {
        while (!m_stopping) {
            const int client = ::accept(m_socket, nullptr, nullptr);
            if (client < 0)
                return;
            char request[4096];
            [[maybe_unused]] const auto got = ::read(client, request, sizeof request);
            const std::string reply =
                "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic "
                "realm=\"git\"\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
            [[maybe_unused]] const auto sent = ::write(client, reply.data(), reply.size());
            ::close(client);
        }
    }

    int m_socket = -1;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};

TEST_F(PublishTest, PushNeedingCredentialsFailsAtOnceInsteadOfAsking) {
    const PasswordWall wall;
    git(repo, {"remote", "set-url", "origin", wall.url()});
    const auto started = std::chrono::steady_clock::now();
    const ToolResult push = runTool({"run", "daily", "--repo-dir", repo});
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    EXPECT_NE(push.exitCode, 0);
    EXPECT_NE(push.standardError.find("terminal prompts disabled"), std::string::npos)
        << push.standardError;
}

TEST(HeatmapDocument, LevelsColoursAndGridOrder) {
    EXPECT_EQ(heatmapLevel(0), 0);
    EXPECT_EQ(heatmapLevel(1), 1);
    EXPECT_EQ(heatmapLevel(999'999), 1);
    EXPECT_EQ(heatmapLevel(1'000'000), 2);
    EXPECT_EQ(heatmapLevel(9'999'999), 2);
    EXPECT_EQ(heatmapLevel(10'000'000), 3);
    EXPECT_EQ(heatmapLevel(99'999'999), 3);
    EXPECT_EQ(heatmapLevel(100'000'000), 4);
    EXPECT_EQ(heatmapLevel(-1), 4);
    EXPECT_EQ(heatmapColour(0), "#d6dee6");
    EXPECT_EQ(heatmapColour(4), "#0d529e");

    const DayNumber today = *parseDay("2026-03-14");
    UsageHistory history;
    history.days[today]["claude"] = 150'000'000;
    history.days[today - 97]["codex"] = 5;
    history.days[today - 98]["codex"] = 50'000'000; // outside the 98 days
    const std::string svg = renderHeatmap(history, today);
    const std::regex cell(
        R"re(<rect x="(\d+)" y="(\d+)"[^>]*fill="(#[0-9a-f]{6})"><title>([0-9-]+))re");
    std::vector<std::smatch> cells;
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), cell); it != std::sregex_iterator();
         ++it)
        cells.push_back(*it);
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
    EXPECT_NE(text.find("| Codex | 1,200 | 1,200 |"), std::string::npos) << text;
    EXPECT_NE(text.find("| Claude Code | 0 | 1,000,000 |"), std::string::npos);
    EXPECT_NE(text.find("| **Total** | **1,200** | **1,001,200** |"), std::string::npos);
}

class DemoTest : public LogTest {
protected:
    std::string demo = temp.path() + "/demo";

    std::int64_t todayTotal() {
        return readUsageHistory(demo + "/docs/usage.json")->dayTotal(*parseDay("2026-03-14"));
    }
};

TEST_F(DemoTest, DemoRepositoryIsLivelyAndPublishesLocally) {
    // Real logs exist, but a demo repository never reads them.
    writeText(claudeProjects + "/p/a.jsonl", claudeLine("m", "r", "2026-03-14T10:00:00Z", 7, 0));
    ASSERT_EQ(runTool({"demo", "--repo-dir", demo}).exitCode, 0);
    EXPECT_TRUE(fs::exists(demo + "/.git"));
    const UsageHistory history = *readUsageHistory(demo + "/docs/usage.json");
    EXPECT_TRUE(history.demo);
    EXPECT_GE(history.days.size(), 98u);
    for (const char *provider : {"codex", "claude", "opencode"}) {
        std::int64_t sum = 0;
        for (const auto &[day, providers] : history.days)
            sum += providers.at(provider);
        EXPECT_GT(sum, 0) << provider;
    }

    const std::int64_t before = todayTotal();
    ASSERT_EQ(runTool({"collect"}, demo).exitCode, 0);
    const std::int64_t after = todayTotal();
    EXPECT_GT(after, before);
    ASSERT_EQ(runTool({"collect"}, demo).exitCode, 0);
    EXPECT_GT(todayTotal(), after);
    const ToolResult report = runTool({"report", "today", "--json"}, demo);
    const std::int64_t claude =
        readUsageHistory(demo + "/docs/usage.json")->tokens(*parseDay("2026-03-14"), "claude");
    EXPECT_NE(
        report.standardOutput.find("\"claude\",\"total_tokens\":" + std::to_string(claude) + "}"),
        std::string::npos);

    const ToolResult daily = runTool({"run", "daily", "--repo-dir", demo});
    EXPECT_EQ(daily.exitCode, 0) << daily.standardError;
    // Preparing again refreshes the demo and keeps it a demo.
    EXPECT_EQ(runTool({"demo", "--repo-dir", demo}).exitCode, 0);
    EXPECT_TRUE(readUsageHistory(demo + "/docs/usage.json")->demo);
}

TEST_F(DemoTest, RefusesAFolderHoldingARealHistory) {
    const std::string real =
        R"({"rows":[{"day":"2026-03-01","total_tokens":3,"providers":{"codex":3}}]})";
    writeText(demo + "/docs/usage.json", real);
    const ToolResult result = runTool({"demo", "--repo-dir", demo});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.standardError.find("real usage history"), std::string::npos);
    EXPECT_EQ(readText(demo + "/docs/usage.json"), real);
}

} // namespace
