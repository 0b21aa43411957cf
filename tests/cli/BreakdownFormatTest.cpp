// Decoding `report week --by tool,model --daily --json`: today's groups and the week's cost
// come out as the tool wrote them; anything doubtful fails the whole document.
#include "cli/BreakdownFormat.h"
#include "cli/DescribedError.h"

#include <gtest/gtest.h>

namespace {

QByteArray figures(qint64 tokens, qint64 cost, qint64 unpriced = 0) {
    return QStringLiteral(R"("tokens":%1,"input":1,"cost_nanodollars":%2,"cost_usd":0.1,)"
                          R"("unpriced_tokens":%3,"cost_is_lower_bound":%4)")
        .arg(tokens)
        .arg(cost)
        .arg(unpriced)
        .arg(unpriced > 0 ? "true" : "false")
        .toUtf8();
}

QByteArray row(const char *label, qint64 tokens, qint64 cost, qint64 unpriced = 0) {
    return "{\"name\":\"" + QByteArray(label) + "\",\"label\":\"" + label + "\"," +
           figures(tokens, cost, unpriced) + "}";
}

// The document as the tool prints it: yesterday and today, the week's total.
QByteArray document(const QByteArray &todayGroups) {
    return R"({"from":"2026-03-08","to":"2026-03-14","currency":"USD","price_table":"p",)"
           R"("total":{)" +
           figures(300000, 123'500'000, 5500) + R"(},"unpriced_models":["glm-4.6",null],)" +
           R"("groups":{"tool":[],"model":[]},"days":[)" + R"({"day":"2026-03-13",)" +
           figures(2100, 9'000'000) + R"(,"groups":{"tool":[)" +
           row("Claude Code", 2100, 9'000'000) + R"(],"model":[]}},)" + R"({"day":"2026-03-14",)" +
           figures(219000, 110'000'000, 5500) + R"(,"groups":)" + todayGroups + "}]}";
}

const QByteArray todayGroups =
    "{\"tool\":[" + row("Codex", 124000, 50'000'000) + "," + row("OpenCode", 5500, 0, 5500) +
    "],\"model\":[" + row("gpt-5-codex", 124000, 50'000'000) +
    R"(,{"name":null,"label":"unknown","tokens":5500,"cost_nanodollars":0,)"
    R"("unpriced_tokens":5500}]})";

TEST(BreakdownDecoding, TodaysGroupsAndTheWeeksCost) {
    const BreakdownReport report = BreakdownReport::decode(document(todayGroups));
    EXPECT_EQ(report.today, QStringLiteral("2026-03-14"));
    EXPECT_EQ(report.todayTotal, (TokenCost{219000, 110'000'000, 5500}));
    ASSERT_EQ(report.todayByTool.size(), 2);
    EXPECT_EQ(report.todayByTool[0], (BreakdownEntry{"Codex", {124000, 50'000'000, 0}}));
    EXPECT_TRUE(report.todayByTool[1].figures.unpriced());
    ASSERT_EQ(report.todayByModel.size(), 2);
    EXPECT_TRUE(report.todayByModel[0].named);
    EXPECT_FALSE(report.todayByModel[1].named);
    EXPECT_EQ(report.week, (TokenCost{300000, 123'500'000, 5500}));
    EXPECT_TRUE(report.week.costIsLowerBound());
    EXPECT_EQ(report.unpricedModels, QStringList{"glm-4.6"});
    EXPECT_TRUE(report.unpricedUnknownModel);

    // A week without today: today reads as nothing, the week still counts.
    const QByteArray noToday =
        QByteArray(document(todayGroups)).replace("2026-03-14\",\"tok", "2026-03-12\",\"tok");
    const BreakdownReport quiet = BreakdownReport::decode(noToday);
    EXPECT_TRUE(quiet.todayByTool.isEmpty());
    EXPECT_EQ(quiet.todayTotal, TokenCost{});
    EXPECT_EQ(quiet.week.tokens, 300000);
}

TEST(BreakdownDecoding, RefusesWhatItCannotShowFaithfully) {
    const QByteArray good = document(todayGroups);
    const struct {
        const char *what;
        QByteArray from, to;
    } changes[] = {
        {"no day name", "\"to\":\"2026-03-14\",", ""},
        {"a count as text", "\"tokens\":124000", "\"tokens\":\"124000\""},
        {"a negative count", "\"tokens\":124000", "\"tokens\":-1"},
        {"a fraction", "\"tokens\":124000", "\"tokens\":1.5"},
        {"past 64 bits", "\"tokens\":124000", "\"tokens\":9223372036854775808"},
        {"more unpriced than tokens", "\"unpriced_tokens\":5500,\"cost_is_lower_bound\":true},\"u",
         "\"unpriced_tokens\":500000,\"cost_is_lower_bound\":true},\"u"},
        {"a label that is not text", "\"label\":\"Codex\"", "\"label\":null"},
        {"a day without its model group", ",\"model\":[]}}", "}}"},
        {"today twice", "{\"day\":\"2026-03-13\"", "{\"day\":\"2026-03-14\""},
        {"an unpriced model that is not text", "[\"glm-4.6\",null]", "[7]"},
        {"a name that is not text", "\"name\":\"Codex\"", "\"name\":7"},
        {"a row without a name", "\"name\":\"Codex\",", ""},
    };
    for (const auto &change : changes) {
        const QByteArray bad = QByteArray(good).replace(change.from, change.to);
        ASSERT_NE(bad, good) << change.what;
        EXPECT_THROW(BreakdownReport::decode(bad), ReportFormatError) << change.what;
    }
    for (const char *bytes : {"", "[]", "{}", "{\"to\":\"d\"}", "not json"})
        EXPECT_THROW(BreakdownReport::decode(bytes), ReportFormatError) << bytes;
    // What is wrong is named, down to the member.
    try {
        BreakdownReport::decode(QByteArray(good).replace("\"tokens\":124000", "\"tokens\":true"));
        ADD_FAILURE();
    } catch (const ReportFormatError &error) {
        EXPECT_TRUE(error.description().contains(QStringLiteral("days[1].groups.tool[0].tokens")))
            << error.what();
    }
}

} // namespace
