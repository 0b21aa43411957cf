// Limit windows from local data: Codex rate limits, Claude Code's three sources, the pace,
// and the report and status line as the executable prints them.
#include "LogFixture.h"

#include "base/Clock.h"
#include "base/Errors.h"
#include "base/LogTail.h"
#include "commands/Statusline.h"
#include "limits/ClaudeLimits.h"
#include "limits/CodexLimits.h"
#include "limits/LimitLogScan.h"
#include "limits/LimitNumbers.h"
#include "limits/LimitsHistory.h"
#include "limits/LimitsPace.h"
#include "limits/LimitsReport.h"
#include "limits/LimitsScanState.h"

#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::int64_t noon = 1773489600; // 2026-03-14T12:00:00Z, the fixture's "now"

std::string codexLimitsLine(const std::string &timestamp, const std::string &rateLimits,
                            const std::string &info = "null") {
    return R"({"timestamp":")" + timestamp +
           R"(","type":"event_msg","payload":{"type":"token_count","info":)" + info +
           R"(,"rate_limits":)" + rateLimits + "}}\n";
}

std::string window(double used, int minutes, const std::string &reset) {
    return R"({"used_percent":)" + formatNumber(used) + R"(,"window_minutes":)" +
           std::to_string(minutes) + "," + reset + "}";
}

std::string limitSlots(const std::string &primary, const std::string &secondary = "null") {
    return R"({"primary":)" + primary + R"(,"secondary":)" + secondary + "}";
}

LimitObservation reading(double used, std::int64_t observedAt, std::int64_t resetsAt,
                         std::int64_t minutes = fiveHourMinutes) {
    LimitObservation observation;
    observation.windowMinutes = minutes;
    observation.usedPercent = used;
    observation.observedAt = observedAt;
    observation.resetsAt = resetsAt;
    return observation;
}

struct Expected {
    std::int64_t minutes;
    double used;
    std::optional<std::int64_t> resetsAt;
    std::string bucket = {};
    std::string bucketName = {};
};

TEST(CodexRateLimits, ShapesAreToldApartByLengthNotSlot) {
    const std::string at = "2026-03-14T11:00:00Z";
    const std::int64_t t = noon - 3600;
    const std::string reset = R"("resets_at":1773500000)";
    const struct {
        const char *name;
        std::string line;
        std::vector<Expected> expected;
        size_t warnings = 0;
    } cases[] = {
        {"absolute reset",
         codexLimitsLine(at, limitSlots(window(42, 300, reset))),
         {{300, 42, 1773500000}}},
        {"relative reset counts from the line's time",
         codexLimitsLine(at, limitSlots(window(7.5, 300, R"("resets_in_seconds":5400)"),
                                        window(20, 10080, R"("resets_in_seconds":86400)"))),
         {{300, 7.5, t + 5400}, {10080, 20, t + 86400}}},
        {"both shapes: the absolute one wins",
         codexLimitsLine(
             at, limitSlots(window(1, 300, R"("resets_in_seconds":60,"resets_at":1773500000)"))),
         {{300, 1, 1773500000}}},
        {"weekly window in the primary slot",
         codexLimitsLine(at, limitSlots(window(64, 10080, R"("resets_at":1773900000)"))),
         {{10080, 64, 1773900000}}},
        {"the account's own id and a 30-day window with newer members",
         codexLimitsLine(
             at, R"({"limit_id":"codex","limit_name":"x","primary":)" +
                     window(3, 43200, R"("resets_at":1775000000)") +
                     R"(,"secondary":null,"credits":{"has_credits":true},"plan_type":"pro"})"),
         {{43200, 3, 1775000000}}},
        {"a bucket of its own, under its name",
         codexLimitsLine(at, R"({"limit_id":"codex_gpt-5","limit_name":"GPT-5 \"Codex\"",)"
                             R"("primary":)" +
                                 window(0, 300, reset) + "}"),
         {{300, 0, 1773500000, "codex_gpt-5", "GPT-5 \"Codex\""}}},
        {"a bucket without a name goes by its id",
         codexLimitsLine(at, R"({"limit_id":"codex_o3","primary":)" + window(9, 300, reset) + "}"),
         {{300, 9, 1773500000, "codex_o3", "codex_o3"}}},
        {"a bucket id that is no plain name",
         codexLimitsLine(at, R"({"limit_id":"a b\n","primary":)" + window(9, 300, reset) + "}"),
         {},
         1},
        {"a line with usage as well",
         codexLimitsLine(at, limitSlots(window(5, 300, reset)),
                         R"({"total_token_usage":{"total_tokens":9}})"),
         {{300, 5, 1773500000}}},
        {"no reset given",
         codexLimitsLine(at, limitSlots(window(5, 300, R"("x":1)"))),
         {{300, 5, {}}}},
        {"rate limits null", codexLimitsLine(at, "null"), {}},
        {"a window without its length",
         codexLimitsLine(at, limitSlots(R"({"used_percent":5})")),
         {}},
        {"spaced JSON",
         R"({"timestamp" : ")" + at +
             R"(", "type" : "event_msg", "payload" : {"type" : "token_count", "rate_limits" : {"primary" : {"used_percent" : 9, "window_minutes" : 300, "resets_at" : 1773500000}}}})",
         {{300, 9, 1773500000}}},
        {"not JSON", "{\"rate_limits\": {", {}},
        // Absurd figures: the window goes with a warning, the other window of the line stays.
        {"a share of 1e307",
         codexLimitsLine(at, limitSlots(R"({"used_percent":1e307,"window_minutes":300})",
                                        window(20, 10080, R"("resets_in_seconds":86400)"))),
         {{10080, 20, t + 86400}},
         1},
        {"a negative share", codexLimitsLine(at, limitSlots(window(-1, 300, reset))), {}, 1},
        {"a length of 0.4 minutes",
         codexLimitsLine(at, limitSlots(R"({"used_percent":5,"window_minutes":0.4})")),
         {},
         1},
        {"a length of 1e308 minutes",
         codexLimitsLine(at, limitSlots(R"({"used_percent":5,"window_minutes":1e308})")),
         {},
         1},
        {"a negative length",
         codexLimitsLine(at, limitSlots(R"({"used_percent":5,"window_minutes":-300})")),
         {},
         1},
        {"a reset 9e18 seconds away",
         codexLimitsLine(at, limitSlots(window(5, 300, R"("resets_in_seconds":9e18)"))),
         {},
         1},
        {"a reset a million years ahead",
         codexLimitsLine(at, limitSlots(window(5, 10080, R"("resets_at":31557600000000)"))),
         {},
         1},
        {"a reset long before the line",
         codexLimitsLine(at, limitSlots(window(5, 300, R"("resets_in_seconds":-999999)"))),
         {},
         1},
    };
    for (const auto &c : cases) {
        std::vector<std::string> warnings;
        const auto windows = codex::parseRateLimits(c.line, warnings);
        EXPECT_EQ(warnings.size(), c.warnings) << c.name;
        ASSERT_EQ(windows.size(), c.expected.size()) << c.name;
        for (size_t i = 0; i < windows.size(); ++i) {
            EXPECT_EQ(windows[i].windowMinutes, c.expected[i].minutes) << c.name;
            EXPECT_DOUBLE_EQ(windows[i].usedPercent, c.expected[i].used) << c.name;
            EXPECT_EQ(windows[i].resetsAt, c.expected[i].resetsAt) << c.name;
            EXPECT_EQ(windows[i].observedAt, t) << c.name;
            EXPECT_EQ(windows[i].bucket, c.expected[i].bucket) << c.name;
            EXPECT_EQ(windows[i].bucketName, c.expected[i].bucketName) << c.name;
        }
    }
}

