// Hostile input: broken lines, impossible days, doubtful usage files and unreadable folders
// never crash a collect or poison a later one, and each is named on standard error.
#include "LogFixture.h"

#include "base/Clock.h"
#include "base/Errors.h"
#include "base/JsonStructure.h"
#include "collect/CollectorState.h"
#include "commands/RepositoryInUse.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <limits>

namespace fs = std::filesystem;

namespace {

using ::testing::Not;

class RobustnessTest : public LogTest {
protected:
    // Runs collect as a child and expects it to succeed. As root it runs without the
    // capabilities that let root read what its permissions forbid, so unreadable files are
    // unreadable to it too.
    ChildOutcome collectAsChild() const {
        if (::geteuid() != 0)
            return runToolOk({"collect"});
        ChildOutcome outcome = run({"setpriv", "--bounding-set=-dac_override,-dac_read_search",
                                    "--", TESSEL_BINARY, "collect"});
        EXPECT_EQ(outcome.exitCode, 0) << outcome.standardError;
        return outcome;
    }
};

// A line cut off before its last closing brace.
std::string cutOff(std::string line) {
    return line.erase(line.rfind('}')) + "\n";
}

TEST(JsonStructure, OnlyWholeDocumentsByTheGrammarPass) {
    const std::string_view sound[] = {
        R"({"a":[1,-2.5e+3,{"b":"}]"}],"c":true,"d":null,"e":false,"f":{}})",
        "\xEF\xBB\xBF {\"a\":[]} \r", R"({"a":"\\","b":"\"}\u00e9\n"})", "[]"};
    // clang-format off
    const std::string_view broken[] = {
        R"({"a":1)", R"({"a":"x)", R"({"a":"\"})", R"({"a":[1})", R"({"a":1}})", R"({"a":1} {"b":2})",
        R"({"a":1,})", R"({"a" 1})", R"({"a":"":{}})", R"({1:2})", R"({"a":01})", R"({"a":1.})",
        R"({"a":-})", R"({"a":tru})", R"({"a":"\x"})", R"({"a":"\u12g4"})", "", "3", R"("text")", "}{"};
    // clang-format on
    for (const std::string_view text : sound)
        EXPECT_TRUE(hasSoundJsonStructure(text)) << text;
    for (const std::string_view text : broken)
        EXPECT_FALSE(hasSoundJsonStructure(text)) << text;
    const auto nested = [](size_t depth) {
        return std::string(depth, '[') + std::string(depth, ']');
    };
    EXPECT_TRUE(hasSoundJsonStructure(nested(maxJsonDepth)));
    EXPECT_FALSE(hasSoundJsonStructure(nested(maxJsonDepth + 1)));
}

TEST_F(RobustnessTest, BrokenLinesAreSkippedOnStandardErrorAndLaterCollectsGoOn) {
    writeText(session(), claudeLine("m1", "r", "2026-03-14T10:00:00Z", 1, 2) +
                             cutOff(claudeLine("m2", "r", "2026-03-14T10:01:00Z", 100, 0)) +
                             R"({"type":"assistant","message":{"id":"x","usage":"":{}}})"
                             "\n" +
                             claudeLine("m3", "r", "2026-03-14T10:02:00Z", 4, 0));
    writeText(rollout(), codexMeta() + codexUsage("2026-03-14T10:00:00Z", 10) +
                             cutOff(codexUsage("2026-03-14T10:01:00Z", 500)) +
                             codexUsage("2026-03-14T10:02:00Z", 30));
    writeText(messageFile("msg_cut"), cutOff(openCodeMessage("msg_cut", 1773482400000, 9, 9)));
    writeText(messageFile("msg_ok"), openCodeMessage("msg_ok", 1773482400000, 5, 0));

    const ChildOutcome first = collectAsChild();
    EXPECT_THAT(first.standardError, HasSubstr("skipped 4 log lines that could not be read"));
    EXPECT_THAT(first.standardOutput, Not(HasSubstr("skipped")));
    EXPECT_EQ(tokens("2026-03-14", "claude"), 7);
    EXPECT_EQ(tokens("2026-03-14", "codex"), 30);
    EXPECT_EQ(tokens("2026-03-14", "opencode"), 5);

    appendText(session(), claudeLine("m4", "r", "2026-03-14T11:00:00Z", 10, 0));
    collectAsChild();
    EXPECT_EQ(tokens("2026-03-14", "claude"), 17);
}

