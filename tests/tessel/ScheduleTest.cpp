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
    std::string bin = root + "/bin";
    std::string units = home + "/.config/systemd/user";

    void SetUp() override {
        LogTest::SetUp();
        writeExecutable(bin + "/systemctl", fakeSystemctl);
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
    const ChildOutcome installed = runTool(install("/opt/tessel", "900"));
    ASSERT_EQ(installed.exitCode, 0) << installed.standardError;
    const std::string service = readText(units + "/tesselmenu-sync.service");
    const std::string timer = readText(units + "/tesselmenu-sync.timer");
    EXPECT_THAT(service,
                HasSubstr("ExecStart=\"/opt/tessel\" run daily --repo-dir \"" + repo + "\"\n"));
    EXPECT_THAT(service, HasSubstr("Environment=\"CODEX_HOME=/data/codex\""));
    EXPECT_THAT(timer, HasSubstr("OnActiveSec=900s\nOnUnitActiveSec=900s\n"));
    EXPECT_THAT(calls(),
                HasSubstr("--user daemon-reload\n--user enable tesselmenu-sync.timer\n--user "
                          "restart tesselmenu-sync.timer\n"));

    const ChildOutcome status = runTool({"schedule", "status"});
    EXPECT_EQ(status.exitCode, 0);
    EXPECT_THAT(status.standardOutput, HasSubstr("loaded: true\n"));

    ASSERT_EQ(runTool({"schedule", "remove"}).exitCode, 0);
    EXPECT_FALSE(fs::exists(units + "/tesselmenu-sync.timer"));
    EXPECT_FALSE(fs::exists(units + "/tesselmenu-sync.service"));
    EXPECT_THAT(calls(), HasSubstr("--user disable --now tesselmenu-sync.timer"));
    EXPECT_THAT(runTool({"schedule", "status"}).standardOutput, HasSubstr("loaded: false\n"));
    // Removing what is not installed is no failure.
    EXPECT_EQ(runTool({"schedule", "remove"}).exitCode, 0);
}

TEST_F(ScheduleTest, PathsAreQuotedForSystemdWithProfileLast) {
    ASSERT_EQ(runTool({"schedule", "install", "--repo-dir", repo, "--binary",
                       "/opt/my tools/t$el%1\"q", "--interval", "60", "--profile-repo-dir", "/p r"})
                  .exitCode,
              0);
    const std::string service = readText(units + "/tesselmenu-sync.service");
    EXPECT_THAT(service,
                HasSubstr(R"(ExecStart="/opt/my tools/t$$el%%1\"q" run daily --repo-dir ")" + repo +
                          R"(" --profile-repo-dir "/p r")"
                          "\n"));
}

// A masked unit, no user systemd, no systemctl at all: each fails clearly and leaves nothing.
TEST_F(ScheduleTest, FailedInstallLeavesNoUnitsBehindAndStatusSaysFalse) {
    const std::pair<std::string, std::string> failures[] = {{"refuse-enable", "masked"},
                                                            {"unreachable", "not reachable"},
                                                            {"", "systemctl is not installed"}};
    for (const auto &[marker, message] : failures) {
        if (marker.empty())
            environment.set("PATH", root + "/nothing");
        else
            writeText(bin + "/" + marker, "");
        const ChildOutcome result = runTool(install("/opt/tessel", "60"));
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_THAT(result.standardError, HasSubstr(message));
        EXPECT_FALSE(fs::exists(units + "/tesselmenu-sync.timer"));
        EXPECT_FALSE(fs::exists(units + "/tesselmenu-sync.service"));
        const ChildOutcome status = runTool({"schedule", "status"});
        EXPECT_EQ(status.exitCode, 0);
        EXPECT_THAT(status.standardOutput, HasSubstr("loaded: false\n")) << message;
    }
}

} // namespace
