// Each tool behind the one provider interface: the registry, and what its reader makes of
// its logs besides the tokens: the split, the model and the project.
#include "LogFixture.h"
#include "MoreProvidersLogs.h"

#include "collect/LogDiscovery.h"
#include "collect/LogReader.h"
#include "history/Breakdown.h"
#include "providers/ProviderRegistry.h"

#include <filesystem>
#include <set>
#include <tuple>

namespace fs = std::filesystem;

namespace {

TEST(ProviderRegistry, NumbersIdsAndNamesAgree) {
    std::set<std::string_view> ids;
    for (const ProviderDefinition *definition : providerDefinitions()) {
        EXPECT_EQ(&definitionOf(definition->provider), definition) << definition->id;
        EXPECT_TRUE(ids.insert(definition->id).second) << definition->id;
        EXPECT_EQ(providerWithId(definition->id), definition->provider);
        EXPECT_EQ(providerDisplayName(definition->id), definition->displayName);
        EXPECT_TRUE(definition->locate) << definition->id;
        EXPECT_TRUE(definition->parseLine || definition->parseDocument || definition->readDatabase)
            << definition->id;
    }
    EXPECT_EQ(providerDisplayName("someday-tool"), "someday-tool");
    EXPECT_FALSE(providerWithId("someday-tool"));
}

struct Spent {
    std::string model, project;
    TokenSplit split;
    std::int64_t tokens;
};

class ProviderReadersTest : public LogTest {
protected:
    // The records the collector's reader makes of the file at `path`, as (model, project,
    // split) with the names looked up.
    std::vector<Spent> read(Provider provider, const std::string &path) {
        std::vector<std::string> problems;
        std::vector<Spent> spent;
        for (const LogFile &log : discoverLogs(environment, problems).files()) {
            if (log.path != path)
                continue;
            LogReader reader;
            const ReadResult result = reader.read(ReadJob{&log, 0, {}, 0, 1});
            for (const UsageRecord &record : result.records) {
                EXPECT_EQ(record.provider, provider);
                if (!record.mark)
                    spent.push_back(named(record, result.names));
            }
        }
        return spent;
    }
    static Spent named(const UsageRecord &record, const NameTable &names) {
        const auto text = [&](NameId id) {
            const std::string *found = names.find(id);
            return found ? *found : id == 0 ? std::string() : std::string("?");
        };
        return {text(record.model), text(record.project), record.split, record.tokens};
    }
};

void expectSpent(const std::vector<Spent> &actual, const std::vector<Spent> &expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(actual[i].model, expected[i].model);
        EXPECT_EQ(actual[i].project, expected[i].project);
        EXPECT_EQ(actual[i].split, expected[i].split);
        EXPECT_EQ(actual[i].tokens, expected[i].split.sum());
    }
}

TEST_F(ProviderReadersTest, LogsAreFoundByNameThroughLinkedFilesButNotInLinkedFolders) {
    const std::string &projects = claudeProjects;
    const std::string line = claudeLine("m1", "r", "2026-03-14T10:00:00Z", 1, 0);
    for (const char *name : {"/p/a.jsonl", "/p/.jsonl", "/p/notes.txt", "/named.jsonl/c.jsonl"})
        writeText(projects + name, line);
    writeText(root + "/outside/b.jsonl", line);
    fs::create_symlink(root + "/outside/b.jsonl", projects + "/p/link.jsonl");
    fs::create_symlink(root + "/outside", projects + "/linked");
    fs::create_symlink(root + "/nothing", projects + "/p/dangling.jsonl");

    std::vector<std::string> problems;
    std::set<std::string> found;
    for (const LogFile &log : discoverLogs(environment, problems).files()) {
        found.insert(log.path);
        EXPECT_EQ(log.current.size, line.size()) << log.path;
        // The walk hashes keys folder by folder: they must be the keys the stored state has.
        EXPECT_EQ(log.key, logFileKey(*log.provider, log.storage, log.path)) << log.path;
    }
    EXPECT_EQ(found, (std::set<std::string>{projects + "/p/a.jsonl", projects + "/p/link.jsonl",
                                            projects + "/named.jsonl/c.jsonl"}));
    EXPECT_THAT(problems, ::testing::IsEmpty());
}

