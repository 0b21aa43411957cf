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
    state=active; [ -f "$here/active-state" ] && state=$(cat "$here/active-state")
    load=loaded; [ -f "$here/load-state" ] && load=$(cat "$here/load-state")
    printf 'LoadState=%s\nActiveState=%s\nNextElapseUSecRealtime=Sat 2026-03-14 13:00:00 UTC\n' "$load" "$state" ;;
esac
exit 0
)SH";

constexpr char fakeAnalyze[] = R"SH(#!/bin/sh
here=$(dirname "$0")
echo "analyze $*" >> "$here/calls"
if [ -f "$here/bad-unit" ]; then echo "tesselmenu-sync.service: Invalid ExecStart" >&2; exit 1; fi
exit 0
)SH";

class ScheduleTest : public LogTest {
protected:
    std::string bin = root + "/bin";
    std::string units = home + "/.config/systemd/user";

    void SetUp() override {
        LogTest::SetUp();
        writeExecutable(bin + "/systemctl", fakeSystemctl);
        writeExecutable(bin + "/systemd-analyze", fakeAnalyze);
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
    // What an installation stopped midway left goes with the next one.
    writeText(units + "/.tesselmenu-sync.timer.tmp-x1y2z3", "[Timer]\n");
    runToolOk(install("/opt/tessel", "900"));
    EXPECT_FALSE(fs::exists(units + "/.tesselmenu-sync.timer.tmp-x1y2z3"));
    const std::string service = readText(units + "/tesselmenu-sync.service");
    const std::string timer = readText(units + "/tesselmenu-sync.timer");
    EXPECT_THAT(service,
                HasSubstr("ExecStart=\"/opt/tessel\" run daily --repo-dir \"" + repo + "\"\n"));
    EXPECT_THAT(service, HasSubstr("Environment=\"CODEX_HOME=/data/codex\""));
    EXPECT_THAT(timer, HasSubstr("OnActiveSec=900s\nOnUnitActiveSec=900s\n"));
    EXPECT_THAT(calls(), HasSubstr("tesselmenu-sync.timer\n--user daemon-reload\n--user enable "
                                   "tesselmenu-sync.timer\n--user "
                                   "restart tesselmenu-sync.timer\n"));

    const ChildOutcome status = runToolOk({"schedule", "status"});
    EXPECT_THAT(status.standardOutput, HasSubstr("loaded: true\n"));

    runToolOk({"schedule", "remove"});
    EXPECT_FALSE(fs::exists(units + "/tesselmenu-sync.timer"));
    EXPECT_FALSE(fs::exists(units + "/tesselmenu-sync.service"));
    EXPECT_THAT(calls(), HasSubstr("--user disable --now tesselmenu-sync.timer"));
    EXPECT_THAT(runTool({"schedule", "status"}).standardOutput, HasSubstr("loaded: false\n"));
    // Removing what is not installed is no failure.
    runToolOk({"schedule", "remove"});
}

// Where the logs are and the time zone days are counted in reach the scheduled run; a variable
// left out would make it count other logs, or days in another zone.
TEST_F(ScheduleTest, EveryCarriedVariableReachesTheService) {
    const std::pair<const char *, const char *> carried[] = {
        {"CLAUDE_CONFIG_DIR", "/data/claude,/data/claude2"},
        {"CODEX_HOME", "/data/codex"},
        {"OPENCODE_DB", "/data/opencode.db"},
        {"OPENCODE_DATA_DIR", "/data/opencode"},
        {"XDG_DATA_HOME", "/data/share"},
        {"TZ", "Asia/Hong_Kong"},
    };
    for (const auto &[name, value] : carried)
        environment.set(name, value);
    runToolOk(install("/opt/tessel", "900"));
    const std::string service = readText(units + "/tesselmenu-sync.service");
    for (const auto &[name, value] : carried)
        EXPECT_THAT(service, HasSubstr("Environment=\"" + std::string(name) + "=" + value + "\"\n"))
            << name;
}

// A timer that is there but stopped or failed publishes nothing: it must not read as loaded.
TEST_F(ScheduleTest, OnlyAnActiveLoadedTimerReadsLoaded) {
    runToolOk(install("/opt/tessel", "900"));
    const struct {
        const char *load, *active;
        bool loaded;
    } states[] = {{"loaded", "active", true},
                  {"loaded", "inactive", false},
                  {"loaded", "failed", false},
                  {"not-found", "inactive", false}};
    for (const auto &state : states) {
        writeText(bin + "/load-state", state.load);
        writeText(bin + "/active-state", state.active);
        const ChildOutcome status = runToolOk({"schedule", "status"});
        EXPECT_THAT(status.standardOutput,
                    HasSubstr(state.loaded ? "loaded: true\n" : "loaded: false\n"))
            << state.load << " " << state.active;
        EXPECT_THAT(runTool({"doctor", "--repo-dir", repo}).standardOutput,
                    HasSubstr(state.loaded ? "ok    schedule" : "FAIL  schedule"))
            << state.active;
    }
}

// Awkward but carriable paths are written, escaped where systemd would read them otherwise.
TEST_F(ScheduleTest, PathsAreQuotedForSystemdWithProfileLast) {
    runToolOk({"schedule", "install", "--repo-dir", root + "/back\\slash ünï", "--binary",
               "/opt/my tools/t$el%1\"q", "--interval", "60", "--profile-repo-dir", "/p r"});
    EXPECT_THAT(readText(units + "/tesselmenu-sync.service"),
                HasSubstr(R"(ExecStart="/opt/my tools/t$$el%%1\"q" run daily --repo-dir ")" + root +
                          R"(/back\\slash ünï" --profile-repo-dir "/p r")"
                          "\n"));
}

