// The API-equivalent cost of a request: cache prices per maker, long-context tiers per request,
// dated prices, unpriced models, and which entry of the shipped table a logged name gets.
#include "LogFixture.h"

#include "base/Errors.h"
#include "prices/ModelMatch.h"
#include "prices/Prices.h"

namespace {

// Figures in dollars per million tokens, so the expected costs below can be checked by hand:
// tokens times rate is microdollars, times a thousand nanodollars.
const char *const handTable = R"({
  "source": "hand", "package_version": "1", "package_published": "2026-01-01",
  "generated": "2026-01-02", "unit": "USD per million tokens",
  "vendors": [
    {"id": "anthropic", "model_match": {"contains": "claude"}, "provider_match": {"contains": "anthropic"},
     "models": [
      {"id": "claude-tiered", "match": {"starts_with": "claude-tiered"}, "prices": [{"from": null,
        "input": {"base": 3, "tiers": [{"start": 200000, "price": 6}]},
        "output": {"base": 15, "tiers": [{"start": 200000, "price": 22.5}]},
        "cache_read": {"base": 0.3, "tiers": [{"start": 200000, "price": 0.6}]},
        "cache_write": {"base": 3.75, "tiers": [{"start": 200000, "price": 7.5}]},
        "cache_write_1h": {"base": 6, "tiers": [{"start": 200000, "price": 12}]}}]},
      {"id": "claude-bare", "match": {"equals": "claude-bare"},
       "prices": [{"from": null, "input": 4, "output": 20}]},
      {"id": "claude-dated", "match": {"equals": "claude-dated"}, "prices": [
        {"from": null, "input": 10, "output": 50},
        {"from": "2026-03-13", "input": 5, "output": 25}]},
      {"id": "claude-imageonly", "match": {"equals": "claude-imageonly"},
       "prices": [{"from": null, "unpriced": true}]}]},
    {"id": "openai", "model_match": {"or": [{"starts_with": "gpt-"}, {"regex": "^o[134]"}]},
     "provider_match": {"contains": "openai"}, "models": [
      {"id": "gpt-cached", "match": {"starts_with": "gpt-cached"},
       "prices": [{"from": null, "input": 1.25, "output": 10, "cache_read": 0.125}]},
      {"id": "gpt-plain", "match": {"equals": "gpt-plain"},
       "prices": [{"from": null, "input": 2, "output": 8}]}]},
    {"id": "google", "model_match": {"contains": "gemini"}, "provider_match": null, "models": [
      {"id": "gemini-tiered", "match": {"starts_with": "gemini-tiered"}, "prices": [{"from": null,
        "input": {"base": 1.25, "tiers": [{"start": 200000, "price": 2.5}]},
        "output": {"base": 10, "tiers": [{"start": 200000, "price": 15}]}}]}]}
  ]})";

TokenSplit split(std::int64_t input, std::int64_t output, std::int64_t cacheRead = 0,
                 std::int64_t cacheWrite = 0, std::int64_t reasoning = 0,
                 std::int64_t cacheWriteLong = 0) {
    return {input, output, cacheRead, cacheWrite, reasoning, cacheWriteLong};
}

DayNumber day(const char *text) {
    return *parseDay(text);
}

