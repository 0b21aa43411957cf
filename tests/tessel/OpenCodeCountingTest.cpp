// OpenCode: its database (read-only) and its older message files, one identity per message.
#include "LogFixture.h"

#include <sqlite3.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

// 2026-03-14T10:00:00Z in milliseconds.
constexpr std::int64_t morning = 1773482400000;

class OpenCodeCountingTest : public LogTest {
protected:
    std::string database() const { return openCodeData + "/opencode.db"; }
};

// The database is the newer storage: its copy of a message wins over a message file's, even
// where the file's figures are larger.
TEST_F(OpenCodeCountingTest, BothStorageFormsAreReadAndTheDatabaseCopyWins) {
    writeOpenCodeDatabase(database(), {{"msg_1", openCodeMessage("msg_1", morning, 1, 2, 3, 4, 5)},
                                       {"msg_2", openCodeMessage("msg_2", morning, 10, 0)},
                                       {"msg_u", R"({"role":"user","time":{"created":1}})"}});
    writeText(messageFile("msg_1"), openCodeMessage("msg_1", morning, 1, 2, 3, 4, 5));
    writeText(messageFile("msg_2"), openCodeMessage("msg_2", morning, 10, 500));
    writeText(messageFile("msg_3"), openCodeMessage("msg_3", morning, 100, 0));
    writeText(messageFile("msg_bad"), "{\"tokens\": oops");
    collect();
    EXPECT_EQ(tokens("2026-03-14", "opencode"), 15 + 10 + 100);

    // A message that grew in the database replaces its counted copy.
    writeOpenCodeDatabase(database(), {{"msg_2", openCodeMessage("msg_2", morning, 10, 90)}});
    collect();
    EXPECT_EQ(tokens("2026-03-14", "opencode"), 15 + 100 + 100);
}

TEST_F(OpenCodeCountingTest, DatabaseIsOpenedReadOnlyAndFoundThroughTheEnvironment) {
    const std::string elsewhere = root + "/custom/oc.db";
    writeOpenCodeDatabase(elsewhere, {{"msg_1", openCodeMessage("msg_1", morning, 7, 0)}});
    const std::string before = readText(elsewhere);
    environment.set("OPENCODE_DB", elsewhere);
    collect();
    EXPECT_EQ(tokens("2026-03-14", "opencode"), 7);
    EXPECT_EQ(readText(elsewhere), before);

    // A database that is not one is skipped with a warning, and the rest still counts.
    writeText(elsewhere, "not a database at all, just text");
    writeText(root + "/data/storage/message/s/msg_9.json", openCodeMessage("msg_9", morning, 3, 0));
    environment.set("OPENCODE_DATA_DIR", root + "/data");
    const CollectSummary summary = collect();
    EXPECT_EQ(tokens("2026-03-14", "opencode"), 10);
    EXPECT_FALSE(summary.warnings.empty());
}

std::string quoted(const std::string &text) {
    char *escaped = sqlite3_mprintf("%Q", text.c_str());
    std::string result = escaped;
    sqlite3_free(escaped);
    return result;
}

const std::string messageTable =
    "CREATE TABLE message (id TEXT PRIMARY KEY, session_id TEXT, time_created INTEGER, data "
    "TEXT);";
const std::string sessionMessageTable =
    "CREATE TABLE session_message (id TEXT PRIMARY KEY, session_id TEXT, type TEXT, seq "
    "INTEGER, time_created INTEGER, time_updated INTEGER, data TEXT);";

std::string withModel(std::string json) {
    return json.insert(1, R"("providerID":"anthropic","modelID":"claude-sonnet-4-5",)");
}

std::string row(const std::string &table, const std::string &id, const std::string &data,
                const std::string &session = "ses_1", int seq = 1,
                const std::string &type = "assistant") {
    if (table == "message")
        return "INSERT INTO message VALUES (" + quoted(id) + "," + quoted(session) + ",0," +
               quoted(data) + ");";
    return "INSERT INTO session_message VALUES (" + quoted(id) + "," + quoted(session) + "," +
           quoted(type) + "," + std::to_string(seq) + ",0,0," + quoted(data) + ");";
}

// Version 2's sessions: a fork names the session it was made from and the last seq it copied.
const std::string forkedSessions =
    "CREATE TABLE session (id TEXT PRIMARY KEY, directory TEXT, fork_session_id TEXT, "
    "fork_boundary INTEGER);"
    "INSERT INTO session VALUES ('ses_p', '/w', NULL, NULL), ('ses_f', '/w', 'ses_p', 3),"
    "('ses_ff', '/w', 'ses_f', 4), ('ses_x', '/w', 'ses_gone', 1), ('ses_y', '/w', 'ses_gone', 1);";