// A masked unit, no user systemd, no systemctl at all: each fails clearly and leaves nothing.
TEST_F(ScheduleTest, FailedInstallLeavesNoUnitsBehindAndStatusSaysFalse) {
    const std::pair<std::string, std::string> failures[] = {{"bad-unit", "Invalid ExecStart"},
                                                            {"refuse-enable", "masked"},
                                                            {"unreachable", "not reachable"},
                                                            {"", "systemctl is not installed"}};
    for (const auto &[marker, message] : failures) {
        for (const char *earlier : {"bad-unit", "refuse-enable"})
            fs::remove(bin + "/" + earlier);
        if (marker.empty())
            environment.set("PATH", root + "/nothing");
        else
            writeText(bin + "/" + marker, "");
        const ChildOutcome result = runTool(install("/opt/tessel", "60"));
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_THAT(result.standardError, HasSubstr(message));
        EXPECT_FALSE(fs::exists(units + "/tesselmenu-sync.timer"));
        EXPECT_FALSE(fs::exists(units + "/tesselmenu-sync.service"));
        const ChildOutcome status = runToolOk({"schedule", "status"});
        EXPECT_THAT(status.standardOutput, HasSubstr("loaded: false\n")) << message;
    }
}

// Paths a unit file cannot carry exactly are refused before anything is written or run.
TEST_F(ScheduleTest, PathsAUnitCannotCarryAreRefusedWithNothingWritten) {
    const std::pair<std::string, std::string> paths[] = {
        {root + "/ends in\\", "ends in a backslash"},
        {root + "/ends in blank ", "ends in a backslash or a blank"},
        {root + "/bell\x07", "control character"},
        {root + "/line\nbreak", "control character or line break"},
        {root + "/latin1-\xe9t\xe9", "only UTF-8"},
        {root + "/overlong-\xc0\xaf", "only UTF-8"},
    };
    for (const auto &[path, reason] : paths) {
        const ChildOutcome result = runTool(
            {"schedule", "install", "--repo-dir", path, "--binary", "/opt/t", "--interval", "60"});
        EXPECT_EQ(result.exitCode, 1) << reason;
        EXPECT_THAT(result.standardError, HasSubstr(reason));
        EXPECT_EQ(std::count(result.standardError.begin(), result.standardError.end(), '\n'), 1);
        EXPECT_FALSE(fs::exists(units)) << reason;
        EXPECT_FALSE(fs::exists(bin + "/calls")) << reason;
    }
}

} // namespace