TEST(ClaudeLimitReached, EveryWordingGivesItsReset) {
    ScopedEnvironment zone;
    zone.set("TZ", "UTC0");
    // 2026-01-23T20:00:00Z: 04:00 on the 24th in Hong Kong.
    const std::int64_t written = 1769198400;
    const std::int64_t nextMidnight = written + 4 * 3600;
    const struct {
        const char *text;
        std::optional<std::int64_t> resetsAt;
        std::int64_t minutes;
        const char *bucket = "";
    } cases[] = {
        {"Claude AI usage limit reached|1769212800", 1769212800, fiveHourMinutes},
        {"Claude AI usage limit reached|1769716800", 1769716800, weekMinutes},
        {"5-hour limit reached ∙ resets 2am", written + 6 * 3600, fiveHourMinutes},
        {"5-hour limit reached ∙ resets 9:30pm", written + 5400, fiveHourMinutes},
        {"5-hour limit reached ∙ resets 12am", nextMidnight, fiveHourMinutes},
        {"5-hour limit reached ∙ resets 12pm", nextMidnight + 12 * 3600, fiveHourMinutes},
        {"5-hour limit reached ∙ resets 12:30am", nextMidnight + 1800, fiveHourMinutes},
        {"Weekly limit reached ∙ resets Jan 26, 6pm", 1769450400, weekMinutes},
        {"Weekly limit reached ∙ resets Jan 26, 12pm", 1769428800, weekMinutes},
        {"You've hit your limit · resets Jan 24 at 6pm (Asia/Hong_Kong)", 1769248800, weekMinutes},
        {"You've hit your limit · resets 6am (Asia/Hong_Kong)", 1769205600, fiveHourMinutes},
        {"You've hit your limit · resets Jan 2 at 6pm", 1767376800 + 365 * 86400, weekMinutes},
        {"You've hit your limit · resets 6am (../../etc/passwd)", written + 10 * 3600, weekMinutes},
        {"You've hit your session limit · resets 12:50pm (UTC)", nextMidnight + 12 * 3600 + 3000,
         fiveHourMinutes},
        {"You’ve hit your session limit · resets 9pm", written + 3600, fiveHourMinutes},
        {"You've hit your weekly limit · resets Oct 12, 4am", 1791777600, weekMinutes},
        {"You've hit your Opus limit · resets Jan 26, 6pm", 1769450400, weekMinutes, "opus"},
        {"Opus weekly limit reached ∙ resets Jan 26, 6pm", 1769450400, weekMinutes, "opus"},
        {"API Error: 529 overloaded", std::nullopt, 0},
        {"5-hour limit reached ∙ resets soon", std::nullopt, 0},
        {"5-hour limit reached ∙ resets 13pm", std::nullopt, 0},
        {"5-hour limit reached ∙ resets 0am", std::nullopt, 0},
        {"Weekly limit reached ∙ resets Jan 0, 6pm", std::nullopt, 0},
        {"You hit a wall with your code; the limit resets 2am", std::nullopt, 0},
    };
    for (const auto &c : cases) {
        const auto reached = claude::parseLimitReached(c.text, written);
        ASSERT_EQ(reached.has_value(), c.resetsAt.has_value()) << c.text;
        if (!reached)
            continue;
        EXPECT_EQ(reached->resetsAt, *c.resetsAt) << c.text;
        EXPECT_EQ(reached->windowMinutes, c.minutes) << c.text;
        EXPECT_EQ(reached->bucket, c.bucket) << c.text;
    }
    EXPECT_STREQ(std::getenv("TZ"), "UTC0");
}