TEST_F(ProviderReadersTest, ClaudeLinesNameTheirModelAndFolderAndSplitTheCache) {
    const std::string d = "2026-03-14T10:00:0";
    std::string withFolder = claudeLine("m1", "r1", d + "0Z", 10, 20, 30, 40, "claude-opus-4-1");
    withFolder.insert(1, R"("cwd":"/home/me/src/app",)");
    // The newer cache object tells how much of the cache write lives an hour.
    std::string hourCache = claudeLine("m2", "r2", d + "1Z", 1, 2, 0, 0);
    const std::string flat = R"("cache_creation_input_tokens":0,)";
    hourCache.replace(hourCache.find(flat), flat.size(),
                      R"("cache_creation":{"ephemeral_5m_input_tokens":3,)"
                      R"("ephemeral_1h_input_tokens":4},)");
    // A relayed subagent line: the folder of the line that carries it.
    std::string relayed = claudeLine("m3", "r3", d + "2Z", 5, 6);
    relayed.pop_back(); // its newline
    const std::string progress =
        R"({"type":"progress","cwd":"/home/me/src/lib","data":{"message":)" + relayed + "}}\n";
    writeText(session(), withFolder + hourCache + progress);
    expectSpent(read(Provider::claude, session()),
                {{"claude-opus-4-1", "/home/me/src/app", {10, 20, 40, 30, 0, 0}, 0},
                 {"claude-sonnet-4-5", "", {1, 2, 0, 7, 0, 4}, 0},
                 {"claude-sonnet-4-5", "/home/me/src/lib", {5, 6, 0, 0, 0, 0}, 0}});
}

TEST_F(ProviderReadersTest, CodexTurnsTakeTheModelInForceAndTheSessionsFolder) {
    const std::string d = "2026-03-14T10:0";
    const auto context = [&](const std::string &time, const std::string &model) {
        return R"({"timestamp":")" + d + time +
               R"(Z","type":"turn_context","payload":{"cwd":)"
               R"("/w/app","model":")" +
               model + "\"}}\n";
    };
    // 1000 tokens: input 750 of which 375 cached, output 250; no reasoning in the fixture.
    writeText(rollout(), codexMeta(d + "0:00Z", R"(,"cwd":"/w/app")") + context("0:01", "gpt-5") +
                             codexUsage(d + "1:00Z", 1000) + context("2:00", "gpt-5-codex") +
                             codexUsage(d + "3:00Z", 3000, 2000));
    expectSpent(read(Provider::codex, rollout()),
                {{"gpt-5", "/w/app", {375, 250, 375, 0, 0, 0}, 0},
                 {"gpt-5-codex", "/w/app", {750, 500, 750, 0, 0, 0}, 0}});
}

TEST_F(ProviderReadersTest, OpenCodeMessagesNameTheModelWithoutItsProviderAndTheirFolder) {
    std::string message = openCodeMessage("msg_1", 1773482400000, 10, 20, 3, 4, 5);
    message.insert(1, R"("providerID":"anthropic","modelID":"claude-sonnet-4-5",)"
                      R"("path":{"cwd":"/w/x","root":"/w"},)");
    writeText(messageFile("msg_1"), message);
    expectSpent(read(Provider::opencode, messageFile("msg_1")),
                {{"claude-sonnet-4-5", "/w", {10, 20, 4, 5, 3, 0}, 0}});

    // In the database a message's folder is its session's.
    const std::string database = openCodeData + "/opencode.db";
    writeOpenCodeDatabase(database, {{"msg_2", openCodeMessage("msg_2", 1773482400000, 7, 8)}});
    runSql(database, "CREATE TABLE session (id TEXT PRIMARY KEY, directory TEXT);"
                     "INSERT INTO session VALUES ('ses_1', '/w/db');");
    LocalDays days;
    const DatabaseRead read = definitionOf(Provider::opencode).readDatabase(database, days);
    ASSERT_EQ(read.records.size(), 1u);
    const Spent spent = named(read.records[0], read.names);
    EXPECT_EQ(spent.project, "/w/db");
    EXPECT_EQ(spent.model, "");
    EXPECT_EQ(spent.split.sum(), 15);
}

