// Gemini CLI, GitHub Copilot CLI, Amp, Qwen Code, Kilo CLI, Pi and Kimi CLI: logs of each
// tool's own shape, with the figures per day they must give, and the traps of each tool (a
// message written again as it updates, copies in forks and resumed sessions, input that
// already holds the cache, two storage shapes, files rewritten whole) as rows of the tables.
#include "LogFixture.h"

#include "MoreProvidersLogs.h"

#include <sqlite3.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

using namespace more_logs;

class MoreProvidersCountingTest : public LogTest {};

TEST_F(MoreProvidersCountingTest, GeminiChatsCountEachMessageOnce) {
    const std::string chats = "app/chats/";
    const std::string meta =
        R"({"sessionId":"s1","projectHash":"ab12","startTime":"2026-03-13T09:00:00.000Z"})"
        "\n";
    // 1000 input of which 600 cached, 50 output, 20 thoughts, 5 tool: 1075.
    const std::string reply = geminiMessage("m1", "2026-03-13T10:00:00Z", 1000, 50, 600, 20, 5);
    const std::string later = geminiMessage("m2", "2026-03-14T10:00:00Z", 300, 30);
    const std::string unfinished =
        geminiMessage("m1", "2026-03-13T10:00:00Z", 0, 0, 0, 0, 0, false);
    expectCounts(
        {{"RepliesWithTheirThoughtsAndToolPrompt",
          {{".project_root", "/home/me/app"},
           {chats + "session-1.jsonl",
            meta +
                R"({"id":"u1","timestamp":"2026-03-13T09:59:00Z","type":"user","content":"hi"})"
                "\n" +
                reply + later}},
          {{"2026-03-13", 1075}, {"2026-03-14", 330}}},
         {"AMessageWrittenAgainAsItUpdatesCountsOnce",
          {{chats + "session-1.jsonl", meta + unfinished + reply + reply +
                                           R"({"$set":{"lastUpdated":"x"}})"
                                           "\n"}},
          {{"2026-03-13", 1075}}},
         {"RewoundMessagesWereStillPaidFor",
          {{chats + "session-1.jsonl", meta + reply + later +
                                           R"({"$rewindTo":"m1"})"
                                           "\n" +
                                           geminiMessage("m3", "2026-03-14T11:00:00Z", 7, 1)}},
          {{"2026-03-13", 1075}, {"2026-03-14", 338}}},
         {"ASetUpdateRepeatsTheMessagesItKeeps",
          {{chats + "session-1.jsonl", meta + reply + R"({"$set":{"messages":[)" + trimmed(reply) +
                                           "," + trimmed(later) + "]}}\n"}},
          {{"2026-03-13", 1075}, {"2026-03-14", 330}}},
         {"SubagentChatsCount",
          {{chats + "session-1.jsonl", meta + reply},
           {chats + "s1/agent-1.jsonl", geminiMessage("a1", "2026-03-14T12:00:00Z", 40, 2)}},
          {{"2026-03-13", 1075}, {"2026-03-14", 42}}},
         {"AResumedOlderSessionIsCopiedBesideItsDocument",
          {{chats + "session-1.json",
            R"({"sessionId":"s1","projectHash":"ab12","messages":[)" + trimmed(reply) + "]}"},
           {chats + "session-1.jsonl", meta + reply + later}},
          {{"2026-03-13", 1075}, {"2026-03-14", 330}}},
         {"AProjectFolderCopiedUnderItsNewName",
          {{"0f3a9c/chats/session-1.jsonl", meta + reply},
           {chats + "session-1.jsonl", meta + reply}},
          {{"2026-03-13", 1075}}},
         {"OnlyChatsAreRead",
          {{"app/logs.json", "[" + trimmed(reply) + "]"},
           {"app/checkpoint-x.json", R"({"messages":[)" + trimmed(later) + "]}"}},
          {}}},
        "gemini", home + "/.gemini/tmp/");
}