TEST(JsonStructure, NumbersBeyondWhatTheParserHoldsBecomeEmptyStrings) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {R"({"a":18446744073709551615,"b":-9223372036854775808,"c":1e-400,"d":1.5e308})",
         R"({"a":18446744073709551615,"b":-9223372036854775808,"c":1e-400,"d":1.5e308})"},
        {R"({"a":18446744073709551616,"b":[-9223372036854775809, 2e308],"c":"1e999"})",
         R"({"a":"","b":["", ""],"c":"1e999"})"},
        {R"({"x\"9e999":-1E+400})", R"({"x\"9e999":""})"},
    };
    for (const auto &[text, expected] : cases)
        EXPECT_EQ(withRepresentableNumbers(text), expected) << text;
}

// A number beyond 64 bits in a tool's input costs nothing; as a token count it costs its line.
TEST_F(RobustnessTest, AHugeNumberCostsOnlyALineThatCountsWithIt) {
    std::string hugeInput = claudeLine("m1", "r", "2026-03-14T10:00:00Z", 8, 0);
    hugeInput.insert(1, R"("toolInput":{"n":123456789012345678901234567890,"x":1e999},)");
    std::string hugeCount = claudeLine("m2", "r", "2026-03-14T10:01:00Z", 5, 0);
    hugeCount.replace(hugeCount.find(R"("output_tokens":0)"), 17,
                      R"("output_tokens":99999999999999999999)");
    writeText(session(),
              hugeInput + hugeCount + claudeLine("m3", "r", "2026-03-14T10:02:00Z", 1, 0));
    EXPECT_THAT(collectAsChild().standardError, HasSubstr("skipped 1 log line"));
    EXPECT_EQ(tokens("2026-03-14", "claude"), 9);
}

TEST(DayArithmetic, CountedDaysRoundTripAndNoDayNumberOverflows) {
    EXPECT_EQ(formatDay(firstCountedDay), "1970-01-01");
    EXPECT_EQ(formatDay(lastCountedDay), "9999-12-31");
    for (const DayNumber day : {firstCountedDay, lastCountedDay, 11016, 20526, -719528})
        EXPECT_EQ(parseDay(formatDay(day)), day) << day;
    // The extremes format (into no day the reader takes) without overflowing on the way.
    for (const DayNumber day :
         {std::numeric_limits<DayNumber>::min(), std::numeric_limits<DayNumber>::max()})
        EXPECT_EQ(parseDay(formatDay(day)), std::nullopt) << formatDay(day);
}

TEST_F(RobustnessTest, LocalDaysOfExtremeTimesFallJustOutsideTheCountedDays) {
    setTimeZone("JST-9");
    constexpr std::int64_t max = std::numeric_limits<std::int64_t>::max();
    const std::pair<std::int64_t, DayNumber> cases[] = {
        {-max - 1, firstCountedDay - 1},
        {-32401, firstCountedDay - 1},       // 1969-12-31T23:59:59 local
        {-32400, firstCountedDay},           // 1970-01-01T00:00 local
        {253402268399, lastCountedDay},      // 9999-12-31T23:59:59 local
        {253402268400, lastCountedDay + 1},  // 9999-12-31T15:00Z, the next year locally
        {1773482400000, lastCountedDay + 1}, // milliseconds taken for seconds
        {max, lastCountedDay + 1},
    };
    for (const auto &[seconds, day] : cases) {
        LocalDays days;
        EXPECT_EQ(days.dayOf(seconds), day) << seconds;
    }
    environment.set("TESSEL_NOW", "253402268400");
    EXPECT_THROW(today(environment), ToolError);
}

