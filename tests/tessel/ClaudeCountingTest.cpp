// Claude Code: which lines count, and how streamed and copied messages are counted once.
#include "LogFixture.h"

namespace {

using ClaudeCountingTest = LogTest;

std::string sidechain(std::string line) {
    line.replace(line.find(R"("isSidechain":false)"), 19, R"("isSidechain":true)");
    return line;
}

// A subagent's line as its parent's file relays it.
std::string progress(const std::string &line, const std::string &timestamp) {
    return R"({"type":"progress","isSidechain":false,"timestamp":")" + timestamp +
           R"(","data":{"type":"agent_progress","message":)" + line.substr(0, line.size() - 1) +
           "}}\n";
}

// A line of an older version, which wrote no message.id.
std::string withoutId(std::string line) {
    const size_t id = line.find(R"("id":")");
    return line.erase(id, line.find(',', id) + 1 - id);
}

std::string crlf(std::string line) {
    line.insert(line.size() - 1, "\r");
    return line;
}

const std::string replayed =
    claudeLine("msg_main", "req_1", "2026-03-14T10:00:00Z", 10, 10, 50000, 750);

TEST_F(ClaudeCountingTest, CountsEachMessageOnceWhateverWhenCollected) {
    // The side question is written first: the main-chain copy must still win.
    expectCounts(
        {{"SideQuestionReplayingAMainChainMessageCountsOnlyItsOwn",
          {{"s/subagents/agent-aside_question-1.jsonl",
            sidechain(claudeLine("msg_main", "req_2", "2026-03-14T11:00:00Z", 10, 10, 50000, 750)) +
                sidechain(claudeLine("msg_aside", "req_3", "2026-03-14T11:00:01Z", 700, 60))},
           {"s.jsonl", replayed}},
          {{"2026-03-14", 50770 + 760}}},
         {"ProgressLinesCountWhenTheSubagentFileIsGoneAndOnceWhenItIsNot",
          {{"s.jsonl",
            progress(sidechain(claudeLine("msg_sub", "req_s", "2026-03-14T10:00:00Z", 5, 5)),
                     "2026-03-14T10:00:00Z") +
                progress(sidechain(claudeLine("msg_kept", "req_k", "2026-03-14T10:01:00Z", 40, 60)),
                         "2026-03-14T10:01:00Z")},
           {"s/subagents/agent-1.jsonl",
            sidechain(claudeLine("msg_kept", "req_k", "2026-03-14T10:01:00Z", 40, 60))}},
          {{"2026-03-14", 10 + 100}}},
         // Replaced by a new file that holds the old lines and more, or the same lines again:
         // lines without a message id have nothing to de-duplicate on, yet count once.
         {"LinesWithoutMessageIdCountOnceHoweverTheirFileIsWritten",
          {{"s.jsonl", withoutId(claudeLine("m", "r1", "2026-03-14T10:00:00Z", 100, 20, 200, 35)) +
                           withoutId(claudeLine("m", "r2", "2026-03-14T10:01:00Z", 40, 30, 0, 5)) +
                           claudeLine("msg_1", "req_1", "2026-03-14T10:02:00Z", 50, 25) +
                           withoutId(claudeLine("m", "r3", "2026-03-14T10:03:00Z", 60, 15))}},
          {{"2026-03-14", 355 + 75 + 75 + 75}}},
         {"CacheCreationObjectStandsInForAMissingFlatFigure",
          {{"s.jsonl",
            R"({"type":"assistant","timestamp":"2026-03-14T10:00:00Z","requestId":"r","message":{"id":"m","model":"claude-opus-4-5","usage":{"input_tokens":1,"cache_read_input_tokens":2,"output_tokens":3,"cache_creation":{"ephemeral_5m_input_tokens":100,"ephemeral_1h_input_tokens":1000}}}})"
            "\n"
            R"({"type":"assistant","timestamp":"2026-03-14T10:00:00Z","requestId":"r2","message":{"id":"m2","model":"claude-opus-4-5","usage":{"input_tokens":1,"cache_creation_input_tokens":7,"output_tokens":0,"cache_creation":{"ephemeral_5m_input_tokens":7}}}})"
            "\n"}},
          {{"2026-03-14", 1106 + 8}}},
         {"ByteOrderMarkAndWindowsLineEndsCostNoLine",
          {{"s.jsonl", "\xEF\xBB\xBF" + crlf(claudeLine("m1", "r", "2026-03-14T10:00:00Z", 1, 2)) +
                           crlf(claudeLine("m2", "r", "2026-03-14T10:00:00Z", 30, 0))}},
          {{"2026-03-14", 33}}},
         // Streamed across midnight: the fuller copy, of the next day, is the one that counts.
         {"MessageStreamedAcrossMidnightCountsOnTheDayOfTheKeptCopy",
          {{"s.jsonl", claudeLine("msg_1", "req_1", "2026-03-13T23:59:59Z", 0, 20) +
                           claudeLine("msg_1", "req_1", "2026-03-14T00:00:01Z", 0, 30)}},
          {{"2026-03-14", 30}}},
         // The first streamed copy undercounts its output; a resumed session copies it to a new
         // file, and a fuller copy replaces the counted one by the difference.
         {"StreamedCopiesAcrossFilesCountOnceWithTheLargestOutput",
          {{"s.jsonl", claudeLine("msg_1", "req_1", "2026-03-14T10:00:00Z", 10, 1, 100, 1000) +
                           claudeLine("msg_1", "req_1", "2026-03-14T10:00:01Z", 10, 40, 100, 1000)},
           {"b.jsonl", claudeLine("msg_1", "req_1", "2026-03-14T10:00:02Z", 10, 40, 100, 1000) +
                           claudeLine("msg_2", "req_2", "2026-03-14T11:00:00Z", 5, 5) +
                           claudeLine("msg_2", "req_2", "2026-03-14T11:00:01Z", 5, 25)}},
          {{"2026-03-14", 1150 + 30}}},
         // Same message id, but with and without a request id: two identities.
         {"MessageIdAloneIdentifiesLinesWithoutRequestId",
          {{"s.jsonl", claudeLine("msg_1", std::nullopt, "2026-03-14T10:00:00Z", 7, 3) +
                           claudeLine("msg_1", std::nullopt, "2026-03-14T10:00:00Z", 7, 3) +
                           claudeLine("msg_1", "req_x", "2026-03-14T10:00:00Z", 7, 3)}},
          {{"2026-03-14", 20}}},
         {"SyntheticUserAndCorruptLinesAreSkipped",
          {{"s.jsonl",
            R"({"type":"user","message":{"role":"user","content":"what is \"usage\"?"},"timestamp":"2026-03-14T09:00:00Z"})"
            "\n" +
                claudeLine("msg_s", "req_s", "2026-03-14T09:00:01Z", 500, 500, 0, 0,
                           "<synthetic>") +
                R"({"type":"file-history-snapshot","snapshot":{"usage":1}})"
                "\n"
                R"({"type":"assistant","message":{"id":"m","usage":{"input_tokens":"many"}},"timestamp":"2026-03-14T09:00:02Z"})"
                "\n"
                "{\"type\":\"assistant\",\"usage\" broken json\n"
                "\x01\x02\xff binary \"usage\" noise\n" +
                claudeLine("msg_ok", "req_ok", "2026-03-14T09:00:03Z", 1, 2) +
                claudeLine("msg_notime", "req", "yesterday", 1000, 1000)},
           {"garbage.jsonl", std::string(100000, '\0')}},
          {{"2026-03-14", 3}}}},
        "claude", claudeProjects + "/p/");
}

