// Codex: what each usage line adds to its session, and replayed lines counted once.
#include "LogFixture.h"

#include <filesystem>

namespace {

// A usage object; members set to -1 are left out.
struct Tokens {
    std::int64_t input = -1, output = -1, total = -1;
};

std::string usageObject(const Tokens &tokens) {
    std::string members;
    const auto add = [&members](const char *name, std::int64_t value) {
        if (value < 0)
            return;
        members +=
            std::string(members.empty() ? "" : ",") + "\"" + name + "\":" + std::to_string(value);
    };
    add("input_tokens", tokens.input);
    add("cached_input_tokens", tokens.input < 0 ? -1 : tokens.input / 2);
    add("output_tokens", tokens.output);
    add("total_tokens", tokens.total);
    return "{" + members + "}";
}

// A token_count line with a running total and (unless `last` is 0) the last turn.
std::string usage(const std::string &time, std::int64_t total, std::int64_t last = -1) {
    const Tokens running{total - total / 4, total / 4, total};
    std::string info = R"({"total_token_usage":)" + usageObject(running);
    if (last != 0) {
        const std::int64_t turn = last < 0 ? total : last;
        info += R"(,"last_token_usage":)" + usageObject({turn - turn / 4, turn / 4, turn});
    }
    return R"({"timestamp":")" + time +
           R"(","type":"event_msg","payload":{"type":"token_count","info":)" + info +
           R"(},"rate_limits":null}})" + "\n";
}

std::string meta(const std::string &time, const std::string &payload = {}) {
    return R"({"timestamp":")" + time + R"(","type":"session_meta","payload":{"id":"s")" + payload +
           "}}\n";
}

const std::string forked = R"(,"forked_from_id":"parent-1")";
const std::string spawned =
    R"(,"source":{"subagent":{"thread_spawn":{"parent_thread_id":"parent-1","depth":1}}})";

// The parent's history, as forks and copies replay it (same objects, later timestamps).
std::string parentLines(const std::string &day, const std::string &hour) {
    return usage(day + "T" + hour + ":00:00Z", 1000) + usage(day + "T" + hour + ":00:01Z", 1000) +
           usage(day + "T" + hour + ":05:00Z", 3000, 2000);
}

struct Case {
    const char *name;
    // File name below sessions/ and its lines, written in this order.
    std::vector<std::pair<std::string, std::string>> files;
    std::map<std::string, std::int64_t> expected;
};

void PrintTo(const Case &value, std::ostream *out) {
    *out << value.name;
}

class CodexCountingTest : public LogTest, public ::testing::WithParamInterface<Case> {};

TEST_P(CodexCountingTest, CountsEachTurnOnceWhateverWhenCollected) {
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto &[name, text] : GetParam().files)
        files.emplace_back(codexHome + "/sessions/2026/03/14/rollout-" + name + ".jsonl", text);
    EXPECT_EQ(collectBothWays(files, "codex"), GetParam().expected);
}

const std::string d = "2026-03-14";