TEST_F(RobustnessTest, EventsDatedOutsideTheCountedYearsAreSkippedAndNamed) {
    setTimeZone("JST-9");
    writeText(session(), claudeLine("m1", "r", "9999-12-31T23:00:00Z", 1000, 0) +
                             claudeLine("m2", "r", "1969-12-31T14:59:59Z", 2000, 0) +
                             claudeLine("m3", "r", "1969-12-31T15:00:00Z", 7, 0) +
                             claudeLine("m4", "r", "9999-12-31T14:59:59Z", 8, 0));
    // Microseconds where milliseconds belong, and the lowest time there is.
    writeText(messageFile("msg_us"), openCodeMessage("msg_us", 1773482400000000, 3000, 0));
    writeOpenCodeDatabase(
        openCodeData + "/opencode.db",
        {{"msg_low", openCodeMessage("msg_low", std::numeric_limits<std::int64_t>::min(), 1, 0)},
         {"msg_ok", openCodeMessage("msg_ok", 1773482400000, 5, 0)}});

    const ChildOutcome first = runToolOk({"collect"});
    EXPECT_THAT(first.standardError, HasSubstr("skipped 2 usage entries of " + session() +
                                               " dated outside the years 1970 to 9999"));
    EXPECT_THAT(first.standardError, HasSubstr("1 usage entry of " + messageFile("msg_us")));
    EXPECT_THAT(first.standardError,
                HasSubstr("1 usage entry of " + openCodeData + "/opencode.db"));
    // The last counted day is kept in this machine's file, but summed only once it is due.
    EXPECT_THAT(first.standardError, HasSubstr("left 1 day after tomorrow of docs/machines/"));
    const UsageHistory stored = history();
    EXPECT_EQ(stored.days.size(), 2u);
    EXPECT_EQ(tokens("1970-01-01", "claude"), 7);
    EXPECT_EQ(tokens("2026-03-14", "opencode"), 5);
    const fs::directory_iterator machines(repo + "/docs/machines");
    EXPECT_EQ(readUsageHistory(machines->path()).value().tokens(lastCountedDay, "claude"), 8);

    // What was written reads again, in the tool and in later collects.
    runToolOk({"report", "today", "--json"});
    appendText(session(), claudeLine("m5", "r", "2026-03-14T10:00:00Z", 1, 0));
    runToolOk({"collect"});
    EXPECT_EQ(tokens("2026-03-14", "claude"), 1);
}

TEST_F(RobustnessTest, StateWithDaysOutsideTheCountedYearsIsIgnored) {
    writeText(session(), claudeLine("m1", "r", "2026-03-14T10:00:00Z", 2, 0));
    collect();
    CollectorState state = *loadState(repo + "/docs/.tessel-state");
    state.totals[lastCountedDay + 1].tokens[0] = 5;
    writeText(repo + "/docs/.tessel-state", serializeState(state));
    EXPECT_FALSE(loadState(repo + "/docs/.tessel-state"));
    collect();
    EXPECT_EQ(history().days.size(), 1u);
    EXPECT_EQ(tokens("2026-03-14", "claude"), 2);
}