TEST(LimitPaceProjection, EdgesOfThePace) {
    const std::int64_t reset = noon + 3 * 3600;
    const LimitObservation current = reading(40, noon, reset);
    const struct {
        const char *name;
        std::vector<LimitObservation> readings;
        std::optional<double> projected;
        std::optional<std::int64_t> reachedAt;
    } cases[] = {
        {"no other reading", {}, {}, {}},
        {"only the same moment", {reading(30, noon, reset)}, {}, {}},
        {"flat use", {reading(40, noon - 3600, reset)}, 40, {}},
        {"slow rise", {reading(38, noon - 3600, reset)}, 46, {}},
        {"crossing before the reset", {reading(20, noon - 3600, reset)}, 100, reset},
        {"crossing early",
         {reading(10, noon - 3600, reset), reading(30, noon - 1800, reset)},
         130,
         noon + 2 * 3600},
        {"readings of another window or before this one are ignored",
         {reading(0, noon - 3600, reset - 5 * 3600), reading(0, noon - 3600, reset, weekMinutes),
          reading(0, reset - 6 * 3600, reset)},
         {},
         {}},
        {"a lower earlier figure never makes a negative pace",
         {reading(60, noon - 60, reset)},
         40,
         {}},
    };
    for (const auto &c : cases) {
        const auto pace = projectPace(current, c.readings);
        ASSERT_EQ(pace.has_value(), c.projected.has_value()) << c.name;
        if (!pace)
            continue;
        EXPECT_NEAR(pace->projectedPercent, *c.projected, 1e-9) << c.name;
        EXPECT_EQ(pace->reachedAt, c.reachedAt) << c.name;
    }
    EXPECT_FALSE(projectPace(reading(100, noon, reset), {reading(0, noon - 60, reset)}));
}

TEST(LimitHistoryKeeping, OnlyRunningWindowsAndAFewReadingsEach) {
    std::vector<LimitObservation> fresh;
    for (int i = 0; i < 10; ++i)
        fresh.push_back(reading(i, noon - 1000 + i, noon + 60));
    fresh.push_back(reading(5, noon - 1000, noon + 60)); // the same moment again
    fresh.push_back(reading(1, noon - 9000, noon));      // reset by now
    const auto kept = mergeLimitHistory({}, fresh, noon, 4);
    ASSERT_EQ(kept.size(), 4u);
    EXPECT_EQ(kept.front().observedAt, noon - 1000);
    EXPECT_EQ(kept.back().observedAt, noon - 991);
    EXPECT_EQ(kept[1].observedAt, noon - 993);

    // A bucket's readings are a window of their own, and survive the file; a damaged line and
    // one with a figure out of range are skipped.
    QTemporaryDir folder;
    const std::string path = folder.filePath("limits-history").toStdString();
    LimitObservation bucket = reading(3, noon - 5, noon + 60);
    bucket.bucket = "codex_o3";
    const auto both = mergeLimitHistory(kept, {bucket}, noon, 4);
    ASSERT_EQ(both.size(), 5u);
    writeLimitHistory(path, both);
    appendText(path, "codex 300 1773489660 1773489000 1e308 codex-log\ncodex 300 x\n");
    const auto read = readLimitHistory(path);
    ASSERT_EQ(read.size(), 5u);
    EXPECT_EQ(read[4].bucket, "codex_o3");
    EXPECT_EQ(mergeLimitHistory(read, {}, noon, 4).size(), 5u);
}

// What the status line keeps of the windows several sessions hand it, each as old as its
// session's last reply.
TEST(StatuslineSnapshot, AWindowOnlyRisesAndAMissingOneIsKept) {
    const auto snapshotWindow = [](double used, std::int64_t at, std::int64_t reset,
                                   std::int64_t minutes = fiveHourMinutes) {
        LimitObservation window = reading(used, at, reset, minutes);
        window.provider = Provider::claude;
        window.source = LimitSource::claudeStatusline;
        return window;
    };
    const std::int64_t reset = noon + 7800;
    const auto fiveHour = snapshotWindow(63, noon, reset);
    const auto week = snapshotWindow(20, noon, noon + 86400, weekMinutes);
    const struct {
        const char *name;
        std::vector<LimitObservation> incoming;
        std::vector<LimitObservation> kept;
    } cases[] = {
        {"an older, lower share of the same window",
         {snapshotWindow(38, noon + 60, reset + 2)},
         {fiveHour, week}},
        {"a higher share",
         {snapshotWindow(64, noon + 60, reset)},
         {snapshotWindow(64, noon + 60, reset), week}},
        {"a new window",
         {snapshotWindow(2, noon + 60, reset + 5 * 3600)},
         {snapshotWindow(2, noon + 60, reset + 5 * 3600), week}},
        {"only the weekly window",
         {snapshotWindow(21, noon + 60, noon + 86400, weekMinutes)},
         {fiveHour, snapshotWindow(21, noon + 60, noon + 86400, weekMinutes)}},
        {"nothing", {}, {fiveHour, week}},
    };
    for (const auto &c : cases) {
        const auto merged = claude::mergeSnapshot({fiveHour, week}, c.incoming);
        EXPECT_EQ(merged, c.kept) << c.name;
        // The snapshot file holds each window with its own time.
        EXPECT_EQ(claude::parseSnapshot(claude::renderSnapshot(merged)), c.kept) << c.name;
    }
}

