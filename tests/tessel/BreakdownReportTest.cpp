// `report today|week|month|range`, `bar` and what run daily publishes of projects, from a
// breakdown written directly: the splits add up to the totals, the table fits and says what its
// cost is, the status-bar line has the shape Waybar reads.
#include "LogFixture.h"

#include "commands/FigureTexts.h"
#include "history/Breakdown.h"
#include "history/RepositoryFiles.h"
#include "limits/LimitsHistory.h"

#include <simdjson.h>

#include <filesystem>
#include <sstream>

namespace dom = simdjson::dom;
namespace fs = std::filesystem;

namespace {

struct Row {
    const char *day;
    Provider provider;
    const char *model;
    std::string project;
    TokenSplit split;
    std::int64_t cost;
    bool unpriced;
};

class BreakdownReportTest : public LogTest {
protected:
    std::string alpha = home + "/src/alpha", beta = home + "/src/beta";

    void writeRows(const std::vector<Row> &rows) {
        Breakdown breakdown;
        breakdown.priceTableVersion = "hand 1";
        for (const Row &row : rows) {
            BreakdownKey key{*parseDay(row.day), row.provider, breakdown.names.add(row.model),
                             breakdown.names.add(row.project)};
            BreakdownFigures &figures = breakdown.rows[key];
            figures.split = row.split;
            figures.tokens = row.split.sum();
            figures.costNanodollars = row.cost;
            figures.unpricedTokens = row.unpriced ? figures.tokens : 0;
        }
        fs::create_directories(repo + "/docs");
        writeBreakdown(RepositoryFiles(repo).breakdown, breakdown);
    }

    // Today (2026-03-14) 219,000 tokens for 11 cents plus 5,500 unpriced; the week and the
    // month reach further back, and one day lies just outside each.
    void writeSample() {
        writeRows({
            {"2026-03-14",
             Provider::claude,
             "claude-sonnet-4-5",
             alpha,
             {1000, 500, 80000, 8000, 0, 2000},
             60'000'000,
             false},
            {"2026-03-14",
             Provider::codex,
             "gpt-5-codex",
             beta,
             {20000, 3000, 100000, 0, 1000},
             50'000'000,
             false},
            {"2026-03-14", Provider::opencode, "glm-4.6", "", {5000, 500, 0, 0, 0}, 0, true},
            {"2026-03-13",
             Provider::claude,
             "claude-sonnet-4-5",
             alpha,
             {2000, 100, 0, 0, 0},
             9'000'000,
             false},
            {"2026-03-08",
             Provider::claude,
             "claude-opus-4-1",
             beta,
             {300, 0, 0, 0, 0},
             4'500'000,
             false},
            {"2026-03-07",
             Provider::codex,
             "gpt-5-codex",
             beta,
             {7777, 0, 0, 0, 0},
             1'000'000,
             false},
            {"2026-02-13", Provider::codex, "gpt-5-codex", alpha, {10, 0, 0, 0, 0}, 10, false},
            {"2026-02-12", Provider::codex, "gpt-5-codex", alpha, {20, 0, 0, 0, 0}, 20, false},
        });
    }