// A usage file with a day it cannot read or with a repeat fails the collect with one line
// naming the file and the fault, and is left as it is.
TEST_F(RobustnessTest, DoubtfulUsageFileIsRefusedNamingItAndLeftAsItIs) {
    const std::pair<std::string, std::string> cases[] = {
        {R"({"rows":[{"day":"14.03.2026","total_tokens":1,"providers":{}}]})", "14.03.2026"},
        {R"({"rows":[{"day":"2026-03-14","providers":{"codex":1}},)"
         R"({"day":"2026-03-14","providers":{"codex":2}}]})",
         "the day 2026-03-14 has two rows"},
        {R"({"rows":[{"day":"2026-03-14","providers":{"codex":1,"codex":2}}]})",
         R"("codex" appears twice in the row of 2026-03-14)"},
        {R"({"rows":[],"rows":[{"day":"2026-03-14","providers":{}}]})", R"("rows" appears twice)"},
        {R"({"rows":[{"day":"2026-03-14","day":"2026-03-15","providers":{}}]})",
         R"("day" appears twice)"},
    };
    writeText(session(), claudeLine("m1", "r", "2026-03-14T10:00:00Z", 2, 0));
    for (const auto &[json, named] : cases) {
        writeText(usageFile(), json);
        const ChildOutcome result = runTool({"collect"});
        EXPECT_EQ(result.exitCode, 1) << json;
        EXPECT_THAT(result.standardError, ::testing::StartsWith("tessel: docs/usage.json"));
        EXPECT_THAT(result.standardError, HasSubstr(named));
        EXPECT_EQ(std::count(result.standardError.begin(), result.standardError.end(), '\n'), 1);
        EXPECT_EQ(readText(usageFile()), json);
        EXPECT_THROW(collect(), HistoryFormatError);
    }
}

