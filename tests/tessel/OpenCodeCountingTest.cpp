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

TEST_F(OpenCodeCountingTest, BothStorageFormsAreReadAndShareMessageIds) {
    writeOpenCodeDatabase(database(), {{"msg_1", openCodeMessage("msg_1", morning, 1, 2, 3, 4, 5)},
                                       {"msg_2", openCodeMessage("msg_2", morning, 10, 0)},
                                       {"msg_u", R"({"role":"user","time":{"created":1}})"}});
    writeText(messageFile("msg_1"), openCodeMessage("msg_1", morning, 1, 2, 3, 4, 5));
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
                const std::string &session = "ses_1") {
    if (table == "message")
        return "INSERT INTO message VALUES (" + quoted(id) + "," + quoted(session) + ",0," +
               quoted(data) + ");";
    return "INSERT INTO session_message VALUES (" + quoted(id) + "," + quoted(session) +
           ",'assistant',1,0,0," + quoted(data) + ");";
}

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