    dom::element json(std::vector<std::string> arguments) {
        m_text = runToolOk(arguments, repo).standardOutput;
        dom::element root;
        EXPECT_EQ(m_parser.parse(m_text).get(root), simdjson::SUCCESS) << m_text;
        return root;
    }

private:
    dom::parser m_parser;
    std::string m_text;
};

const char *const figureNames[] = {
    "tokens",         "input",     "output",           "cache_read",     "cache_write",
    "cache_write_1h", "reasoning", "cost_nanodollars", "unpriced_tokens"};

std::int64_t number(dom::element object, const char *name) {
    std::int64_t value = -1;
    EXPECT_EQ(object[name].get(value), simdjson::SUCCESS) << name;
    return value;
}

// Every figure of `rows` adds up to the same figure of `total`, and the five kinds of tokens
// to the tokens.
void expectAddsUp(dom::element total, dom::array rows, const std::string &where) {
    for (const char *name : figureNames) {
        std::int64_t sum = 0;
        for (const dom::element row : rows)
            sum += number(row, name);
        EXPECT_EQ(sum, number(total, name)) << where << " " << name;
    }
    EXPECT_EQ(number(total, "input") + number(total, "output") + number(total, "cache_read") +
                  number(total, "cache_write") + number(total, "reasoning"),
              number(total, "tokens"))
        << where;
}

TEST_F(BreakdownReportTest, SplitsAddUpToTheTotalsOfEveryPeriodAndGrouping) {
    writeSample();
    const struct {
        std::vector<std::string> period;
        std::int64_t tokens, cost;
        size_t days;
    } periods[] = {
        {{"today"}, 219000, 110'000'000, 1},
        {{"week"}, 221400, 123'500'000, 3},
        {{"month"}, 229187, 124'500'010, 5},
        {{"range", "2026-02-12", "2026-03-07"}, 7807, 1'000'030, 3},
    };
    for (const auto &p : periods) {
        std::vector<std::string> arguments{"report"};
        arguments.insert(arguments.end(), p.period.begin(), p.period.end());
        for (const char *extra : {"--by", "tool,model", "--by", "project", "--daily", "--json"})
            arguments.push_back(extra);
        const dom::element report = json(arguments);
        const std::string what = p.period.front();
        EXPECT_EQ(number(report["total"], "tokens"), p.tokens) << what;
        EXPECT_EQ(number(report["total"], "cost_nanodollars"), p.cost) << what;
        const dom::array days = report["days"].get_array();
        EXPECT_EQ(days.size(), p.days) << what;
        expectAddsUp(report["total"], days, what + " days");
        for (const char *by : {"tool", "model", "project"}) {
            expectAddsUp(report["total"], report["groups"][by].get_array(), what + " by " + by);
            for (const dom::element day : days)
                expectAddsUp(day, day["groups"][by].get_array(), what + " a day by " + by);
        }
    }

    // Largest first; an unknown project has no name; the unpriced model is named and makes the
    // cost a lower bound.
    const dom::element today = json({"report", "today", "--by", "project", "--json"});
    const dom::array projects = today["groups"]["project"].get_array();
    std::vector<std::string> labels;
    for (const dom::element row : projects)
        labels.emplace_back(std::string_view(row["label"]));
    EXPECT_EQ(labels, (std::vector<std::string>{"~/src/beta", "~/src/alpha", "unknown"}));
    EXPECT_TRUE(projects.at(2)["name"].is_null());
    EXPECT_EQ(std::string_view(today["unpriced_models"].at(0)), "glm-4.6");
    EXPECT_TRUE(bool(today["total"]["cost_is_lower_bound"]));
    EXPECT_EQ(std::string_view(today["cost_basis"]), "api-equivalent estimate");
    EXPECT_EQ(today["days"].at(0)["groups"].error(), simdjson::NO_SUCH_FIELD); // not daily

    // The menu's document stays the usage file's, whatever the breakdown holds.
    EXPECT_THAT(runToolOk({"report", "today", "--json"}, repo).standardOutput,
                ::testing::StartsWith(R"({"rows":[{"day":"2026-03-14","provider":"codex")"));
}

TEST_F(BreakdownReportTest, TheTableFitsTheTerminalAndSaysWhatTheCostIs) {
    writeSample();
    writeText(usageFile(), R"({"rows":[{"day":"2026-03-14","total_tokens":220000,)"
                           R"("providers":{"claude":90500,"codex":124000,"opencode":5500}}]})");
    for (const size_t columns : {0, 120, 60, 40}) {
        environment.set("COLUMNS", columns ? std::to_string(columns) : "");
        const std::string text =
            runToolOk({"report", "today", "--by", "model"}, repo).standardOutput;
        std::istringstream lines(text);
        std::vector<std::string> table;
        std::string line;
        std::getline(lines, line);
        EXPECT_EQ(line, "Tokens on this machine, 2026-03-14");
        std::getline(lines, line);
        while (std::getline(lines, line) && !line.empty())
            table.push_back(line);
        ASSERT_EQ(table.size(), 5u) << text;
        EXPECT_THAT(table[0], ::testing::StartsWith("model")) << columns;
        EXPECT_THAT(table[1], ::testing::StartsWith("gpt-5-codex")) << columns;
        EXPECT_THAT(table[2], ::testing::StartsWith("claude-sonnet-4-5")) << columns;
        EXPECT_THAT(table[3], ::testing::EndsWith("unpriced")) << columns;
        EXPECT_THAT(table[4], ::testing::StartsWith("total")) << columns;
        EXPECT_THAT(table[4], ::testing::EndsWith("≥ $0.11")) << columns;
        // Every line fits, the notes under the table too.
        std::istringstream all(text);
        for (std::string each; std::getline(all, each);) {
            if (columns != 0) {
                EXPECT_LE(displayWidth(each), columns) << each;
            }
        }
        EXPECT_EQ(table[0].find("cache read") != std::string::npos, columns == 0 || columns >= 120)
            << text;
        std::string prose = text;
        std::replace(prose.begin(), prose.end(), '\n', ' ');
        EXPECT_THAT(prose, HasSubstr("API-equivalent estimate, not a bill"));
        EXPECT_THAT(prose, HasSubstr("no price for glm-4.6"));
        EXPECT_THAT(prose, HasSubstr("docs/usage.json counts 1,000 more tokens"));
    }
    EXPECT_THAT(
        runToolOk({"report", "range", "--help"}).standardOutput,
        ::testing::StartsWith("usage: tessel report range FROM TO [--by GROUPS] [--daily]"));
    EXPECT_THAT(runToolOk({"bar", "-h"}).standardOutput,
                ::testing::StartsWith("usage: tessel bar [--format FORMAT] [--repo-dir DIR]"));
}

TEST_F(BreakdownReportTest, BarLineHasTheShapeWaybarReads) {
    writeSample();
    writeText(usageFile(), R"({"rows":[{"day":"2026-03-14","total_tokens":219000,)"
                           R"("providers":{"claude":89500,"codex":124000,"opencode":5500}}]})");
    const std::int64_t now = 1773489600; // 2026-03-14T12:00:00Z
    const std::string history = home + "/.local/state/tessel/limits-history";
    const auto window = [&](double used, std::int64_t resetsIn) {
        LimitObservation reading;
        reading.provider = Provider::codex;
        reading.windowMinutes = 300;
        reading.usedPercent = used;
        reading.resetsAt = now + resetsIn;
        reading.observedAt = now - 60;
        return reading;
    };
    const struct {
        const char *what;
        std::vector<LimitObservation> readings;
        const char *cssClass;
        std::int64_t percentage;
    } cases[] = {
        {"no limits known", {}, "normal", 0},
        {"below 80%", {window(42, 3600)}, "normal", 42},
        {"from 80%", {window(85.4, 3600)}, "warning", 85},
        {"from 95%", {window(96, 3600)}, "critical", 96},
        {"reached", {window(112, 3600)}, "critical", 100},
        {"a window that has reset counts nothing", {window(99, -60)}, "normal", 0},
    };
    for (const auto &c : cases) {
        fs::remove(history);
        if (!c.readings.empty()) {
            fs::create_directories(fs::path(history).parent_path());
            writeLimitHistory(history, c.readings);
        }
        const std::string out = runToolOk({"bar", "--format", "waybar"}, repo).standardOutput;
        ASSERT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
        dom::parser parser;
        dom::object object;
        ASSERT_EQ(parser.parse(out).get(object), simdjson::SUCCESS) << out;
        EXPECT_EQ(object.size(), 4u) << out;
        std::string_view text, tooltip, cssClass;
        std::int64_t percentage = -1;
        EXPECT_EQ(object["text"].get(text), simdjson::SUCCESS);
        EXPECT_EQ(object["tooltip"].get(tooltip), simdjson::SUCCESS);
        EXPECT_EQ(object["class"].get(cssClass), simdjson::SUCCESS);
        EXPECT_EQ(object["percentage"].get(percentage), simdjson::SUCCESS);
        EXPECT_EQ(cssClass, c.cssClass) << c.what;
        EXPECT_EQ(percentage, c.percentage) << c.what;
        EXPECT_THAT(std::string(text), ::testing::StartsWith("219.0K · ≥ $0.11")) << c.what;
        EXPECT_THAT(std::string(tooltip), HasSubstr("Codex: 124.0K, $0.05")) << c.what;
        EXPECT_THAT(std::string(tooltip), HasSubstr("No price for glm-4.6")) << c.what;
        // The plain line is the same text, for i3blocks and polybar.
        EXPECT_EQ(runToolOk({"bar"}, repo).standardOutput, std::string(text) + "\n") << c.what;
    }
    // Waybar reads the texts as markup: a name that would be markup is escaped.
    writeRows({{"2026-03-14", Provider::opencode, "a<b&c", "", {5, 0, 0, 0, 0}, 0, true}});
    EXPECT_THAT(runToolOk({"bar", "--format", "waybar"}, repo).standardOutput,
                HasSubstr("No price for a&lt;b&amp;c"));
}

// Project folders are private: run daily publishes none unless asked to, and then only their
// last component.
TEST_F(BreakdownReportTest, RunDailyNamesProjectsOnlyWhenAsked) {
    initRepositoryWithRemote();
    const std::string secret = home + "/clients/secret-project";
    std::string line = claudeLine("m", "r", "2026-03-14T10:00:00Z", 1500, 0);
    line.replace(line.find(R"("uuid")"), 0, R"("cwd":")" + secret + R"(",)");
    writeText(session(), line);
    writeRows({{"2026-03-14",
                Provider::claude,
                "claude-sonnet-4-5",
                secret,
                {1500, 0, 0, 0, 0},
                4'500'000,
                false}});

    runToolOk({"run", "daily", "--repo-dir", repo});
    EXPECT_THAT(git(remote, {"log", "-p", "--all"}), ::testing::Not(HasSubstr("secret-project")));

    environment.set("TESSEL_PUBLISH_PROJECTS", "1");
    appendText(session(), claudeLine("n", "r", "2026-03-14T11:00:00Z", 1, 0));
    runToolOk({"run", "daily", "--repo-dir", repo});
    const std::string readme = git(remote, {"show", "HEAD:docs/README.md"});
    EXPECT_THAT(readme, HasSubstr("## By project (this machine)"));
    EXPECT_THAT(readme, HasSubstr("| secret-project |"));
    EXPECT_THAT(readme, ::testing::Not(HasSubstr(home)));
}

} // namespace
