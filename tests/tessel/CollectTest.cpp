// Collecting into the stored history: nothing lost, nothing counted twice, never a torn file.
#include "LogFixture.h"

#include "collect/LogReader.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace {

using CollectTest = LogTest;

TEST_F(CollectTest, WritesEveryRowWithAllProvidersAndTheirSumInDayOrder) {
    writeText(session(), claudeLine("m2", "r", "2026-03-14T10:00:00Z", 5, 5) +
                             claudeLine("m1", "r", "2026-03-12T10:00:00Z", 1, 1));
    writeText(rollout("x", "2026/03/13"), codexMeta() + codexUsage("2026-03-13T10:00:00Z", 40));
    collect();
    const std::string json = readText(usageFile());
    const auto first = json.find("2026-03-12"), second = json.find("2026-03-13"),
               third = json.find("2026-03-14");
    EXPECT_LT(first, second);
    EXPECT_LT(second, third);
    const UsageHistory stored = history();
    ASSERT_EQ(stored.days.size(), 3u);
    for (const auto &[day, providers] : stored.days) {
        EXPECT_EQ(providers.size(), 3u) << formatDay(day);
        EXPECT_TRUE(providers.contains("claude") && providers.contains("codex") &&
                    providers.contains("opencode"));
    }
    EXPECT_THAT(json, HasSubstr(R"("day": "2026-03-13", "total_tokens": 40,)"));
}

TEST_F(CollectTest, DaysWhoseLogsWereDeletedKeepTheirFigures) {
    writeText(session("old.jsonl"), claudeLine("m1", "r", "2026-01-02T10:00:00Z", 300, 0));
    writeText(session("new.jsonl"), claudeLine("m2", "r", "2026-03-14T10:00:00Z", 20, 0));
    collect();
    fs::remove(session("old.jsonl"));
    appendText(session("new.jsonl"), claudeLine("m3", "r", "2026-03-14T11:00:00Z", 1, 0));
    // Even with the collector's own state damaged or gone, the logs still present are not
    // counted twice and the stored days stay.
    const std::string state = repo + "/docs/.tessel-state";
    for (const char *step : {"deleted log", "damaged state", "no state"}) {
        if (step == std::string("damaged state"))
            writeText(state, readText(state).substr(0, 40));
        else if (step == std::string("no state"))
            fs::remove(state);
        collect();
        EXPECT_EQ(tokens("2026-01-02", "claude"), 300) << step;
        EXPECT_EQ(tokens("2026-03-14", "claude"), 21) << step;
    }
}

// After an upgrade that changed the counting rules (the state of the old version is not
// read), days and providers whose logs are readable follow the new count, even downwards;
// the others keep their stored figures.
TEST_F(CollectTest, RecountReplacesTheDaysTheLogsCoverAndKeepsTheOthers) {
    writeText(usageFile(), R"({"rows":[
        {"day":"2025-12-01","total_tokens":9,"providers":{"gemini":4,"codex":5}},
        {"day":"2026-01-02","total_tokens":300,"providers":{"claude":300}},
        {"day":"2026-03-14","total_tokens":1054,"providers":{"claude":999,"codex":55}}]})");
    writeText(repo + "/docs/.tessel-state", std::string("TESSELST\x02\0\0\0", 12) + "old");
    writeText(session(), claudeLine("m", "r", "2026-03-14T10:00:00Z", 15, 5));
    runToolOk({"collect"});
    EXPECT_EQ(tokens("2026-01-02", "claude"), 300);
    EXPECT_EQ(tokens("2026-03-14", "claude"), 20);
    EXPECT_EQ(tokens("2026-03-14", "codex"), 55);
    // Rows of providers this version does not know stay as they were.
    EXPECT_EQ(tokens("2025-12-01", "gemini"), 4);
    EXPECT_EQ(history().dayTotal(*parseDay("2025-12-01")), 9);
    // The breakdown holds the days it counted.
    EXPECT_EQ(breakdownFigures("claude"),
              (std::map<std::string, std::int64_t>{{"2026-03-14", 20}}));
}