INSTANTIATE_TEST_SUITE_P(
    Rules, CodexCountingTest,
    ::testing::Values(
        Case{
            "RepeatedTotalsAndRateLimitLinesAddNothing",
            {{"a",
              meta(d + "T09:00:00Z") + usage(d + "T10:00:00Z", 1000) +
                  usage(d + "T10:00:01Z", 1000) +
                  R"({"timestamp":"2026-03-14T10:00:02Z","type":"event_msg","payload":{"type":"token_count","info":null}})"
                  "\n" +
                  usage(d + "T10:05:00Z", 1500, 500) + usage(d + "T10:05:01Z", 1500, 500)}},
            {{d, 1500}}},
        Case{"FirstLineCountsItsTurnNotAnInheritedTotal",
             {{"a", usage(d + "T10:00:00Z", 5817, 34) + usage(d + "T10:01:00Z", 5900, 83)}},
             {{d, 34 + 83}}},
        Case{"FallingTotalCountsTheTurnAndGoesOnFromTheNewTotal",
             {{"a", usage(d + "T10:00:00Z", 100) + usage(d + "T10:01:00Z", 300, 200) +
                        usage(d + "T10:02:00Z", 50, 50) + usage(d + "T10:03:00Z", 80, 30)}},
             {{d, 300 + 50 + 30}}},
        Case{
            "MissingTotalIsInputPlusOutputAndMissingLastCountsTheWholeTotal",
            {{"a",
              R"({"timestamp":"2026-03-14T10:00:00Z","type":"event_msg","payload":{"type":"token_count","info":{"total_token_usage":{"input_tokens":60,"output_tokens":40}}}})"
              "\n"
              R"({"timestamp":"2026-03-14T10:01:00Z","type":"event_msg","payload":{"type":"token_count","info":{"total_token_usage":{"input_tokens":150,"output_tokens":50}}}})"
              "\n"},
             {"b", usage(d + "T11:00:00Z", 700, 0) + usage(d + "T11:01:00Z", 900, 0)}},
            {{d, 200 + 900}}},
        Case{
            "SpacedJsonAndWindowsLineEnds",
            {{"a", "{\"timestamp\" : \"2026-03-14T10:00:00Z\", \"type\" : \"event_msg\", "
                   "\"payload\" : {\"type\" : \"token_count\", \"info\" : {\"total_token_usage\" : "
                   "{\"total_tokens\" : 70}, \"last_token_usage\" : {\"total_tokens\" : 70}}}}\r\n"
                   "{\"timestamp\":\"2026-03-14T10:01:00Z\",\"type\":\"event_msg\",\"payload\":{"
                   "\"type\":\"token_count\",\"info\":{\"total_token_usage\":{\"total_tokens\":90},"
                   "\"last_token_usage\":{\"total_tokens\":20}}}}\r\n"}},
            {{d, 90}}},
        // The fork is listed (and so written and collected) first: which copy is seen first
        // must not matter.
        Case{"ForkReplayCountsOnceOnTheParentsDayAndSetsTheBaseline",
             {{"fork", meta(d + "T12:00:00Z", forked) + parentLines(d, "12") +
                           usage(d + "T12:10:00Z", 3500, 500)},
              {"parent",
               parentLines("2026-03-13", "22") + usage("2026-03-13T23:00:00Z", 3300, 300)}},
             {{"2026-03-13", 3300}, {d, 500}}},
        Case{"SiblingForksOfAMissingParentAndAnUnmarkedBranchCopy",
             {{"one", meta(d + "T12:00:00Z", forked) + parentLines(d, "12") +
                          usage(d + "T12:10:00Z", 3400, 400)},
              {"two", meta(d + "T13:00:00Z", forked) + parentLines(d, "13") +
                          usage(d + "T13:10:00Z", 3200, 200)},
              {"copy",
               meta(d + "T14:00:00Z") + parentLines(d, "14") + usage(d + "T14:10:00Z", 3100, 100)}},
             {{d, 3000 + 400 + 200 + 100}}},
        Case{"SpawnedSubagentsReplayStampedWithTheirCreationSecondCountNothing",
             {{"agent", meta(d + "T15:00:00.250Z", spawned) + usage(d + "T15:00:00.300Z", 1500) +
                            usage(d + "T15:00:00.900Z", 1620, 120) +
                            usage(d + "T15:00:07Z", 3600, 1980)}},
             {{d, 1980}}}),
    [](const auto &info) { return std::string(info.param.name); });

class CodexFileTest : public LogTest {
protected:
    std::string rollout(const std::string &dayFolder, const std::string &name) {
        return codexHome + "/sessions/" + dayFolder + "/rollout-" + name + ".jsonl";
    }
};

// A resumed session counts under each line's day, in whichever folder it lives; a session
// moved to the archive, or present in both folders, is the same session.
TEST_F(CodexFileTest, SessionsAreKnownByNameAndCountUnderEachLinesDay) {
    const std::string live = rollout("2026/03/10", "moved");
    writeText(live, usage("2026-03-10T09:00:00Z", 400) + usage("2026-03-14T09:00:00Z", 1000, 600));
    writeText(codexHome + "/archived_sessions/rollout-moved.jsonl", readText(live));
    collect();
    EXPECT_EQ(tokens("2026-03-10", "codex"), 400);
    EXPECT_EQ(tokens("2026-03-14", "codex"), 600);

    std::filesystem::remove(live);
    appendText(codexHome + "/archived_sessions/rollout-moved.jsonl",
               usage("2026-03-14T12:00:00Z", 1300, 300));
    collect();
    EXPECT_EQ(tokens("2026-03-14", "codex"), 900);
}

// A rewritten log is read again from its start and counts what it holds now, once.
TEST_F(CodexFileTest, RewrittenLogCountsWhatItHoldsNow) {
    const std::string path = rollout("2026/03/14", "w");
    writeText(path, usage(d + "T10:00:00Z", 100) + usage(d + "T10:01:00Z", 200, 100) +
                        usage(d + "T10:02:00Z", 300, 100));
    collect();
    EXPECT_EQ(tokens(d, "codex"), 300);
    writeText(path, usage(d + "T10:00:00Z", 100) + usage(d + "T10:03:00Z", 450, 350));
    collect();
    EXPECT_EQ(tokens(d, "codex"), 450);

    // Replaced by a longer file that does not start with what was read: read from its start.
    writeText(path, usage(d + "T10:00:00Z", 100) + usage(d + "T10:05:00Z", 170, 70) +
                        usage(d + "T10:06:00Z", 190, 20) + usage(d + "T10:07:00Z", 240, 50));
    collect();
    EXPECT_EQ(tokens(d, "codex"), 240);

    // Touched without a change: nothing read again.
    std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now());
    collect();
    EXPECT_EQ(tokens(d, "codex"), 240);
}

TEST_F(CodexFileTest, HalfWrittenLastLineWaitsForItsEnd) {
    const std::string path = rollout("2026/03/14", "w");
    const std::string line = usage(d + "T10:00:00Z", 300, 200);
    writeText(path, usage(d + "T09:00:00Z", 100) + line.substr(0, 40));
    collect();
    EXPECT_EQ(tokens(d, "codex"), 100);
    appendText(path, line.substr(40));
    collect();
    EXPECT_EQ(tokens(d, "codex"), 300);
}

} // namespace