TEST_F(MoreProvidersCountingTest, QwenRepliesCountTheirPromptOnce) {
    writeText(home + "/.qwen/usage_record.jsonl",
              qwenReply("s9", "2026-03-14T10:00:00Z", 90000, 1, 0, 0, 0));
    const std::string a = qwenReply("s1", "2026-03-14T10:00:00.100Z", 1000, 200, 600, 50, 1250);
    expectCounts(
        {{"ThoughtsApartFromTheCandidates", {{"a.jsonl", a}}, {{"2026-03-14", 1250}}},
         {"ThoughtsInsideTheCandidatesWhereTheTotalSaysSo",
          {{"a.jsonl", qwenReply("s1", "2026-03-14T10:00:00Z", 1000, 200, 600, 50, 1200)}},
          {{"2026-03-14", 1200}}},
         {"NoTotalAddsAllThree",
          {{"a.jsonl", qwenReply("s1", "2026-03-14T10:00:00Z", 1000, 200, 0, 50, 0)}},
          {{"2026-03-14", 1250}}},
         {"ACacheLargerThanThePromptWasCountedApart",
          {{"a.jsonl", qwenReply("s1", "2026-03-14T10:00:00Z", 10, 20, 500, 0, 0)}},
          {{"2026-03-14", 530}}},
         {"ACopiedReplyCountsOnceOtherLinesNothing",
          {{"a.jsonl",
            R"({"uuid":"u0","sessionId":"s1","timestamp":"2026-03-14T09:59:00Z","type":"user"})"
            "\n" +
                a + a},
           {"b.jsonl", a + qwenReply("s2", "2026-03-15T10:00:00Z", 5, 5, 0, 0, 10)}},
          {{"2026-03-14", 1250}, {"2026-03-15", 10}}}},
        "qwen", home + "/.qwen/projects/-home-me-app/chats/");
}

TEST_F(MoreProvidersCountingTest, PiRepliesCountOnceAcrossForks) {
    const std::string header = piHeader("s1", "/home/me/app");
    const std::string a = piReply("2026-03-14T10:00:00Z", 10, 20, 300, 40);
    const std::string b = piReply("2026-03-15T10:00:00Z", 1, 2, 0, 0);
    expectCounts(
        {{"InputOutputAndBothCacheFigures",
          {{"1_s1.jsonl", header +
                              R"({"type":"message","id":"u1","timestamp":"2026-03-14T09:00:00Z",)"
                              R"("message":{"role":"user","content":"hi","timestamp":1}})"
                              "\n" +
                              a + b}},
          {{"2026-03-14", 370}, {"2026-03-15", 3}}},
         {"AForkCopiesEntriesIntoANewSession",
          {{"1_s1.jsonl", header + a}, {"2_s2.jsonl", piHeader("s2", "/home/me/app") + a + b}},
          {{"2026-03-14", 370}, {"2026-03-15", 3}}}},
        "pi", home + "/.pi/agent/sessions/--home-me-app--/");
}

TEST_F(MoreProvidersCountingTest, KimiStepsCountOnceAndOnlyFromWireFiles) {
    const std::string meta = "{\"type\": \"metadata\", \"protocol_version\": \"1.3\"}\n";
    const std::string a = kimiStatus(1773482400.25, "chatcmpl-1", 100, 20, 3000, 40);
    const std::string b = kimiStatus(1773568800.5, "chatcmpl-2", 1, 2, 3, 4);
    expectCounts(
        {{"TheFourFiguresOfEachStep",
          {{"s1/wire.jsonl",
            meta + a + b +
                R"({"timestamp": 1773482401, "message": {"type": "StatusUpdate", "payload": )"
                R"({"context_usage": 0.5, "token_usage": null, "message_id": null}}})"
                "\n"}},
          {{"2026-03-14", 3160}, {"2026-03-15", 10}}},
         {"AForkedSessionCopiesTheWire",
          {{"s1/wire.jsonl", meta + a}, {"s2/wire.jsonl", meta + a + b}},
          {{"2026-03-14", 3160}, {"2026-03-15", 10}}},
         {"ContextFilesAreNotRead", {{"s1/wire.jsonl", meta}, {"s1/context.jsonl", a + b}}, {}}},
        "kimi", home + "/.kimi/sessions/5d41402abc4b2a76b9719d911017c592/");
}