// Scans of one Codex log through a history of changes: each reads only what changed, and
// always finds the newest line.
TEST(LimitLogScanning, ReadsOnlyWhatChangedSinceTheLastScan) {
    QTemporaryDir folder;
    const std::string log = folder.filePath("rollout-a.jsonl").toStdString();
    int parsed = 0;
    const LimitLineReader reader{"\"rate_limits\"", 8 << 20, 5 * 3600,
                                 [&](std::string_view line, std::vector<std::string> &warnings) {
                                     ++parsed;
                                     return codex::parseRateLimits(line, warnings);
                                 }};
    const auto line = [](int hour, double used) {
        return codexLimitsLine("2026-03-14T" + std::to_string(hour) + ":00:00Z",
                               limitSlots(window(used, 300, R"("resets_at":1773500000)")));
    };
    const auto replace = [&](const std::string &text) {
        writeText(log + ".new", text);
        std::filesystem::rename(log + ".new", log);
    };
    const auto touch = [&] {
        std::filesystem::last_write_time(log, std::filesystem::last_write_time(log) +
                                                  std::chrono::seconds(5));
    };
    const struct {
        const char *name;
        std::function<void()> change;
        int parsed; // lines read, and the newest line read back
        std::optional<double> newest;
    } steps[] = {
        {"first scan", [&] { writeText(log, line(10, 10) + line(11, 20) + line(12, 30)); }, 4, 30},
        {"nothing changed", [] {}, 1, 30},
        {"appended", [&] { appendText(log, line(13, 40)); }, 2, 40},
        {"touched: read again", touch, 5, 40},
        {"a line half written", [&] { appendText(log, line(14, 50).substr(0, 40)); }, 1, 40},
        {"the line completed", [&] { appendText(log, line(14, 50).substr(40)); }, 2, 50},
        {"replaced by a copy with one more line", [&] { replace(readText(log) + line(15, 60)); }, 7,
         60},
        {"shrunk", [&] { std::filesystem::resize_file(log, line(10, 10).size()); }, 2, 10},
        {"rewritten in place at the same size",
         [&] {
             writeText(log, line(11, 15));
             touch();
         },
         2, 15},
        {"removed", [&] { std::filesystem::remove(log); }, 0, std::nullopt},
    };
    std::map<std::string, ScannedLog> state;
    for (const auto &step : steps) {
        step.change();
        parsed = 0;
        std::vector<std::string> warnings;
        const LimitLogScan scan = scanLimitLines(
            reader, recentFiles({folder.path().toStdString()}, ".jsonl", 0), state, warnings);
        EXPECT_EQ(parsed, step.parsed) << step.name;
        EXPECT_TRUE(warnings.empty()) << step.name;
        ASSERT_EQ(scan.newest.size(), step.newest ? 1u : 0u) << step.name;
        if (step.newest) {
            EXPECT_DOUBLE_EQ(scan.newest[0].usedPercent, *step.newest) << step.name;
        }
        // What the next scan starts from went through the state file.
        LimitsScanState whole;
        whole.of(LimitLogKind::codexRateLimits) = state;
        const auto decoded = decodeScanState(encodeScanState(whole));
        ASSERT_TRUE(decoded) << step.name;
        state = decoded->logs[0];
    }
}

TEST(LimitsScanStateFile, DamagedOrForeignStatesAreRefused) {
    QTemporaryDir folder;
    const std::string path = folder.filePath("limits-scan").toStdString();
    LimitsScanState state;
    state.of(LimitLogKind::claudeLimitReached)["/a.jsonl"] = {
        1, 2, 300, 4, 200, 5, {{"/300", 7, 10, 20}}};
    const std::string good = encodeScanState(state);
    std::vector<std::string> warnings;
    EXPECT_EQ(readScanState(path, warnings), LimitsScanState{});
    writeScanState(path, state);
    EXPECT_EQ(readScanState(path, warnings), state);
    EXPECT_TRUE(warnings.empty());
    std::string flipped = good;
    flipped[20] ^= 1;
    for (const std::string &bad : {std::string(), good.substr(0, good.size() - 1), flipped,
                                   "TESSLIMX" + good.substr(8), good + "x"}) {
        writeText(path, bad);
        warnings.clear();
        EXPECT_EQ(readScanState(path, warnings), LimitsScanState{});
        EXPECT_EQ(warnings.size(), 1u);
    }
    std::filesystem::remove(path);
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    warnings.clear();
    EXPECT_EQ(readScanState(path, warnings), LimitsScanState{});
    EXPECT_EQ(warnings.size(), 1u);
}

