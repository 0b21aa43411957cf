// Limit windows from local data: Codex rate limits, Claude Code's three sources, the pace,
// and the report and status line as the executable prints them.
#include "LogFixture.h"

#include "base/Clock.h"
#include "base/Errors.h"
#include "base/LogTail.h"
#include "commands/Statusline.h"
#include "limits/ClaudeLimits.h"
#include "limits/CodexLimits.h"
#include "limits/LimitNumbers.h"
#include "limits/LimitsHistory.h"
#include "limits/LimitsPace.h"
#include "limits/LimitsReport.h"

#include <filesystem>

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
};

TEST(CodexRateLimits, ShapesAreToldApartByLengthNotSlot) {
    const std::string at = "2026-03-14T11:00:00Z";
    const std::int64_t t = noon - 3600;
    const struct {
        const char *name;
        std::string line;
        std::vector<Expected> expected;
    } cases[] = {
        {"absolute reset",
         codexLimitsLine(at, limitSlots(window(42, 300, R"("resets_at":1773500000)"))),
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
        {"a 30-day window with newer members",
         codexLimitsLine(
             at, R"({"limit_id":"x","primary":)" + window(3, 43200, R"("resets_at":1775000000)") +
                     R"(,"secondary":null,"credits":{"has_credits":true},"plan_type":"pro"})"),
         {{43200, 3, 1775000000}}},
        {"a line with usage as well",
         codexLimitsLine(at, limitSlots(window(5, 300, R"("resets_at":1773500000)")),
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
    };
    for (const auto &c : cases) {
        const auto windows = codex::parseRateLimits(c.line);
        ASSERT_EQ(windows.size(), c.expected.size()) << c.name;
        for (size_t i = 0; i < windows.size(); ++i) {
            EXPECT_EQ(windows[i].windowMinutes, c.expected[i].minutes) << c.name;
            EXPECT_DOUBLE_EQ(windows[i].usedPercent, c.expected[i].used) << c.name;
            EXPECT_EQ(windows[i].resetsAt, c.expected[i].resetsAt) << c.name;
            EXPECT_EQ(windows[i].observedAt, t) << c.name;
        }
    }
}

TEST(ClaudeLimitReached, EveryWordingGivesItsReset) {
    ScopedEnvironment zone;
    zone.set("TZ", "UTC0");
    // 2026-01-23T20:00:00Z: 04:00 on the 24th in Hong Kong.
    const std::int64_t written = 1769198400;
    const struct {
        const char *text;
        std::optional<std::int64_t> resetsAt;
        std::int64_t minutes;
    } cases[] = {
        {"Claude AI usage limit reached|1769212800", 1769212800, fiveHourMinutes},
        {"Claude AI usage limit reached|1769716800", 1769716800, weekMinutes},
        {"5-hour limit reached ∙ resets 2am", written + 6 * 3600, fiveHourMinutes},
        {"5-hour limit reached ∙ resets 9:30pm", written + 5400, fiveHourMinutes},
        {"Weekly limit reached ∙ resets Jan 26, 6pm", 1769450400, weekMinutes},
        {"You've hit your limit · resets Jan 24 at 6pm (Asia/Hong_Kong)", 1769248800, weekMinutes},
        {"You've hit your limit · resets 6am (Asia/Hong_Kong)", 1769205600, fiveHourMinutes},
        {"You've hit your limit · resets Jan 2 at 6pm", 1767376800 + 365 * 86400, weekMinutes},
        {"You've hit your limit · resets 6am (../../etc/passwd)", written + 10 * 3600, weekMinutes},
        {"API Error: 529 overloaded", std::nullopt, 0},
        {"5-hour limit reached ∙ resets soon", std::nullopt, 0},
        {"5-hour limit reached ∙ resets 13pm", std::nullopt, 0},
    };
    for (const auto &c : cases) {
        const auto reached = claude::parseLimitReached(c.text, written);
        ASSERT_EQ(reached.has_value(), c.resetsAt.has_value()) << c.text;
        if (!reached)
            continue;
        EXPECT_EQ(reached->resetsAt, *c.resetsAt) << c.text;
        EXPECT_EQ(reached->windowMinutes, c.minutes) << c.text;
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

} // namespace
