// Codex: what each usage line adds to its session, and replayed lines counted once.
#include "LogFixture.h"

#include "providers/codex/CodexLog.h"

#include <filesystem>

namespace {

const std::string forked = R"(,"forked_from_id":"parent-1")";
const std::string spawned =
    R"(,"source":{"subagent":{"thread_spawn":{"parent_thread_id":"parent-1","depth":1}}})";

// The parent's history, as forks and copies replay it (same objects, later timestamps).
std::string parentLines(const std::string &day, const std::string &hour) {
    return codexUsage(day + "T" + hour + ":00:00Z", 1000) +
           codexUsage(day + "T" + hour + ":00:01Z", 1000) +
           codexUsage(day + "T" + hour + ":05:00Z", 3000, 2000);
}

const std::string d = "2026-03-14";

// A token_count line written with only the last turn.
std::string lastOnly(const std::string &timestamp, std::int64_t tokens) {
    std::string line = codexUsage(timestamp, tokens);
    const size_t total = line.find(R"("total_token_usage")");
    return line.erase(total, line.find("\"last_token_usage\"") - total);
}

// What Codex writes when the context window fills: zeros but total_tokens, the window's size.
std::string windowFull(const std::string &timestamp, std::int64_t window = 272000) {
    const std::string usage = R"({"input_tokens":0,"cached_input_tokens":0,"output_tokens":0,)"
                              R"("reasoning_output_tokens":0,"total_tokens":)" +
                              std::to_string(window) + "}";
    return R"({"timestamp":")" + timestamp +
           R"(","type":"event_msg","payload":{"type":"token_count","info":{"total_token_usage":)" +
           usage + R"(,"last_token_usage":)" + usage + "}}}\n";
}

using CodexCountingTest = LogTest;

TEST_F(CodexCountingTest, CountsEachTurnOnceWhateverWhenCollected) {
    expectCounts(
        {{"RepeatedTotalsAndRateLimitLinesAddNothing",
          {{"a",
            codexMeta(d + "T09:00:00Z") + codexUsage(d + "T10:00:00Z", 1000) +
                codexUsage(d + "T10:00:01Z", 1000) +
                R"({"timestamp":"2026-03-14T10:00:02Z","type":"event_msg","payload":{"type":"token_count","info":null}})"
                "\n" +
                codexUsage(d + "T10:05:00Z", 1500, 500) + codexUsage(d + "T10:05:01Z", 1500, 500)}},
          {{d, 1500}}},
         {"FirstLineCountsItsTurnNotAnInheritedTotal",
          {{"a", codexUsage(d + "T10:00:00Z", 5817, 34) + codexUsage(d + "T10:01:00Z", 5900, 83)}},
          {{d, 34 + 83}}},
         {"FallingTotalCountsTheTurnAndGoesOnFromTheNewTotal",
          {{"a", codexUsage(d + "T10:00:00Z", 100) + codexUsage(d + "T10:01:00Z", 300, 200) +
                     codexUsage(d + "T10:02:00Z", 50, 50) + codexUsage(d + "T10:03:00Z", 80, 30)}},
          {{d, 300 + 50 + 30}}},
         {"MissingTotalIsInputPlusOutputAndMissingLastCountsTheWholeTotal",
          {{"a",
            R"({"timestamp":"2026-03-14T10:00:00Z","type":"event_msg","payload":{"type":"token_count","info":{"total_token_usage":{"input_tokens":60,"output_tokens":40}}}})"
            "\n"
            R"({"timestamp":"2026-03-14T10:01:00Z","type":"event_msg","payload":{"type":"token_count","info":{"total_token_usage":{"input_tokens":150,"output_tokens":50}}}})"
            "\n"},
           {"b", codexUsage(d + "T11:00:00Z", 700, 0) + codexUsage(d + "T11:01:00Z", 900, 0)}},
          {{d, 200 + 900}}},
         {"SpacedJsonAndWindowsLineEnds",
          {{"a", "{\"timestamp\" : \"2026-03-14T10:00:00Z\", \"type\" : \"event_msg\", "
                 "\"payload\" : {\"type\" : \"token_count\", \"info\" : {\"total_token_usage\" : "
                 "{\"total_tokens\" : 70}, \"last_token_usage\" : {\"total_tokens\" : 70}}}}\r\n"
                 "{\"timestamp\":\"2026-03-14T10:01:00Z\",\"type\":\"event_msg\",\"payload\":{"
                 "\"type\":\"token_count\",\"info\":{\"total_token_usage\":{\"total_tokens\":90},"
                 "\"last_token_usage\":{\"total_tokens\":20}}}}\r\n"}},
          {{d, 90}}},
         // The fork is listed (and so written and collected) first: which copy is seen first
         // must not matter.
         {"ForkReplayCountsOnceOnTheParentsDayAndSetsTheBaseline",
          {{"fork", codexMeta(d + "T12:00:00Z", forked) + parentLines(d, "12") +
                        codexUsage(d + "T12:10:00Z", 3500, 500)},
           {"parent",
            parentLines("2026-03-13", "22") + codexUsage("2026-03-13T23:00:00Z", 3300, 300)}},
          {{"2026-03-13", 3300}, {d, 500}}},
         {"SiblingForksOfAMissingParentAndAnUnmarkedBranchCopy",
          {{"one", codexMeta(d + "T12:00:00Z", forked) + parentLines(d, "12") +
                       codexUsage(d + "T12:10:00Z", 3400, 400)},
           {"two", codexMeta(d + "T13:00:00Z", forked) + parentLines(d, "13") +
                       codexUsage(d + "T13:10:00Z", 3200, 200)},
           {"copy", codexMeta(d + "T14:00:00Z") + parentLines(d, "14") +
                        codexUsage(d + "T14:10:00Z", 3100, 100)}},
          {{d, 3000 + 400 + 200 + 100}}},
         {"LinesWithOnlyTheLastTurnCountIt",
          {{"alone", lastOnly(d + "T10:00:00Z", 640)},
           {"two", lastOnly(d + "T11:00:00Z", 100) + lastOnly(d + "T11:01:00Z", 30) +
                       lastOnly(d + "T11:01:00Z", 30)}},
          {{d, 640 + 130}}},
         // The window fills twice; the next turns go on from its size, or fall below it.
         {"ContextWindowLineCountsNothingAndIsTheNextBaseline",
          {{"a", codexUsage(d + "T10:00:00Z", 1000) + windowFull(d + "T10:01:00Z") +
                     codexUsage(d + "T10:02:00Z", 273500, 1500) + windowFull(d + "T10:03:00Z") +
                     codexUsage(d + "T10:04:00Z", 4000, 4000)},
           {"b", windowFull(d + "T12:00:00Z", 400000) + codexUsage(d + "T12:01:00Z", 400700, 700)}},
          {{d, 1000 + 1500 + 4000 + 700}}},
         {"SpawnedSubagentsReplayStampedWithTheirCreationSecondCountNothing",
          {{"agent", codexMeta(d + "T15:00:00.250Z", spawned) +
                         codexUsage(d + "T15:00:00.300Z", 1500) +
                         codexUsage(d + "T15:00:00.900Z", 1620, 120) +
                         codexUsage(d + "T15:00:07Z", 3600, 1980)}},
          {{d, 1980}}}},
        "codex", codexHome + "/sessions/2026/03/14/rollout-", ".jsonl");
}

// An archived session resumed under the same name: both files count, their shared turns once.
TEST_F(CodexCountingTest, SameNamedSessionsInBothFoldersCountEveryTurnOnce) {
    const std::string shared = codexMeta(d + "T09:00:00Z") + codexUsage(d + "T09:01:00Z", 1000) +
                               codexUsage(d + "T09:02:00Z", 3000, 2000);
    expectCounts(
        {{"ArchivedThenResumed",
          {{"archived_sessions/rollout-a", shared + codexUsage(d + "T09:03:00Z", 3100, 100)},
           {"sessions/2026/03/14/rollout-a", shared + codexUsage(d + "T10:00:00Z", 3500, 500) +
                                                 codexUsage(d + "T10:01:00Z", 4000, 500)}},
          {{d, 3000 + 100 + 1000}}}},
        "codex", codexHome + "/", ".jsonl");
}

// A resumed session counts under each line's day, in whichever folder it lives; a copy of it
// in the archive counts once, and so does the archived copy that outlives it and grows.
TEST_F(CodexCountingTest, ArchivedSessionsCountUnderEachLinesDayAndOnce) {
    const std::string live = rollout("moved", "2026/03/10");
    writeText(live, codexUsage("2026-03-10T09:00:00Z", 400) +
                        codexUsage("2026-03-14T09:00:00Z", 1000, 600));
    writeText(codexHome + "/archived_sessions/rollout-moved.jsonl", readText(live));
    collect();
    EXPECT_EQ(tokens("2026-03-10", "codex"), 400);
    EXPECT_EQ(tokens("2026-03-14", "codex"), 600);

    std::filesystem::remove(live);
    appendText(codexHome + "/archived_sessions/rollout-moved.jsonl",
               codexUsage("2026-03-14T12:00:00Z", 1300, 300));
    collect();
    EXPECT_EQ(tokens("2026-03-14", "codex"), 900);
}

// A rewritten log is read again from its start and counts what it holds now, once.
TEST_F(CodexCountingTest, RewrittenLogCountsWhatItHoldsNow) {
    const std::string path = rollout("w");
    writeText(path, codexUsage(d + "T10:00:00Z", 100) + codexUsage(d + "T10:01:00Z", 200, 100) +
                        codexUsage(d + "T10:02:00Z", 300, 100));
    collect();
    EXPECT_EQ(tokens(d, "codex"), 300);
    writeText(path, codexUsage(d + "T10:00:00Z", 100) + codexUsage(d + "T10:03:00Z", 450, 350));
    collect();
    EXPECT_EQ(tokens(d, "codex"), 450);

    // Replaced by a longer file that does not start with what was read: read from its start.
    writeText(path, codexUsage(d + "T10:00:00Z", 100) + codexUsage(d + "T10:05:00Z", 170, 70) +
                        codexUsage(d + "T10:06:00Z", 190, 20) +
                        codexUsage(d + "T10:07:00Z", 240, 50));
    collect();
    EXPECT_EQ(tokens(d, "codex"), 240);

    // Touched without a change: nothing read again.
    std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now());
    collect();
    EXPECT_EQ(tokens(d, "codex"), 240);