// This machine's own history damaged: the message names that file, not the sum.
TEST_F(RobustnessTest, ADamagedOwnHistoryIsNamedAndLeftAsItIs) {
    writeText(session(), claudeLine("m1", "r", "2026-03-14T10:00:00Z", 2, 0));
    runToolOk({"collect"});
    const fs::path own = fs::directory_iterator(repo + "/docs/machines")->path();
    writeText(own, R"({"rows":[{"day":"2026-03-14","providers":{"codex":1,"codex":2}}]})");
    const ChildOutcome result = runTool({"collect"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(
        result.standardError,
        HasSubstr(
            "tessel: docs/machines/" + own.filename().string() +
            " (this machine's own history) is not a usage file (the provider \"codex\" appears "
            "twice"));
    EXPECT_THAT(result.standardError, Not(HasSubstr("docs/usage.json")));
}

// FIFOs, devices and oversized files where the tool expects its small regular files: each is
// refused at once with a message naming it, or passed over; nothing waits on them.
TEST_F(RobustnessTest, SpecialFilesNeverStallTheTool) {
    initRepositoryWithRemote();
    writeText(session(), claudeLine("m1", "r", "2026-03-14T10:00:00Z", 2, 0));
    runToolOk({"run", "daily", "--repo-dir", repo});
    const std::string machineId = home + "/.local/share/tessel/machine-id";
    const std::string info = home + "/.config/TesselMenu/Info.json";
    const auto fifo = [](const std::string &path) {
        fs::remove(path);
        fs::create_directories(fs::path(path).parent_path());
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0) << path;
    };
    const auto large = [](const std::string &path, size_t bytes) {
        writeText(path, "{\"TesselRepoDir\": \"/x\"}" + std::string(bytes, ' '));
    };
    const auto zero = [](const std::string &path) {
        fs::remove(path);
        fs::create_symlink("/dev/zero", path);
    };
    const struct Case {
        const char *name;
        std::string path;
        std::function<void(const std::string &)> make;
        std::vector<std::string> command;
        int status;
        std::string says; // on standard error, or standard output for the doctor
    } cases[] = {
        {"machine id FIFO", machineId, fifo, {"collect"}, 1, "machine-id: not a regular file"},
        {"machine id oversized",
         machineId,
         [&](auto &p) { large(p, 1 << 20); },
         {"collect"},
         1,
         "machine-id: larger than 64 KiB"},
        {"settings FIFO",
         info,
         fifo,
         {"doctor", "--repo-dir", repo},
         1,
         "FAIL  settings: " + info + ": not a regular file"},
        {"settings oversized",
         info,
         [&](auto &p) { large(p, 2 << 20); },
         {"doctor", "--repo-dir", repo},
         1,
         "larger than 1 MiB; refused"},
        {"settings on /dev/zero",
         info,
         zero,
         {"doctor", "--repo-dir", repo},
         1,
         info + ": not a regular file"},
        {"usage file FIFO",
         usageFile(),
         fifo,
         {"report", "today"},
         1,
         "docs/usage.json: not a regular file"},
        {"usage file on /dev/zero",
         usageFile(),
         zero,
         {"report", "today"},
         1,
         "docs/usage.json: a symbolic link; refused"},
        {"lock FIFO",
         repo + "/docs/.tessel-state.lock",
         fifo,
         {"collect"},
         1,
         ".tessel-state.lock: not a regular file"},
        {"state FIFO", repo + "/docs/.tessel-state", fifo, {"collect"}, 0, ""},
        {"git attributes FIFO",
         repo + "/.git/info/attributes",
         fifo,
         {"run", "daily", "--repo-dir", repo},
         1,
         "info/attributes: not a regular file"},
        {"README FIFO",
         repo + "/docs/README.md",
         fifo,
         {"run", "daily", "--repo-dir", repo},
         0,
         "left " + repo + "/docs/README.md as it is"},
    };
    for (const Case &c : cases) {
        const std::string aside = root + "/aside";
        fs::remove_all(aside);
        if (fs::exists(fs::symlink_status(c.path)))
            fs::rename(c.path, aside);
        c.make(c.path);
        std::vector<std::string> command = c.command;
        command.insert(command.begin(), TESSEL_BINARY);
        const ChildOutcome outcome =
            runChild(command, {repo, childEnvironment(), std::chrono::seconds(30)});
        EXPECT_FALSE(outcome.timedOut) << c.name;
        EXPECT_EQ(outcome.exitCode, c.status) << c.name << outcome.standardError;
        EXPECT_THAT(outcome.standardError + outcome.standardOutput, HasSubstr(c.says)) << c.name;
        fs::remove(c.path);
        if (fs::exists(fs::symlink_status(aside)))
            fs::rename(aside, c.path);
    }
    // The utility's repository is found as ever with a refused Info.json in the way.
    fifo(info);
    EXPECT_THAT(findRepositoryInUse(environment, repo, root).reason, HasSubstr("current folder"));
}

TEST_F(RobustnessTest, UnreadableLogFoldersAndFilesAreNamedAndTheRestIsCounted) {
    writeText(session("readable.jsonl"), claudeLine("m1", "r", "2026-03-14T10:00:00Z", 2, 0));
    writeText(session("locked.jsonl"), claudeLine("m2", "r", "2026-03-14T10:00:00Z", 30, 0));
    writeText(claudeProjects + "/q/hidden.jsonl",
              claudeLine("m3", "r", "2026-03-14T10:00:00Z", 400, 0));
    writeText(rollout(), codexMeta() + codexUsage("2026-03-14T10:00:00Z", 10));
    fs::permissions(session("locked.jsonl"), fs::perms::none);
    fs::permissions(claudeProjects + "/q", fs::perms::none);
    fs::permissions(codexHome + "/sessions", fs::perms::owner_write);

    const ChildOutcome result = collectAsChild();
    fs::permissions(claudeProjects + "/q", fs::perms::owner_all);
    fs::permissions(codexHome + "/sessions", fs::perms::owner_all);
    EXPECT_THAT(result.standardError, HasSubstr(session("locked.jsonl") + ": Permission denied"));
    EXPECT_THAT(result.standardError,
                HasSubstr("cannot read the folder " + claudeProjects + "/q: Permission denied"));
    EXPECT_THAT(result.standardError,
                HasSubstr("cannot read the folder " + codexHome + "/sessions: Permission denied"));
    EXPECT_EQ(tokens("2026-03-14", "claude"), 2);
}

} // namespace
