// Where the tokens went: the breakdown beside the state sums the requests that count, each
// priced when it is counted, and follows every recount.
#include "LogFixture.h"

#include "collect/CollectorState.h"
#include "prices/Prices.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace {

using BreakdownTest = LogTest;

const std::string d = "2026-03-14";

// A price per request that only a request's own figures decide: a prompt above 100 tokens
// costs double, so pricing a sum instead of each request would show. Haiku has no price.
Pricing prices(const std::string &version, std::int64_t perToken) {
    return {version,
            [perToken](Provider, std::string_view model, const TokenSplit &split, DayNumber) {
                if (model.find("haiku") != std::string_view::npos)
                    return RequestCost{};
                const std::int64_t prompt = split.input + split.cacheRead + split.cacheWrite;
                return RequestCost{perToken * (prompt > 100 ? 2 : 1) * split.sum(), true};
            }};
}

BreakdownFigures row(const Breakdown &breakdown, const std::string &model) {
    for (const auto &[key, figures] : breakdown.rows)
        if (const std::string *name = breakdown.names.find(key.model); name && *name == model)
            return figures;
    return {};
}

TEST_F(BreakdownTest, EachCountedRequestIsPricedOnItsOwnAndUnpricedTokensAreKeptApart) {
    // The streamed message's first copy (50 tokens) is replaced by its fuller copy, which
    // alone is priced; the two others are priced apart although together they pass 100.
    writeText(session(),
              claudeLine("m1", "r", d + "T10:00:00Z", 40, 10, 0, 0, "claude-opus-4-5") +
                  claudeLine("m2", "r", d + "T10:01:00Z", 60, 5, 0, 0, "claude-opus-4-5") +
                  claudeLine("m3", "r", d + "T10:02:00Z", 50, 5, 0, 0, "claude-haiku-4-5"));
    collectUsage(repo, environment, prices("v1", 1000));
    appendText(session(),
               claudeLine("m1", "r", d + "T10:00:09Z", 40, 90, 0, 0, "claude-opus-4-5") +
                   claudeLine("m4", "r", d + "T10:03:00Z", 100, 1, 50, 0, "claude-opus-4-5"));
    collectUsage(repo, environment, prices("v1", 1000));

    const auto breakdown = readBreakdown(breakdownFile());
    ASSERT_TRUE(breakdown);
    EXPECT_EQ(breakdown->priceTableVersion, "v1");
    const BreakdownFigures opus = row(*breakdown, "claude-opus-4-5");
    EXPECT_EQ(opus.split, (TokenSplit{200, 96, 0, 50, 0, 0}));
    EXPECT_EQ(opus.tokens, 346);
    EXPECT_EQ(opus.costNanodollars, 1000 * (130 + 65 + 2 * 151));
    EXPECT_EQ(opus.unpricedTokens, 0);
    const BreakdownFigures haiku = row(*breakdown, "claude-haiku-4-5");
    EXPECT_EQ(haiku.costNanodollars, 0);
    EXPECT_EQ(haiku.unpricedTokens, 55);
    EXPECT_EQ(breakdownFigures("claude"), figures("claude"));
}