// Each case: database files in the data folder, the SQL that fills them, and the tokens of
// the day.
TEST_F(OpenCodeCountingTest, CountsEveryMessageOnce) {
    const struct {
        const char *name;
        std::vector<std::pair<std::string, std::string>> databases;
        std::int64_t expected;
    } cases[] = {
        {"NewerSessionMessageTableAloneOrBesideTheOlderOne",
         {{"opencode.db",
           sessionMessageTable + messageTable +
               row("session_message", "msg_1", openCodeMessage("msg_1", morning, 1, 2, 3, 4, 5)) +
               row("session_message", "msg_2", openCodeMessage("msg_2", morning, 100, 0)) +
               row("message", "msg_1", openCodeMessage("msg_1", morning, 1, 2, 3, 4, 5))}},
         115},
        {"EveryReleaseChannelsDatabase",
         {{"opencode.db",
           messageTable + row("message", "msg_1", openCodeMessage("msg_1", morning, 10, 0))},
          {"opencode-local.db",
           sessionMessageTable +
               row("session_message", "msg_9", openCodeMessage("msg_9", morning, 2000, 0))}},
         2010},
        {"ForkedSessionsCopiesCountOnce",
         {{"opencode.db",
           messageTable +
               row("message", "msg_a", withModel(openCodeMessage("msg_a", morning, 1000, 865))) +
               row("message", "msg_b", withModel(openCodeMessage("msg_b", morning + 5, 2000, 0))) +
               row("message", "msg_fa", withModel(openCodeMessage("msg_fa", morning, 1000, 865)),
                   "ses_fork") +
               row("message", "msg_fb", withModel(openCodeMessage("msg_fb", morning + 5, 2000, 0)),
                   "ses_fork") +
               // Same time and figures but another model: another message.
               row("message", "msg_c", openCodeMessage("msg_c", morning, 1000, 865))}},
         1865 + 2000 + 1865},
        // Copies in forks carry the time they were copied at, so only the marks tell them.
        {"NextDatabaseCountsAssistantRowsAndKnowsForkCopiesByTheirMarks",
         {{"opencode-next.db",
           sessionMessageTable + forkedSessions +
               row("session_message", "m1", openCodeMessage("m1", morning, 1000, 0), "ses_p", 1) +
               row("session_message", "m2", openCodeMessage("m2", morning, 7000, 0), "ses_p", 2,
                   "user") +
               row("session_message", "m3", openCodeMessage("m3", morning, 300, 0), "ses_p", 3,
                   "synthetic") +
               row("session_message", "f1", openCodeMessage("f1", morning + 9, 1000, 0), "ses_f",
                   1) +
               row("session_message", "f4", openCodeMessage("f4", morning + 9, 40, 0), "ses_f", 4) +
               row("session_message", "g1", openCodeMessage("g1", morning + 20, 1000, 0), "ses_ff",
                   1) +
               row("session_message", "g4", openCodeMessage("g4", morning + 20, 40, 0), "ses_ff",
                   4) +
               row("session_message", "g5", openCodeMessage("g5", morning + 20, 5, 0), "ses_ff",
                   5) +
               // Sibling forks of a session that is gone: their copies count once.
               row("session_message", "x1", openCodeMessage("x1", morning + 30, 600, 0), "ses_x",
                   1) +
               row("session_message", "y1", openCodeMessage("y1", morning + 40, 600, 0), "ses_y",
                   1)}},
         1000 + 40 + 5 + 600},
        {"NegativeAndMissingFiguresCountZeroAndCostNoOtherRow",
         {{"opencode.db",
           messageTable +
               row("message", "n1",
                   R"({"role":"assistant","time":{"created":1773482400000},"tokens":{"input":-50,"output":8,"cache":{"read":-1,"write":2}}})") +
               row("message", "n2",
                   R"({"role":"assistant","time":{"created":1773482400000},"tokens":{"input":"x"}})") +
               row("message", "n3", openCodeMessage("n3", morning, 30, 0))}},
         10 + 30},
        {"FloatTimesMissingColumnsAndOddRows",
         {{"opencode.db",
           std::string(
               "CREATE TABLE message (id TEXT, data); INSERT INTO message VALUES ('msg_f', ") +
               quoted(
                   R"({"role":"assistant","time":{"created":1773482400000.75},"tokens":{"input":7,"output":0,"reasoning":0}})") +
               ");"
               "INSERT INTO message VALUES ('msg_blob', x'00ff00');"
               "INSERT INTO message VALUES ('msg_num', 42);"
               "INSERT INTO message VALUES ('msg_bad', '{\"tokens\": {');"
               "INSERT INTO message VALUES (NULL, " +
               quoted(openCodeMessage("msg_in_data", morning, 30, 0)) + ");"}},
         37}};
    for (const auto &c : cases) {
        fs::remove_all(openCodeData);
        fs::remove_all(repo + "/docs");
        for (const auto &[name, sql] : c.databases)
            runSql(openCodeData + "/" + name, sql);
        // Beside them, files SQLite keeps next to a database are never read as one.
        writeText(openCodeData + "/opencode-local.db-wal", "");
        writeText(openCodeData + "/opencode-x.db-shm", "not a database");
        collect();
        EXPECT_EQ(tokens("2026-03-14", "opencode"), c.expected) << c.name;
    }
}

} // namespace