// Also with OpenCode's copied messages in the state, and after a session moved into the
// archive: a file renamed keeps its entry.
TEST_F(CollectTest, SecondCollectWithNothingNewReadsNothing) {
    for (int i = 0; i < 20; ++i)
        writeText(session("s" + std::to_string(i) + ".jsonl"),
                  claudeLine("m" + std::to_string(i), "r", "2026-03-14T10:00:00Z", 1, 1));
    writeText(rollout("r"), codexMeta() + codexUsage("2026-03-14T10:00:00Z", 700));
    const std::string copied = openCodeMessage("msg_a", 1773482400000, 5, 0);
    writeText(messageFile("msg_a"), copied);
    writeText(openCodeData + "/storage/message/ses_fork/msg_b.json",
              openCodeMessage("msg_b", 1773482400000, 5, 0));
    EXPECT_EQ(collect().filesRead, 23u);
    const auto stateTime = fs::last_write_time(repo + "/docs/.tessel-state");
    const CollectSummary again = collect();
    EXPECT_EQ(again.filesRead, 0u);
    EXPECT_EQ(again.bytesRead, 0u);
    EXPECT_EQ(fs::last_write_time(repo + "/docs/.tessel-state"), stateTime);

    fs::create_directories(codexHome + "/archived_sessions");
    fs::rename(rollout("r"), codexHome + "/archived_sessions/rollout-r.jsonl");
    EXPECT_EQ(collect().filesRead, 0u);
    EXPECT_EQ(tokens("2026-03-14", "claude"), 40);
    EXPECT_EQ(tokens("2026-03-14", "codex"), 700);
    EXPECT_EQ(tokens("2026-03-14", "opencode"), 5);
}

// A log larger than one read hands over is read and merged a piece at a time: copies of a
// message on both sides of a piece's end count once, a Codex session's running total goes on
// across them, and the file is read on from its end when it grows.
TEST_F(CollectTest, ALogLargerThanOneReadCountsAsReadWhole) {
    const std::string d = "2026-03-14";
    const std::string filler =
        R"({"type":"user","message":{"content":")" + std::string(4000, 'x') + "\"}}\n";
    std::string middle;
    while (middle.size() <= LogReader::pieceSize)
        middle += filler;
    writeText(session(), claudeLine("m1", "r1", d + "T10:00:00Z", 10, 5) + middle +
                             claudeLine("m1", "r1", d + "T10:00:00Z", 10, 5) +
                             claudeLine("m2", "r2", d + "T11:00:00Z", 20, 7));
    writeText(rollout(), codexMeta() + codexUsage(d + "T10:00:00Z", 1000) + middle +
                             codexUsage(d + "T11:00:00Z", 1500, 500));
    middle = {};
    const CollectSummary summary = collect();
    EXPECT_EQ(summary.filesRead, 2u);
    EXPECT_EQ(summary.bytesRead, fs::file_size(session()) + fs::file_size(rollout()));
    EXPECT_EQ(tokens(d, "claude"), 15 + 27);
    EXPECT_EQ(tokens(d, "codex"), 1500);
    appendText(rollout(), codexUsage(d + "T12:00:00Z", 1600, 100));
    collect();
    EXPECT_EQ(tokens(d, "codex"), 1600);
}

TEST_F(CollectTest, CollectKilledWhileWritingLeavesTheOldFileByteIdentical) {
    // A large history, so that writing its replacement crosses the file-size limit below and
    // the kernel kills the tool half-way through the temporary file.
    std::string rows;
    for (int day = 0; day < 400; ++day)
        rows += std::string(rows.empty() ? "" : ",") + R"({"day":")" + formatDay(19000 + day) +
                R"(","total_tokens":1,"providers":{"codex":1}})";
    const std::string original = R"({"rows":[)" + rows + "]}";
    writeText(usageFile(), original);
    writeText(session(), claudeLine("m", "r", "2026-03-14T10:00:00Z", 2, 0));

    const ChildOutcome killed =
        run({"sh", "-c", "ulimit -f 16; exec \"$0\" collect", TESSEL_BINARY});
    EXPECT_NE(killed.exitCode, 0);
    EXPECT_EQ(readText(usageFile()), original);

    // The next collect clears the leftover and completes.
    runToolOk({"collect"});
    EXPECT_EQ(tokens("2026-03-14", "claude"), 2);
    for (const auto &entry : fs::directory_iterator(repo + "/docs"))
        EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos);
}

} // namespace