    // A half-written last line waits for its end.
    const std::string line = codexUsage(d + "T10:08:00Z", 300, 60);
    appendText(path, line.substr(0, 40));
    collect();
    EXPECT_EQ(tokens(d, "codex"), 240);
    appendText(path, line.substr(40));
    collect();
    EXPECT_EQ(tokens(d, "codex"), 300);
}

TEST(CodexLines, OnlyLinesNamingAUsageOrContextRecordAreParsed) {
    const std::pair<std::string_view, bool> cases[] = {
        {R"({"type":"event_msg","payload":{"type":"token_count"}})", true},
        {R"({"a_b":"x_y","type":"session_meta"})", true},
        {R"({"call_id":"c_1","payload":{"type":"turn_context"}})", true},
        {R"("turn_context")", true},
        {R"({"type":"response_item","text":"token_count session_meta turn-context"})", false},
        {R"({"text":"\"token_counts\" and \"_meta\""})", false},
        {"_", false},
        {"", false},
    };
    for (const auto &[line, matters] : cases)
        EXPECT_EQ(codex::mayMatter(line), matters) << line;
}

TEST_F(CodexCountingTest, ATurnCopiedWithItsFiguresInAnotherOrderCountsOnce) {
    const std::string original = codexUsage(d + "T10:00:00Z", 300, 300);
    // The same usage objects, their members reversed, with an ignored member added.
    const std::string objects =
        R"({"total_tokens":300,"output_tokens":75,"cached_input_tokens":112,"input_tokens":225,)"
        R"("extra":1})";
    const std::string reordered = R"({"timestamp":")" + d +
                                  R"(T10:00:05Z","type":"event_msg","payload":{"type":)"
                                  R"("token_count","info":{"last_token_usage":)" +
                                  objects + R"(,"total_token_usage":)" + objects + "}}}\n";
    writeText(rollout("a"), codexMeta() + original);
    writeText(rollout("b"), codexMeta() + reordered);
    collect();
    EXPECT_EQ(tokens(d, "codex"), 300);
}

} // namespace