TEST_F(BreakdownTest, CostsAreWhatTheShippedTableAnswersForEachRequest) {
    const std::vector<std::pair<std::string, TokenSplit>> requests{
        {"claude-sonnet-4-5", {10, 20, 300, 40, 0, 0}},
        {"claude-sonnet-4-5", {1, 2, 3, 4, 0, 0}},
        {"claude-opus-4-1", {500, 60, 0, 0, 0, 0}}};
    std::string lines;
    for (size_t i = 0; i < requests.size(); ++i) {
        const TokenSplit &split = requests[i].second;
        lines += claudeLine("m" + std::to_string(i), "r", d + "T10:00:00Z", split.input,
                            split.output, split.cacheWrite, split.cacheRead, requests[i].first);
    }
    writeText(session(), lines);
    collect();

    std::map<std::string, BreakdownFigures> expected;
    const PriceTable &table = PriceTable::shipped();
    for (const auto &[model, split] : requests) {
        const RequestCost cost = table.price(Provider::claude, model, split, *parseDay(d));
        BreakdownFigures &figures = expected[model];
        figures.tokens += split.sum();
        (cost.priced ? figures.costNanodollars : figures.unpricedTokens) +=
            cost.priced ? cost.nanodollars : split.sum();
    }
    const auto breakdown = readBreakdown(breakdownFile());
    ASSERT_TRUE(breakdown);
    EXPECT_EQ(breakdown->priceTableVersion, table.version());
    for (const auto &[model, figures] : expected) {
        const BreakdownFigures stored = row(*breakdown, model);
        EXPECT_EQ(stored.tokens, figures.tokens) << model;
        EXPECT_EQ(stored.costNanodollars, figures.costNanodollars) << model;
        EXPECT_EQ(stored.unpricedTokens, figures.unpricedTokens) << model;
    }
}

// A new price table or new counting rules recount every day the logs still hold; a day whose
// logs are gone keeps its history figure and its breakdown rows, so the two still agree.
TEST_F(BreakdownTest, RecountFollowsNewPricesAndRulesAndKeepsDaysWhoseLogsAreGone) {
    const std::string state = repo + "/docs/.tessel-state";
    for (const std::string change : {"price table", "counting rules"}) {
        fs::remove_all(repo + "/docs");
        fs::remove_all(claudeProjects);
        writeText(session("old.jsonl"),
                  claudeLine("m1", "r", "2026-03-10T10:00:00Z", 30, 0, 0, 0, "claude-opus-4-5"));
        writeText(session("new.jsonl"),
                  claudeLine("m2", "r", d + "T10:00:00Z", 20, 0, 0, 0, "claude-opus-4-5"));
        collectUsage(repo, environment, prices("v1", 1));
        fs::remove(session("old.jsonl"));
        Pricing next = prices("v1", 1);
        if (change == "price table") {
            next = prices("v2", 7);
        } else {
            // The same state, as if written under earlier counting rules.
            std::string bytes = readText(state);
            const std::uint32_t earlier = countingRules - 1;
            std::memcpy(bytes.data() + 12, &earlier, sizeof earlier);
            bytes.resize(bytes.size() - 8);
            const std::uint64_t sum = stateChecksum(bytes);
            bytes.append(reinterpret_cast<const char *>(&sum), sizeof sum);
            writeText(state, bytes);
        }
        collectUsage(repo, environment, next);

        const auto breakdown = readBreakdown(breakdownFile());
        ASSERT_TRUE(breakdown) << change;
        EXPECT_EQ(breakdown->priceTableVersion, next.version) << change;
        std::map<DayNumber, std::int64_t> cost;
        for (const auto &[key, figures] : breakdown->rows)
            cost[key.day] += figures.costNanodollars;
        EXPECT_EQ(cost[*parseDay("2026-03-10")], 30) << change;
        EXPECT_EQ(cost[*parseDay(d)], 20 * (change == "price table" ? 7 : 1)) << change;
        EXPECT_EQ(figures("claude"),
                  (std::map<std::string, std::int64_t>{{"2026-03-10", 30}, {d, 20}}))
            << change;
        EXPECT_EQ(breakdownFigures("claude"), figures("claude")) << change;
    }
}

TEST_F(BreakdownTest, MissingBreakdownIsWrittenAgainFromTheState) {
    writeText(session(), claudeLine("m1", "r", d + "T10:00:00Z", 3, 4));
    collect();
    const std::string written = readText(breakdownFile());
    fs::remove(breakdownFile());
    EXPECT_EQ(collect().filesRead, 0u);
    EXPECT_EQ(readText(breakdownFile()), written);
}

} // namespace
