// schedule install/remove/status against a stand-in systemctl that records its calls.
#include "LogFixture.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace {

constexpr char fakeSystemctl[] = R"SH(#!/bin/sh
here=$(dirname "$0")
echo "$*" >> "$here/calls"
case "$2" in
show-environment)
    if [ -f "$here/unreachable" ]; then echo "Failed to connect to bus: No medium found" >&2; exit 1; fi
    echo HOME=/home/u ;;
enable)
    if [ -f "$here/refuse-enable" ]; then echo "Failed to enable unit: Unit file is masked." >&2; exit 1; fi ;;
show)
    printf 'LoadState=loaded\nActiveState=active\nNextElapseUSecRealtime=Sat 2026-03-14 13:00:00 UTC\n' ;;
esac
exit 0
)SH";

class ScheduleTest : public LogTest {
protected:
    std::string bin = temp.path() + "/bin";
    std::string units = home + "/.config/systemd/user";

    void SetUp() override {
        LogTest::SetUp();
        writeText(bin + "/systemctl", fakeSystemctl);
        fs::permissions(bin + "/systemctl", fs::perms::owner_all);
        environment.set("PATH", bin + ":/usr/bin:/bin");
    }

    std::vector<std::string> install(const std::string &binary, const std::string &interval) {
        return {"schedule", "install", "--repo-dir", repo,
                "--binary", binary,    "--interval", interval};
    }
    std::string calls() const { return readText(bin + "/calls"); }
};

TEST_F(ScheduleTest, InstallWritesBothUnitsStartsTheTimerAndStatusSeesIt) {
    environment.set("CODEX_HOME", "/data/codex");
    const ToolResult installed = runTool(install("/opt/tessel", "900"));
    ASSERT_EQ(installed.exitCode, 0) << installed.standardError;
    const std::string service = readText(units + "/tesselmenu-sync.service");
    const std::string timer = readText(units + "/tesselmenu-sync.timer");
    EXPECT_NE(service.find("ExecStart=\"/opt/tessel\" run daily --repo-dir \"" + repo + "\"\n"),
              std::string::npos)
        << service;
    EXPECT_NE(service.find("Environment=\"CODEX_HOME=/data/codex\""), std::string::npos);
    EXPECT_NE(timer.find("OnActiveSec=900s\nOnUnitActiveSec=900s\n"), std::string::npos) << timer;
    EXPECT_NE(calls().find("--user daemon-reload\n--user enable tesselmenu-sync.timer\n--user "
                           "restart tesselmenu-sync.timer\n"),
              std::string::npos)
        << calls();

    const ToolResult status = runTool({"schedule", "status"});
    EXPECT_EQ(status.exitCode, 0);
    EXPECT_NE(status.standardOutput.find("loaded: true\n"), std::string::npos)
        << status.standardOutput;

    ASSERT_EQ(runTool({"schedule", "remove"}).exitCode, 0);
    EXPECT_FALSE(fs::exists(units + "/tesselmenu-sync.timer"));
    EXPECT_FALSE(fs::exists(units + "/tesselmenu-sync.service"));
    EXPECT_NE(calls().find("--user disable --now tesselmenu-sync.timer"), std::string::npos);
    EXPECT_NE(runTool({"schedule", "status"}).standardOutput.find("loaded: false\n"),
              std::string::npos);
    // Removing what is not installed is no failure.
    EXPECT_EQ(runTool({"schedule", "remove"}).exitCode, 0);
}

TEST_F(ScheduleTest, PathsAreQuotedForSystemdWithProfileLast) {
    ASSERT_EQ(runTool({"schedule", "install", "--repo-dir", repo, "--binary",
                       "/opt/my tools/t$el%1\"q", "--interval", "60", "--profile-repo-dir", "/p r"})
                  .exitCode,
              0);
    const std::string service = readText(units + "/tesselmenu-sync.service");
    EXPECT_NE(service.find(R"(ExecStart="/opt/my tools/t$$el%%1\"q" run daily --repo-dir ")" +
                           repo +
                           R"(" --profile-repo-dir "/p r")"
                           "\n"),
              std::string::npos)
        << service;
}

TEST_F(ScheduleTest, RefusedInstallLeavesNoUnitsBehind) {
    writeText(bin + "/refuse-enable", "");
    const ToolResult result = runTool(install("/opt/tessel", "60"));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.standardError.find("masked"), std::string::npos) << result.standardError;
    EXPECT_FALSE(fs::exists(units + "/tesselmenu-sync.timer"));
    EXPECT_FALSE(fs::exists(units + "/tesselmenu-sync.service"));
}

TEST_F(ScheduleTest, WithoutAUserSystemdInstallFailsClearlyAndStatusSaysFalse) {
    writeText(bin + "/unreachable", "");
    const ToolResult result = runTool(install("/opt/tessel", "60"));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.standardError.find("not reachable"), std::string::npos)
        << result.standardError;
    EXPECT_FALSE(fs::exists(units + "/tesselmenu-sync.timer"));
    const ToolResult status = runTool({"schedule", "status"});
    EXPECT_EQ(status.exitCode, 0);
    EXPECT_NE(status.standardOutput.find("loaded: false\n"), std::string::npos);

    environment.set("PATH", temp.path() + "/nothing");
    const ToolResult missing = runTool(install("/opt/tessel", "60"));
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.standardError.find("systemctl is not installed"), std::string::npos);
    EXPECT_NE(runTool({"schedule", "status"}).standardOutput.find("loaded: false"),
              std::string::npos);
}

} // namespace