TEST_F(ClaudeCountingTest, SubagentFilesAndEveryConfiguredFolderAreRead) {
    writeText(session("s1/subagents/agent-1.jsonl"),
              claudeLine("msg_a", "req_a", "2026-03-14T10:00:00Z", 1, 1));
    const std::string other = root + "/other-claude";
    writeText(other + "/projects/p/x.jsonl",
              claudeLine("msg_b", "req_b", "2026-03-14T10:00:00Z", 2, 2));
    environment.set("CLAUDE_CONFIG_DIR", home + "/.claude, " + other);
    collect();
    EXPECT_EQ(tokens("2026-03-14", "claude"), 6);

    // Set to a projects folder itself.
    writeText(root + "/third/projects/p/y.jsonl",
              claudeLine("msg_c", "req_c", "2026-03-14T10:00:00Z", 3, 3));
    environment.set("CLAUDE_CONFIG_DIR", root + "/third/projects/");
    collect();
    EXPECT_EQ(tokens("2026-03-14", "claude"), 12);
}

TEST_F(ClaudeCountingTest, DaysFollowTheLocalTimeZone) {
    setTimeZone("EST5EDT,M3.2.0,M11.1.0");
    writeText(session(),
              claudeLine("m1", "r", "2026-03-14T03:59:59Z", 1, 0) + // 23:59:59 EDT the day before
                  claudeLine("m2", "r", "2026-03-14T04:00:00Z", 10, 0) +
                  claudeLine("m3", "r", "2026-03-14T23:30:00-04:00", 100, 0));
    collect();
    EXPECT_EQ(tokens("2026-03-13", "claude"), 1);
    EXPECT_EQ(tokens("2026-03-14", "claude"), 110);

    // A half-hour zone: lines read later fall on the days of that zone.
    setTimeZone("IST-5:30");
    appendText(session(), claudeLine("m4", "r", "2026-03-13T18:29:59Z", 1000, 0) +
                              claudeLine("m5", "r", "2026-03-13T18:30:00Z", 2000, 0));
    collect();
    EXPECT_EQ(tokens("2026-03-13", "claude"), 1001);
    EXPECT_EQ(tokens("2026-03-14", "claude"), 2110);
}

} // namespace