TEST(LogTailReading, EveryLineWithTheNeedleNewestFirstAcrossBlocks) {
    QTemporaryDir folder;
    const std::string path = folder.filePath("log.jsonl").toStdString();
    // Lines of many sizes, some longer than a block, so needles fall on every kind of block
    // boundary; the last line lacks its newline.
    std::string text;
    std::vector<std::pair<size_t, std::string>> expected; // start offset and line, newest first
    std::uint32_t seed = 7;
    for (int i = 0; i < 400; ++i) {
        seed = seed * 1103515245 + 12345;
        const size_t size = (seed >> 8) % (i % 50 == 0 ? 600'000 : 3'000);
        std::string line = std::to_string(i) + std::string(size, 'x');
        if (seed % 3 == 0) {
            line.insert(line.size() / 2, "NEEDLE");
            expected.insert(expected.begin(), {text.size(), line});
        }
        text += line + (i == 399 ? "" : "\n");
    }
    writeText(path, text);
    for (const std::uint64_t budget : {std::uint64_t(1) << 40, std::uint64_t(300'000)}) {
        std::vector<std::string> seen;
        forEachLineFromEnd(path, "NEEDLE", budget, [&](std::string_view line) {
            seen.emplace_back(line);
            return true;
        });
        // With a budget, only lines read whole, their newline before them included.
        std::vector<std::string> wanted;
        for (const auto &[at, line] : expected)
            if (text.size() - at + (at > 0 ? 1 : 0) <= budget)
                wanted.push_back(line);
        EXPECT_EQ(seen, wanted) << budget;
    }
    std::vector<std::string> first;
    forEachLineFromEnd(path, "NEEDLE", UINT64_MAX, [&](std::string_view line) {
        first.emplace_back(line);
        return false;
    });
    EXPECT_EQ(first, std::vector<std::string>({expected.front().second}));
}

class LimitsTest : public LogTest {
protected:
    LimitsReport report() {
        std::vector<std::string> warnings;
        LimitsReport limits = gatherLimits(environment, warnings);
        EXPECT_TRUE(warnings.empty()) << warnings.front();
        return limits;
    }
    std::string statusInput(double fiveHour, std::int64_t fiveHourReset, double week,
                            std::int64_t weekReset) const {
        return R"({"session_id":"abc","transcript_path":"/tmp/t.jsonl","cwd":"/w",)"
               R"("model":{"id":"claude-opus-4-1","display_name":"Opus"},"version":"2.1.90",)"
               R"("cost":{"total_cost_usd":0.5},"rate_limits":{"five_hour":{"used_percentage":)" +
               formatNumber(fiveHour) + R"(,"resets_at":)" + std::to_string(fiveHourReset) +
               R"(},"seven_day":{"used_percentage":)" + formatNumber(week) + R"(,"resets_at":)" +
               std::to_string(weekReset) + "}}}";
    }
    static void setModified(const std::string &path, std::int64_t seconds) {
        std::filesystem::last_write_time(path,
                                         std::filesystem::file_time_type::clock::now() +
                                             std::chrono::seconds(seconds - std::time(nullptr)));
    }
};

TEST_F(LimitsTest, NewestCodexLineAcrossSessionsWins) {
    const std::string older = rollout("b");
    const std::string newer = codexHome + "/archived_sessions/rollout-a.jsonl";
    writeText(older, codexLimitsLine("2026-03-14T10:00:00Z",
                                     limitSlots(window(10, 300, R"("resets_at":1773500000)"),
                                                window(30, 10080, R"("resets_at":1773900000)"))) +
                         codexUsage("2026-03-14T10:01:00Z", 5));
    writeText(newer,
              codexLimitsLine("2026-03-14T11:00:00Z",
                              limitSlots(window(25, 300, R"("resets_at":1773495800)"),
                                         window(31, 10080, R"("resets_at":1773900000)"))) +
                  codexLimitsLine("2026-03-14T11:30:00Z",
                                  limitSlots(window(40, 300, R"("resets_in_seconds":8000)"),
                                             window(33, 10080, R"("resets_at":1773900000)"))));
    setModified(older, noon - 3600);
    setModified(newer, noon - 1800);

    const LimitsReport limits = report();
    ASSERT_EQ(limits.windows.size(), 2u);
    const LimitEntry &fiveHours = limits.windows[0];
    EXPECT_EQ(fiveHours.observation.windowMinutes, 300);
    EXPECT_DOUBLE_EQ(fiveHours.observation.usedPercent, 40);
    EXPECT_EQ(fiveHours.observation.resetsAt, noon - 1800 + 8000);
    EXPECT_EQ(fiveHours.observation.source, LimitSource::codexLog);
    // Paced from 25% at 11:00 to 40% at 11:30: 30% an hour, 100% at 13:30, before the reset.
    ASSERT_TRUE(fiveHours.pace);
    EXPECT_EQ(fiveHours.pace->reachedAt, noon + 5400);
    EXPECT_DOUBLE_EQ(limits.windows[1].observation.usedPercent, 33);
    EXPECT_TRUE(std::filesystem::exists(home + "/.local/state/tessel/limits-history"));

    // Later, past the 5-hour reset with no newer line: never the old figure.
    environment.set("TESSEL_NOW", std::to_string(noon - 1800 + 8000));
    const std::string json = renderLimitsJson(report());
    EXPECT_THAT(json, HasSubstr(R"({"provider":"codex","window_minutes":300,"status":"reset",)"
                                R"("used_percent":null,)"));
    EXPECT_THAT(json, HasSubstr(R"("window_minutes":10080,"status":"current","used_percent":33,)"));
}

TEST_F(LimitsTest, StatusLineRoundTrip) {
    writeText(
        usageFile(),
        R"({"rows":[{"day":"2026-03-14","total_tokens":1250000,"providers":{"claude":1250000}}]})");
    const std::string input = statusInput(42.5, noon + 7800, 18, noon + 3 * 86400);
    std::vector<std::string> warnings;
    const std::string line = runStatusline(input, {repo, false}, environment, warnings);
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(line, "1.2M tokens today · 5 h 42.5% until 14:10 · 7 d 18% until Mar 17 12:00\n");

    // The executable, fed on standard input the way Claude Code runs it.
    writeExecutable(root + "/feed.sh",
                    "#!/bin/sh\nprintf '%s' '" + input + "' | \"$1\" statusline --quiet\n");
    const ChildOutcome fed = run({root + "/feed.sh", TESSEL_BINARY});
    EXPECT_EQ(fed.exitCode, 0) << fed.standardError;
    EXPECT_EQ(fed.standardOutput, "");

    const ChildOutcome limits = runToolOk({"report", "limits", "--json"});
    EXPECT_EQ(limits.standardOutput,
              R"({"windows":[{"provider":"claude","window_minutes":300,"status":"current",)"
              R"("used_percent":42.5,"resets_at":1773497400,"observed_at":1773489600,)"
              R"("source":"claude-statusline","pace":null},{"provider":"claude",)"
              R"("window_minutes":10080,"status":"current","used_percent":18,)"
              R"("resets_at":1773748800,"observed_at":1773489600,)"
              R"("source":"claude-statusline","pace":null}]})"
              "\n");

    EXPECT_THROW(runStatusline("not json", {}, environment, warnings), ToolError);
    EXPECT_EQ(runStatusline(R"({"model":{}})", {repo, false}, environment, warnings),
              "1.2M tokens today\n");
}

TEST_F(LimitsTest, ClaudeSourcesNewestFirstAndCachedFiguresShowTheirAge) {
    const std::int64_t threeDaysAgo = noon - 3 * 86400;
    writeText(
        home + "/.claude.json",
        R"({"numStartups":4,"cachedUsageUtilization":{"fetchedAtMs":)" +
            std::to_string(threeDaysAgo * 1000) +
            R"(,"utilization":{"five_hour":{"utilization":12,"resets_at":"2026-03-11T14:00:00Z"},)"
            R"("seven_day":{"utilization":55,"resets_at":"2026-03-16T00:00:00+00:00"}}}})");
    const std::string text = renderLimitsText(report(), noon);
    EXPECT_EQ(text, "Claude Code 5 h: reset, no new figure yet; seen 3 d ago (cached figure)\n"
                    "Claude Code 7 d: 55%, resets 2026-03-16 00:00 (in 1 d 12 h); seen 3 d ago "
                    "(cached figure)\n");

    // A limit-reached line an hour ago is newer than the cache.
    writeText(session(),
              R"({"type":"assistant","timestamp":"2026-03-14T11:00:00Z",)"
              R"("isApiErrorMessage":true,"message":{"model":"<synthetic>",)"
              R"("content":[{"type":"text","text":"5-hour limit reached ∙ resets 3pm"}]}})"
              "\n" +
                  claudeLine("m", "r", "2026-03-14T11:01:00Z", 1, 1));
    const LimitsReport limits = report();
    ASSERT_EQ(limits.windows.size(), 2u);
    EXPECT_EQ(limits.windows[0].status, LimitEntry::Status::reached);
    EXPECT_EQ(limits.windows[0].observation.resetsAt, noon + 3 * 3600);
    EXPECT_THAT(renderLimitsText(limits, noon),
                HasSubstr("Claude Code 5 h: reached until 2026-03-14 15:00 (in 3 h)"));

    // A status-line snapshot taken now wins over both.
    std::vector<std::string> warnings;
    runStatusline(statusInput(60, noon + 3600, 56, noon + 2 * 86400), {}, environment, warnings);
    const LimitsReport latest = report();
    ASSERT_EQ(latest.windows.size(), 2u);
    EXPECT_EQ(latest.windows[0].observation.source, LimitSource::claudeStatusline);
    EXPECT_EQ(latest.windows[1].observation.source, LimitSource::claudeStatusline);
}

TEST_F(LimitsTest, NoSourcesPrintNoWindows) {
    EXPECT_EQ(runToolOk({"report", "limits", "--json"}).standardOutput, "{\"windows\":[]}\n");
    EXPECT_EQ(runTool({"report", "limits"}).standardOutput, "no limits known\n");
}

TEST_F(LimitsTest, ABucketNeverReplacesTheAccountsFigures) {
    // After one turn with a model that has a bucket of its own, its line is the newest.
    writeText(rollout("a"),
              codexLimitsLine("2026-03-14T11:00:00Z",
                              limitSlots(window(64, 300, R"("resets_at":1773500000)"),
                                         window(71, 10080, R"("resets_at":1773900000)"))) +
                  codexLimitsLine("2026-03-14T11:30:00Z",
                                  R"({"limit_id":"codex_gpt-5-codex","limit_name":"GPT-5-Codex",)"
                                  R"("primary":)" +
                                      window(0, 300, R"("resets_at":1773507000)") +
                                      R"(,"secondary":)" +
                                      window(0, 10080, R"("resets_at":1773900000)") + "}"));
    const LimitsReport limits = report();
    ASSERT_EQ(limits.windows.size(), 4u);
    EXPECT_DOUBLE_EQ(limits.windows[0].observation.usedPercent, 64);
    EXPECT_DOUBLE_EQ(limits.windows[1].observation.usedPercent, 71);
    EXPECT_EQ(limits.windows[2].observation.bucket, "codex_gpt-5-codex");
    const std::string json = renderLimitsJson(limits);
    EXPECT_THAT(json,
                ::testing::StartsWith(R"({"windows":[{"provider":"codex","window_minutes":300,)"
                                      R"("status":"current","used_percent":64,)"));
    EXPECT_THAT(json, HasSubstr(R"(],"buckets":[{"limit_id":"codex_gpt-5-codex",)"
                                R"("limit_name":"GPT-5-Codex","provider":"codex",)"
                                R"("window_minutes":300,"status":"current","used_percent":0,)"));
    EXPECT_THAT(renderLimitsText(limits, noon), HasSubstr("\nCodex GPT-5-Codex 5 h: 0%, resets "));
    // Read again from what the last run kept: the same report.
    EXPECT_EQ(renderLimitsJson(report()), json);
}

// Figures out of every range, in every source at once: each bad window goes with a warning,
// the good ones stay, and everything printed is JSON.
TEST_F(LimitsTest, AbsurdFiguresAreLeftOutAndEverythingPrintedIsJson) {
    writeText(rollout("a"),
              codexLimitsLine("2026-03-14T11:00:00Z",
                              limitSlots(R"({"used_percent":1e307,"window_minutes":300})",
                                         window(20, 10080, R"("resets_at":1773900000)"))) +
                  codexLimitsLine("2026-03-14T11:10:00Z",
                                  limitSlots(R"({"used_percent":5,"window_minutes":1e308})",
                                             R"({"used_percent":5,"window_minutes":0.4})")) +
                  codexLimitsLine("2026-03-14T11:20:00Z",
                                  limitSlots(window(5, 43200, R"("resets_in_seconds":9e18)"))));
    // A line from a wrong clock, years ahead, before the true ones.
    writeText(rollout("b"),
              codexLimitsLine("2030-01-01T00:00:00Z",
                              limitSlots(window(99, 300, R"("resets_in_seconds":60)"))) +
                  codexLimitsLine("2026-03-14T11:30:00Z",
                                  limitSlots(window(33, 300, R"("resets_at":1773500000)"))));
    writeText(home + "/.claude.json",
              R"({"cachedUsageUtilization":{"fetchedAtMs":1773489000000,"utilization":{)"
              R"("five_hour":{"utilization":1e308,"resets_at":1773497400},)"
              R"("seven_day":{"utilization":30,"resets_at":-5e300}}}})");
    writeExecutable(root + "/feed.sh",
                    "#!/bin/sh\nprintf '%s' '{\"rate_limits\":{\"five_hour\":{\"used_percentage\":"
                    "1e307},\"seven_day\":{\"used_percentage\":44,\"resets_at\":1773748800}}}' | "
                    "\"$1\" statusline\n");
    const ChildOutcome fed = run({root + "/feed.sh", TESSEL_BINARY});
    EXPECT_EQ(fed.exitCode, 0) << fed.standardError;
    EXPECT_EQ(fed.standardOutput, "7 d 44% until Mar 17 12:00\n");
    EXPECT_THAT(fed.standardError, HasSubstr("used share of 1e+307%"));

    const ChildOutcome limits = runToolOk({"report", "limits", "--json"});
    EXPECT_EQ(limits.standardOutput,
              R"({"windows":[{"provider":"codex","window_minutes":300,"status":"current",)"
              R"("used_percent":33,"resets_at":1773500000,"observed_at":1773487800,)"
              R"("source":"codex-log","pace":null},)"
              R"({"provider":"codex","window_minutes":10080,"status":"current",)"
              R"("used_percent":20,"resets_at":1773900000,"observed_at":1773486000,)"
              R"("source":"codex-log","pace":null},{"provider":"claude","window_minutes":10080,)"
              R"("status":"current","used_percent":44,"resets_at":1773748800,)"
              R"("observed_at":1773489600,"source":"claude-statusline","pace":null}]})"
              "\n");
    // A warning for every window left out, naming the figure.
    for (const char *warning :
         {"used share of 1e+307%", "length of 1e+308 minutes", "length of 0.4 minutes",
          "reset in 9e+18 seconds", "used share of 1e+308%", "reset time -5e+300"})
        EXPECT_THAT(limits.standardError, HasSubstr(warning));
    // The snapshot the status line wrote is JSON too.
    const std::string snapshot = readText(home + "/.local/state/tessel/claude-statusline.json");
    EXPECT_EQ(snapshot, "{\"observed_at\":1773489600,\"rate_limits\":{\"seven_day\":{"
                        "\"used_percentage\":44,\"resets_at\":1773748800,\"observed_at\":"
                        "1773489600}}}\n");
}

// A FIFO, a folder or a huge file where a limits source or the tool's own state is: nothing
// waits on it, and what can be read still is.
TEST_F(LimitsTest, SpecialFilesNeverStallTheReaders) {
    const std::string state = home + "/.local/state/tessel";
    std::filesystem::create_directories(state);
    std::filesystem::create_directories(home + "/.config/TesselMenu");
    for (const std::string &path :
         {state + "/claude-statusline.json", state + "/limits-scan", state + "/limits-history",
          home + "/.claude.json", home + "/.config/TesselMenu/Info.json"})
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0) << path;
    writeText(rollout("a"),
              codexLimitsLine("2026-03-14T11:00:00Z",
                              limitSlots(window(9, 300, R"("resets_at":1773500000)"))));
    ASSERT_EQ(::mkfifo(rollout("fifo").c_str(), 0600), 0);

    const auto runWithin = [&](const std::string &script) {
        writeExecutable(root + "/run.sh", "#!/bin/sh\n" + script);
        return runChild({root + "/run.sh", TESSEL_BINARY},
                        {repo, childEnvironment(), std::chrono::seconds(20)});
    };
    const ChildOutcome limits = runWithin("exec \"$1\" report limits --json\n");
    EXPECT_FALSE(limits.timedOut);
    EXPECT_EQ(limits.exitCode, 0) << limits.standardError;
    EXPECT_THAT(limits.standardOutput, HasSubstr(R"("used_percent":9,)"));
    const ChildOutcome line = runWithin(
        "printf '%s' '{\"rate_limits\":{\"five_hour\":{\"used_percentage\":5}}}' | \"$1\" "
        "statusline\n");
    EXPECT_FALSE(line.timedOut);
    EXPECT_EQ(line.exitCode, 0) << line.standardError;
    EXPECT_EQ(line.standardOutput, "5 h 5%\n");
}

// Claude Code's status-line inputs one after the other, from sessions of different ages.
TEST_F(LimitsTest, StatusLineInputsFromSeveralSessions) {
    const std::string week = R"("seven_day":{"used_percentage":20,"resets_at":1773748800})";
    const auto fiveHour = [&](double used, std::int64_t resetsAt = noon + 7800) {
        return R"("five_hour":{"used_percentage":)" + formatNumber(used) + R"(,"resets_at":)" +
               std::to_string(resetsAt) + "}";
    };
    const struct {
        const char *name;
        std::int64_t at;
        std::string limits;
        std::string line;
        std::optional<double> projected; // the report's pace of the 5-hour window
    } steps[] = {
        {"both windows", noon, fiveHour(40) + "," + week,
         "5 h 40% until 14:10 · 7 d 20% until Mar 17 12:00", std::nullopt},
        {"only the 5-hour window: the weekly one is kept", noon + 600, fiveHour(45),
         "5 h 45% until 14:10", 105},
        {"an idle session's older figure", noon + 660, fiveHour(38), "5 h 45% until 14:10", 105},
        {"a reset already behind the clock", noon + 720, fiveHour(30, noon + 700), "5 h 30%",
         std::nullopt},
    };
    for (const auto &step : steps) {
        environment.set("TESSEL_NOW", std::to_string(step.at));
        std::vector<std::string> warnings;
        EXPECT_EQ(
            runStatusline("{\"rate_limits\":{" + step.limits + "}}", {}, environment, warnings),
            step.line + "\n")
            << step.name;
        EXPECT_TRUE(warnings.empty()) << step.name;
        const LimitsReport limits = report();
        ASSERT_EQ(limits.windows.size(), 2u) << step.name;
        EXPECT_DOUBLE_EQ(limits.windows[1].observation.usedPercent, 20) << step.name;
        const auto &pace = limits.windows[0].pace;
        EXPECT_EQ(pace.has_value(), step.projected.has_value()) << step.name;
        if (pace && step.projected) {
            EXPECT_NEAR(pace->projectedPercent, *step.projected, 1e-9) << step.name;
        }
    }
}

// The status line run by hand, fed nothing, fed junk, or fed by a writer that keeps its end
// open after the document.
TEST_F(LimitsTest, StatusLineAnswersWhateverItsInput) {
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    ASSERT_EQ(::grantpt(terminal), 0);
    ASSERT_EQ(::unlockpt(terminal), 0);
    const std::string terminalPath = ::ptsname(terminal);
    const std::string document = R"({"rate_limits":{"five_hour":{"used_percentage":5}}})";
    const struct {
        const char *name;
        std::string script;
        int status;
        std::string output;
        std::string error;
    } cases[] = {
        {"a terminal", "exec \"$1\" statusline < '" + terminalPath + "'", 2, "",
         "usage: tessel statusline"},
        {"input held open after the document",
         "mkfifo \"$2/in\" && exec 3<>\"$2/in\" && printf '%s' '" + document +
             "' >&3 && \"$1\" statusline < \"$2/in\"",
         0, "5 h 5%\n", ""},
        {"more after the document", "printf '%s' '" + document + " {}' | \"$1\" statusline", 0,
         "5 h 5%\n", ""},
        {"nothing", "\"$1\" statusline < /dev/null", 1, "", "ended before its JSON object"},
        {"not JSON", "echo hello | \"$1\" statusline", 1, "", "not a JSON object"},
        {"a cut-off object", "printf '{\"a\":' | \"$1\" statusline", 1, "",
         "ended before its JSON object"},
    };
    for (const auto &c : cases) {
        std::filesystem::remove(root + "/in");
        writeExecutable(root + "/feed.sh", "#!/bin/sh\n" + c.script + "\n");
        const ChildOutcome fed = runChild({root + "/feed.sh", TESSEL_BINARY, root},
                                          {repo, childEnvironment(), std::chrono::seconds(20)});
        EXPECT_FALSE(fed.timedOut) << c.name;
        EXPECT_EQ(fed.exitCode, c.status) << c.name << ": " << fed.standardError;
        EXPECT_EQ(fed.standardOutput, c.output) << c.name;
        EXPECT_THAT(fed.standardError, HasSubstr(c.error)) << c.name;
    }
    ::close(terminal);
}

} // namespace