TEST_F(MoreProvidersCountingTest, AmpThreadsOfBothShapesAndTheirRewrites) {
    const std::string threads = home + "/.local/share/amp/threads/";
    // The older ledger: events with input and output, a model call joined to its message for
    // the cache; a subagent's event is left to the subagent's own thread.
    const std::string ledger =
        ampThread("T-1",
                  {ampMessage(1, "2026-03-14T10:00:00Z", 100, 20, 3000, 500, false),
                   ampMessage(3, "2026-03-14T11:00:00Z", 7, 3, 0, 0, false)},
                  {ampEvent("e1", "inference", 1, 100, 20), ampEvent("e2", "inference", 3, 7, 3),
                   ampEvent("e3", "title-generation", 0, 40, 5),
                   ampEvent("e4", "subagent", 1, 900, 90, "T-sub")});
    // The newer usage on the messages themselves, with its own time.
    const std::string messages =
        ampThread("T-2", {ampMessage(1, "2026-03-15T10:00:00Z", 10, 5, 200, 1000, true)}, {});
    const std::string grown =
        ampThread("T-2",
                  {ampMessage(1, "2026-03-15T10:00:00Z", 10, 50, 200, 1000, true),
                   ampMessage(3, "2026-03-13T10:00:00Z", 1, 1, 0, 0, true)},
                  {});
    const std::map<std::string, std::int64_t> expected{
        {"2026-03-13", 2}, {"2026-03-14", 3620 + 10 + 45}, {"2026-03-15", 1260}};
    for (const bool fromScratch : {false, true}) {
        SCOPED_TRACE(fromScratch ? "from scratch" : "rewritten between collects");
        fs::remove_all(repo + "/docs");
        writeText(threads + "T-1.json", ledger);
        writeText(threads + "T-2.json", messages);
        if (!fromScratch) {
            collect();
            EXPECT_EQ(figures("amp").at("2026-03-15"), 1215);
        }
        // Amp rewrites the whole thread as it grows.
        writeText(threads + "T-2.json", grown);
        collect();
        EXPECT_EQ(figures("amp"), expected);
    }
}

TEST_F(MoreProvidersCountingTest, CopilotRowsSplitTheirInputAndCountOnce) {
    const std::string store = home + "/.copilot/session-store.db";
    runSql(store,
           copilotSchema + copilotRow(1, "s1", "2026-03-14 10:00:00", 5000, 300, 4000, 500, 100));
    collect();
    // Input holds both cache figures: the row is 5300 tokens, not 9800.
    EXPECT_EQ(tokens("2026-03-14", "copilot"), 5300);

    runSql(store, copilotRow(2, "s1", "2026-03-14T23:30:00-02:00", 10, 5, 0, 0, 0));
    collect();
    EXPECT_EQ(tokens("2026-03-14", "copilot"), 5300);
    EXPECT_EQ(tokens("2026-03-15", "copilot"), 15);

    // A store rebuilt from the sessions (new ids, same rows) counts nothing again; an OTel file
    // beside it is never read.
    runSql(store, "DELETE FROM assistant_usage_events;" +
                      copilotRow(7, "s1", "2026-03-14 10:00:00", 5000, 300, 4000, 500, 100) +
                      copilotRow(8, "s1", "2026-03-14T23:30:00-02:00", 10, 5, 0, 0, 0));
    writeText(home + "/.copilot/otel/spans.jsonl", R"({"gen_ai.usage.input_tokens":99999})");
    collect();
    EXPECT_EQ(figures("copilot"),
              (std::map<std::string, std::int64_t>{{"2026-03-14", 5300}, {"2026-03-15", 15}}));
}

TEST_F(MoreProvidersCountingTest, KiloDatabasesAreReadAsKilosOwn) {
    const std::string data = home + "/.local/share/kilo/";
    writeOpenCodeDatabase(data + "kilo.db",
                          {{"msg_1", openCodeMessage("msg_1", 1773482400000, 1, 2, 3, 4, 5)}});
    writeOpenCodeDatabase(data + "kilo-nightly.db",
                          {{"msg_2", openCodeMessage("msg_2", 1773482400000, 100, 0)}});
    // The same message id in OpenCode's own database is OpenCode's usage, not Kilo's.
    writeOpenCodeDatabase(openCodeData + "/opencode.db",
                          {{"msg_1", openCodeMessage("msg_1", 1773482400000, 1, 2, 3, 4, 5)}});
    const std::string before = readText(data + "kilo.db");
    collect();
    EXPECT_EQ(tokens("2026-03-14", "kilo"), 115);
    EXPECT_EQ(tokens("2026-03-14", "opencode"), 15);
    EXPECT_EQ(readText(data + "kilo.db"), before);

    // KILO_DB names one database, relative to the data folder.
    environment.set("KILO_DB", "kilo-nightly.db");
    fs::remove_all(repo + "/docs");
    collect();
    EXPECT_EQ(tokens("2026-03-14", "kilo"), 100);
}