// For each of the tools added later: a file of its own shape, and the model, project and split
// of every record read from it. Unknown is an empty name.
TEST_F(ProviderReadersTest, MoreToolsNameTheirModelAndFolderAndSplitTheirTokens) {
    using namespace more_logs;
    const std::string t = "2026-03-14T10:00:00Z";
    const std::string gemini = home + "/.gemini/tmp/", qwen = home + "/.qwen/projects/",
                      pi = home + "/.pi/agent/sessions/", amp = home + "/.local/share/amp/threads/";
    const std::string geminiReply = geminiMessage("m1", t, 1000, 50, 600, 20, 5);
    const TokenSplit geminiSplit{405, 50, 600, 0, 20, 0};
    const struct {
        const char *name;
        Provider provider;
        // The first file is the one read.
        std::vector<std::pair<std::string, std::string>> files;
        std::vector<Spent> expected;
    } rows[] = {
        {"GeminiTakesTheFolderOfItsProjectMarker",
         Provider::gemini,
         {{gemini + "app/chats/session-1.jsonl", geminiReply},
          {gemini + "app/.project_root", "/home/me/app\n"}},
         {{"gemini-2.5-pro", "/home/me/app", geminiSplit, 0}}},
        {"GeminiHashNamedFoldersHaveNoKnownProject",
         Provider::gemini,
         {{gemini + "9f86d081/chats/session-1.json",
           R"({"sessionId":"s","messages":[)" + trimmed(geminiReply) + "]}"}},
         {{"gemini-2.5-pro", "", geminiSplit, 0}}},
        {"QwenThoughtsApartAndInside",
         Provider::qwen,
         {{qwen + "-home-me-app/chats/s1.jsonl",
           qwenReply("s1", t, 1000, 200, 600, 50, 1250) +
               qwenReply("s1", t, 1000, 200, 600, 50, 1200, "")}},
         {{"qwen3-coder-plus", "/home/me/app", {400, 200, 600, 0, 50, 0}, 0},
          {"qwen3-coder-plus", "-home-me-app", {400, 150, 600, 0, 50, 0}, 0}}},
        {"PiTakesItsHeadersFolder",
         Provider::pi,
         {{pi + "--home-me-app--/1_s1.jsonl",
           piHeader("s1", "/home/me/app") + piReply(t, 10, 20, 300, 40)}},
         {{"claude-sonnet-4-5", "/home/me/app", {10, 20, 300, 40, 0, 0}, 0}}},
        {"PiWithoutAHeaderTakesItsFoldersName",
         Provider::pi,
         {{pi + "--home-me-lib--/2_s2.jsonl", piReply(t, 1, 2, 0, 0, "gpt-5")}},
         {{"gpt-5", "--home-me-lib--", {1, 2, 0, 0, 0, 0}, 0}}},
        {"KimiKnowsNeitherModelNorFolder",
         Provider::kimi,
         {{home + "/.kimi/sessions/5d41/s1/wire.jsonl",
           kimiStatus(1773482400, "chatcmpl-1", 100, 20, 3000, 40)}},
         {{"", "", {100, 20, 3000, 40, 0, 0}, 0}}},
        {"AmpMessagesAndLedgerEventsTakeTheThreadsTree",
         Provider::amp,
         {{amp + "T-1.json", ampThread("T-1",
                                       {ampMessage(1, t, 100, 20, 3000, 500, false),
                                        ampMessage(3, t, 10, 5, 200, 1000, true, "gpt-5")},
                                       {ampEvent("e1", "inference", 1, 100, 20),
                                        ampEvent("e2", "title-generation", 0, 40, 5)})}},
         {{"claude-sonnet-4-5", "/home/me/my app", {100, 20, 3000, 500, 0, 0}, 0},
          {"claude-sonnet-4-5", "/home/me/my app", {40, 5, 0, 0, 0, 0}, 0},
          {"gpt-5", "/home/me/my app", {10, 5, 200, 1000, 0, 0}, 0}}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        for (const auto &[path, text] : row.files)
            writeText(path, text);
        expectSpent(read(row.provider, row.files.front().first), row.expected);
    }

    // The databases: Copilot's input holds both cache figures and its output the reasoning;
    // Kilo's rows are OpenCode's documents, their folder the session's.
    const std::string copilot = home + "/.copilot/session-store.db";
    runSql(copilot,
           copilotSchema + copilotRow(1, "s1", "2026-03-14 10:00:00", 5000, 300, 4000, 500, 100));
    const std::string kilo = home + "/.local/share/kilo/kilo.db";
    std::string kiloMessage = openCodeMessage("msg_1", 1773482400000, 10, 20, 3, 4, 5);
    kiloMessage.insert(1, R"("providerID":"kilo","modelID":"anthropic/claude-sonnet-4.5",)");
    writeOpenCodeDatabase(kilo, {{"msg_1", kiloMessage}});
    runSql(kilo, "CREATE TABLE session (id TEXT PRIMARY KEY, directory TEXT);"
                 "INSERT INTO session VALUES ('ses_1', '/home/me/kilo');");
    for (const auto &[provider, path, expected] :
         {std::tuple{Provider::copilot, copilot,
                     Spent{"claude-sonnet-4.5", "/home/me/app", {500, 200, 4000, 500, 100, 0}, 0}},
          std::tuple{
              Provider::kilo, kilo,
              Spent{"anthropic/claude-sonnet-4.5", "/home/me/kilo", {10, 20, 4, 5, 3, 0}, 0}}}) {
        SCOPED_TRACE(providerId(provider));
        LocalDays days;
        const DatabaseRead database = definitionOf(provider).readDatabase(path, days);
        ASSERT_EQ(database.records.size(), 1u);
        EXPECT_EQ(database.records[0].provider, provider);
        expectSpent({named(database.records[0], database.names)}, {expected});
    }
}

TEST(FittedSplit, AddsUpToTheCountedTokensWhateverTheTurnSays) {
    const TokenSplit turn{60, 20, 10, 10, 0, 4};
    EXPECT_EQ(fittedSplit(turn, 100), turn);
    const TokenSplit half = fittedSplit(turn, 50);
    EXPECT_EQ(half.sum(), 50);
    EXPECT_EQ(half.input, 30);
    EXPECT_LE(half.cacheWriteLong, half.cacheWrite);
    EXPECT_EQ(fittedSplit(turn, 7).sum(), 7);
    EXPECT_EQ(fittedSplit({}, 9), (TokenSplit{9, 0, 0, 0, 0, 0}));
    EXPECT_EQ(fittedSplit(turn, 0).sum(), 0);
}

} // namespace

