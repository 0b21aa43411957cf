// OpenCode: its database (read-only) and its older message files, one identity per message.
#include "LogFixture.h"

#include "AtomicFile.h"

namespace {

// 2026-03-14T10:00:00Z in milliseconds.
constexpr std::int64_t morning = 1773482400000;

class OpenCodeCountingTest : public LogTest {
protected:
    std::string database() const { return openCodeData + "/opencode.db"; }
    std::string messageFile(const std::string &id) const {
        return openCodeData + "/storage/message/ses_1/" + id + ".json";
    }
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

} // namespace