// Damaged rows, lines and documents are skipped and named; they never cost the rest.
TEST_F(MoreProvidersCountingTest, OneOddRowLineOrThreadNeverCostsTheRest) {
    const std::string store = home + "/.copilot/session-store.db";
    runSql(store, copilotSchema + copilotRow(1, "s1", "2026-03-14 10:00:00", 10, 5, 0, 0, 0) +
                      copilotRow(2, "s1", "2026-03-14 10:00:00", -50, 7, 0, 0, 0) +
                      copilotRow(3, "s1", "not a time", 1000, 0, 0, 0, 0) +
                      copilotRow(4, "s1", "2026-03-14 10:00:00", 5, 5, 900, 900, 900) +
                      "INSERT INTO assistant_usage_events (id, session_id, model, input_tokens, "
                      "created_at) VALUES (5, 's1', 'x', 'many', '2026-03-14 10:00:00');");
    const std::string threads = home + "/.local/share/amp/threads/";
    writeText(threads + "T-bad.json", R"({"id":"T-bad","messages":[{"role":"assistant",)");
    writeText(threads + "T-ok.json",
              ampThread("T-ok",
                        {more_logs::ampMessage(1, "2026-03-14T10:00:00Z", 1, 2, 3, 4, true)}, {}));
    writeText(home + "/.kimi/sessions/h/s/wire.jsonl",
              kimiStatus(1773482400, "a", 1, 1, 1, 1) +
                  R"({"timestamp": "soon", "message": {"type": "StatusUpdate", "payload": )"
                  R"({"token_usage": {"input_other": 1, "output": 1, "input_cache_read": 0, )"
                  R"("input_cache_creation": 0}, "message_id": "b"}}})"
                  "\n" +
                  kimiStatus(1773482400123.0, "c", 2, 0, 0, 0));
    const CollectSummary summary = collect();
    // Row 2's negative input counts 0; row 4's cache and reasoning are capped by what holds
    // them; rows 3 and 5 cannot be read.
    EXPECT_EQ(tokens("2026-03-14", "copilot"), 15 + 7 + 10);
    EXPECT_EQ(tokens("2026-03-14", "amp"), 10);
    // A time in milliseconds is read as such.
    EXPECT_EQ(tokens("2026-03-14", "kimi"), 4 + 2);
    std::string warnings;
    for (const std::string &warning : summary.warnings)
        warnings += warning + "\n";
    EXPECT_THAT(warnings, HasSubstr("could not be read"));

    // A store without the usage table (an older Copilot) is named, and the rest still counts.
    runSql(store, "DROP TABLE assistant_usage_events;");
    fs::remove_all(repo + "/docs");
    const CollectSummary older = collect();
    EXPECT_EQ(tokens("2026-03-14", "amp"), 10);
    EXPECT_EQ(tokens("2026-03-14", "copilot"), 0);
    std::string named;
    for (const std::string &warning : older.warnings)
        named += warning + "\n";
    EXPECT_THAT(named, HasSubstr("assistant_usage_events"));
}

TEST_F(MoreProvidersCountingTest, UsageFileAndTodayReportNameTheToolsThatHaveFigures) {
    writeText(home + "/.pi/agent/sessions/--w--/1_s.jsonl",
              piHeader("s", "/w") + piReply("2026-03-14T10:00:00Z", 10, 20, 0, 0));
    runToolOk({"collect"});
    const std::string usage = readText(usageFile());
    EXPECT_THAT(usage, HasSubstr("\"pi\": 30"));
    EXPECT_THAT(usage, HasSubstr("\"claude\": 0"));
    EXPECT_THAT(usage, ::testing::Not(HasSubstr("\"kimi\"")));
    const ChildOutcome today = runToolOk({"report", "today"});
    EXPECT_THAT(today.standardOutput, HasSubstr("Pi"));
    EXPECT_THAT(today.standardOutput, ::testing::Not(HasSubstr("Kimi")));
}

} // namespace