TEST(Prices, RequestsCostWhatTheRulesSay) {
    const PriceTable table = PriceTable::parse(handTable);
    EXPECT_EQ(table.version(), "hand 1, made 2026-01-02");
    const struct {
        const char *what;
        Provider provider;
        const char *model;
        TokenSplit split;
        RequestCost cost;
    } cases[] = {
        // 1000*3 + 500*15 + 10000*0.3 + 1500*3.75 + 500*6 = 22125 microdollars.
        {"Claude: the table's cache prices, 5-minute and 1-hour writes apart",
         Provider::claude,
         "claude-tiered",
         split(1000, 500, 10000, 2000, 0, 500),
         {22'125'000, true}},
        // A prompt of 5000 + 196000 = 201000 tokens is past 200k: 5000*6 + 196000*0.6 +
        // 1000*22.5 = 170100.
        {"Claude: a prompt past 200k pays the tier for all its tokens",
         Provider::claude,
         "claude-tiered",
         split(5000, 1000, 196000),
         {170'100'000, true}},
        // Exactly 200k is not above it: 4000*3 + 196000*0.3 + 1000*15 = 85800.
        {"Claude: a prompt of exactly 200k stays at the base",
         Provider::claude,
         "claude-tiered",
         split(4000, 1000, 196000),
         {85'800'000, true}},
        // No cache prices in the table: reads 0.4, 5-minute writes 5, 1-hour writes 8:
        // 100*4 + 10*20 + 1000*0.4 + 600*5 + 400*8 = 7200.
        {"Claude: the maker's multipliers where the table has none",
         Provider::claude,
         "claude-bare",
         split(100, 10, 1000, 1000, 0, 400),
         {7'200'000, true}},
        // 1000*1.25 + 9000*0.125 + (200 + 300)*10 = 7375: reasoning is output.
        {"OpenAI: cached input at the table's share, reasoning as output",
         Provider::codex,
         "gpt-cached",
         split(1000, 200, 9000, 0, 300),
         {7'375'000, true}},
        // No cache price and no write surcharge: 100*2 + 1000*2 + 1000*2 + 10*8 = 4280, not the
        // Claude multipliers.
        {"OpenAI: without a cache price cached input is input",
         Provider::opencode,
         "gpt-plain",
         split(100, 10, 1000, 1000),
         {4'280'000, true}},
        // Gemini past 200k: 150000*2.5 + 60000*2.5 + 1000*15 = 540000.
        {"Gemini: its own tier, its cache as input",
         Provider::opencode,
         "gemini-tiered",
         split(150000, 1000, 60000),
         {540'000'000, true}},
        // One cached token at $0.30 a million is 300 nanodollars, kept exactly.
        {"a single token stays exact",
         Provider::claude,
         "claude-tiered",
         split(0, 0, 1),
         {300, true}},
        {"a model the table lacks is unpriced",
         Provider::claude,
         "claude-unknown-9",
         split(1000, 10),
         {0, false}},
        {"a model the table names without token prices is unpriced",
         Provider::claude,
         "claude-imageonly",
         split(1000, 10),
         {0, false}},
        {"an unknown model is unpriced", Provider::opencode, "", split(1000, 10), {0, false}},
        {"nothing spent on a known model costs nothing",
         Provider::codex,
         "gpt-plain",
         split(0, 0),
         {0, true}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(table.price(c.provider, c.model, c.split, day("2026-03-14")), c.cost) << c.what;
}

// A day's cost is the sum of its requests' costs, never the price of their sum: two requests
// of 150k each stay at the base rate, though together they are past 200k.
TEST(Prices, TiersApplyPerRequestNeverToTotals) {
    const PriceTable table = PriceTable::parse(handTable);
    const TokenSplit request = split(150000, 1000);
    const RequestCost one =
        table.price(Provider::claude, "claude-tiered", request, day("2026-03-14"));
    EXPECT_EQ(one.nanodollars, 465'000'000); // 150000*3 + 1000*15
    const RequestCost both =
        table.price(Provider::claude, "claude-tiered", split(300000, 2000), day("2026-03-14"));
    EXPECT_EQ(both.nanodollars, 1'845'000'000); // what pricing the sum would wrongly give
    EXPECT_NE(2 * one.nanodollars, both.nanodollars);
}

TEST(Prices, PricesInForceOnTheRequestsDay) {
    const PriceTable table = PriceTable::parse(handTable);
    const TokenSplit request = split(1000, 100);
    EXPECT_EQ(table.price(Provider::claude, "claude-dated", request, day("2026-03-12")).nanodollars,
              15'000'000); // 1000*10 + 100*50
    EXPECT_EQ(table.price(Provider::claude, "claude-dated", request, day("2026-03-13")).nanodollars,
              7'500'000); // 1000*5 + 100*25
    // The shipped table: Claude Opus 4.6 billed prompts past 200k at twice the rate until its
    // 1M context became standard on 2026-03-13.
    const PriceTable shipped = PriceTable::parse(readText(TESSEL_PRICES));
    const TokenSplit longPrompt = split(250000, 0);
    EXPECT_EQ(shipped.price(Provider::claude, "claude-opus-4-6", longPrompt, day("2026-03-01")),
              (RequestCost{2'500'000'000, true})); // 250000*10
    EXPECT_EQ(shipped.price(Provider::claude, "claude-opus-4-6", longPrompt, day("2026-03-20")),
              (RequestCost{1'250'000'000, true})); // 250000*5
}

TEST(Prices, LoggedNamesFindTheirEntries) {
    const PriceTable shipped = PriceTable::parse(readText(TESSEL_PRICES));
    EXPECT_THAT(shipped.version(), HasSubstr("@pydantic/genai-prices"));
    const std::optional<std::string> none;
    const struct {
        Provider provider;
        const char *logged;
        std::optional<std::string> entry;
    } cases[] = {
        {Provider::claude, "claude-sonnet-4-5-20250929", "anthropic/claude-sonnet-4-5"},
        {Provider::claude, "claude-sonnet-4-5", "anthropic/claude-sonnet-4-5"},
        {Provider::claude, "Claude-Sonnet-4-5 ", "anthropic/claude-sonnet-4-5"},
        {Provider::claude, "claude-sonnet-4-5-20250929[1m]", "anthropic/claude-sonnet-4-5"},
        {Provider::claude, "claude-sonnet-4-5@20250929", "anthropic/claude-sonnet-4-5"},
        {Provider::claude, "us.anthropic.claude-sonnet-4-5-20250929-v1:0",
         "anthropic/claude-sonnet-4-5"},
        {Provider::opencode, "anthropic/claude-sonnet-4-5", "anthropic/claude-sonnet-4-5"},
        {Provider::opencode, "openrouter/anthropic/claude-sonnet-4.5",
         "anthropic/claude-sonnet-4-5"},
        // Opus 4 must not be taken for a later Opus 4.x, nor 4.1 for 4.
        {Provider::claude, "claude-opus-4-20250514", "anthropic/claude-opus-4-0"},
        {Provider::claude, "claude-opus-4-1-20250805", "anthropic/claude-opus-4-1"},
        {Provider::claude, "claude-3-5-haiku-20241022", "anthropic/claude-3-5-haiku-latest"},
        {Provider::claude, "claude-haiku-4-5-20251001", "anthropic/claude-haiku-4-5"},
        {Provider::codex, "gpt-5-codex", "openai/gpt-5"},
        {Provider::codex, "gpt-5.1-codex-max", "openai/gpt-5.1"},
        {Provider::codex, "gpt-5-2025-08-07", "openai/gpt-5"},
        {Provider::codex, "o3", "openai/o3"},
        {Provider::opencode, "openai/gpt-4.1-2025-04-14", "openai/gpt-4.1"},
        {Provider::opencode, "gemini-2.5-pro", "google/gemini-2.5-pro"},
        {Provider::opencode, "x-ai/grok-code-fast-1", "x-ai/grok-code-fast-1"},
        {Provider::opencode, "deepseek-chat", "deepseek/deepseek-chat"},
        // Through a Claude-compatible endpoint, Claude Code may log another maker's model:
        // unpriced, never taken for a Claude model.
        {Provider::claude, "glm-4.6", none},
        {Provider::opencode, "qwen3-coder-plus", none},
        {Provider::claude, "<synthetic>", none},
        {Provider::codex, "", none},
    };
    for (const auto &c : cases)
        EXPECT_EQ(shipped.entryFor(c.provider, c.logged), c.entry) << c.logged;
}

TEST(Prices, ModelNamesComeApartIntoNameAndMaker) {
    const ModelName routed = splitModelName("OpenRouter/Anthropic/claude-sonnet-4.5");
    EXPECT_EQ(routed.name, "claude-sonnet-4.5");
    EXPECT_EQ(routed.hints, (std::vector<std::string>{"anthropic", "openrouter"}));
    EXPECT_EQ(splitModelName("eu.anthropic.claude-x").hints, std::vector<std::string>{"anthropic"});
    // Dots inside a name are its version, not a maker.
    EXPECT_EQ(splitModelName("gpt-5.1").name, "gpt-5.1");
    EXPECT_EQ(withDashedDate("gpt-4o-20240806"), "gpt-4o-2024-08-06");
    EXPECT_EQ(withDashedDate("gpt-4o-20241306"), "gpt-4o-20241306"); // no month 13
    EXPECT_EQ(withDashedDate("model-2024080612"), "model-2024080612");
}

TEST(Prices, ADamagedTableIsRefusedWithWhatIsWrong) {
    for (const auto &[text, problem] : std::vector<std::pair<std::string, std::string>>{
             {"[]", "not a JSON object"},
             {R"({"source":"s","package_version":"1","generated":"d","vendors":[{"id":"a",
                "model_match":null,"provider_match":null,"models":[{"id":"m",
                "match":{"regex":"("},"prices":[{"from":null,"input":1,"output":1}]}]}]})",
              "expression"},
             {R"({"source":"s","package_version":"1","generated":"d","vendors":[{"id":"a",
                "model_match":null,"provider_match":null,"models":[{"id":"m",
                "match":{"equals":"m"},"prices":[{"from":"2026-13-01","input":1,"output":1}]}]}]})",
              "yyyy-MM-dd"},
             {R"({"source":"s","package_version":"1","generated":"d","vendors":[{"id":"a",
                "model_match":null,"provider_match":null,"models":[{"id":"m",
                "match":{"equals":"m"},"prices":[{"from":null,"input":-1,"output":1}]}]}]})",
              "not a price"},
         }) {
        try {
            PriceTable::parse(text);
            ADD_FAILURE() << text;
        } catch (const ToolError &error) {
            EXPECT_THAT(error.what(), HasSubstr(problem));
        }
    }
}

} // namespace
