// Codex: only increases of a session's running total count, under the day of their own line.
#include "LogFixture.h"

#include <filesystem>

namespace {

class CodexCountingTest : public LogTest {
protected:
    std::string rollout(const std::string &dayFolder, const std::string &name) {
        return codexHome + "/sessions/" + dayFolder + "/rollout-" + name + ".jsonl";
    }
};

TEST_F(CodexCountingTest, RepeatedTotalsAddNothingAndRateLimitLinesAreIgnored) {
    writeText(
        rollout("2026/03/14", "a"),
        codexMeta() + codexUsage("2026-03-14T10:00:00Z", 1000) +
            codexUsage("2026-03-14T10:00:01Z", 1000) +
            R"({"timestamp":"2026-03-14T10:00:02Z","type":"event_msg","payload":{"type":"token_count","info":null}})"
            "\n" +
            codexUsage("2026-03-14T10:05:00Z", 1500) + codexUsage("2026-03-14T10:05:01Z", 1500));
    collect();
    EXPECT_EQ(tokens("2026-03-14", "codex"), 1500);

    // Incremental: the next collection goes on from the remembered running total.
    appendText(rollout("2026/03/14", "a"),
               codexUsage("2026-03-14T11:00:00Z", 1500) + codexUsage("2026-03-14T11:00:01Z", 2100));
    collect();
    EXPECT_EQ(tokens("2026-03-14", "codex"), 2100);
}

// A session resumed days later counts under each line's day, in whichever folder it lives; a
// forked session starts with its parent's total replayed, which is not its own.
TEST_F(CodexCountingTest, ResumedSessionsCountUnderEachLinesDayAndForksSkipTheParentsTotal) {
    writeText(rollout("2026/03/10", "old"), codexMeta() + codexUsage("2026-03-10T09:00:00Z", 400) +
                                                codexUsage("2026-03-14T09:00:00Z", 1000));
    writeText(rollout("2026/03/14", "child"), codexMeta("parent-session") +
                                                  codexUsage("2026-03-14T10:00:00Z", 50000) +
                                                  codexUsage("2026-03-14T10:01:00Z", 50300));
    collect();
    EXPECT_EQ(tokens("2026-03-10", "codex"), 400);
    EXPECT_EQ(tokens("2026-03-14", "codex"), 600 + 300);
}

TEST_F(CodexCountingTest, ArchivedSessionIsNotCountedAgainAndAFallingTotalIsNotRecounted) {
    const std::string live = rollout("2026/03/14", "moved");
    writeText(live, codexMeta() + codexUsage("2026-03-14T10:00:00Z", 700));
    collect();
    const std::string archived = codexHome + "/archived_sessions/rollout-moved.jsonl";
    std::filesystem::create_directories(codexHome + "/archived_sessions");
    std::filesystem::rename(live, archived);
    appendText(archived, codexUsage("2026-03-14T12:00:00Z", 200) + // a replayed older total
                             codexUsage("2026-03-14T12:00:01Z", 900));
    collect();
    EXPECT_EQ(tokens("2026-03-14", "codex"), 900);
}

TEST_F(CodexCountingTest, HalfWrittenLastLineWaitsForItsEnd) {
    const std::string path = rollout("2026/03/14", "w");
    const std::string line = codexUsage("2026-03-14T10:00:00Z", 300);
    writeText(path, codexMeta() + codexUsage("2026-03-14T09:00:00Z", 100) + line.substr(0, 40));
    collect();
    EXPECT_EQ(tokens("2026-03-14", "codex"), 100);
    appendText(path, line.substr(40));
    collect();
    EXPECT_EQ(tokens("2026-03-14", "codex"), 300);
}

} // namespace