namespace {

TEST_F(ProviderReadersTest, BreakdownFileKeepsItsRowsAndNamesAndRefusesDamage) {
    Breakdown breakdown;
    breakdown.priceTableVersion = "prices 2026-12-01";
    const NameId model = breakdown.names.add("gpt-5"), project = breakdown.names.add("/w/app");
    breakdown.names.add("unused");
    breakdown.rows[{20526, Provider::codex, model, project}] = {{1, 2, 3, 4, 5, 1}, 15, 900, 0};
    breakdown.rows[{20527, Provider::claude, 0, 0}] = {{7, 0, 0, 0, 0, 0}, 7, 0, 7};
    const std::string path = root + "/breakdown";
    writeBreakdown(path, breakdown);
    const auto back = readBreakdown(path);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->rows, breakdown.rows);
    EXPECT_EQ(back->priceTableVersion, breakdown.priceTableVersion);
    EXPECT_EQ(*back->names.find(project), "/w/app");
    EXPECT_EQ(back->names.entries().size(), 2u);

    std::string bytes = readText(path);
    bytes[bytes.size() / 2] ^= 1;
    writeText(path, bytes);
    EXPECT_FALSE(readBreakdown(path));
    EXPECT_FALSE(readBreakdown(root + "/missing"));
}

} // namespace
