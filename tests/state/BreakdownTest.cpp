// "今日明细" in the state object: the breakdown read as the menu asks, its texts, and the daily
// budget's warnings at 80% and 100%, once a day.
#include "ModelFixture.h"

#include "state/BreakdownTexts.h"
#include "state/BudgetAlerts.h"
#include "state/DesktopNotifier.h"

namespace {

class RecordingNotifier : public Notifier {
public:
    QStringList shown;
    void notify(const QString &summary, const QString &body) override {
        shown << summary + QStringLiteral(" | ") + body;
    }
};

BreakdownReport sampleReport() {
    BreakdownReport report;
    report.today = QStringLiteral("2026-12-06");
    report.todayTotal = {1'530'000, 3'400'000'000, 30'000};
    report.todayByTool = {{"Claude Code", {1'200'000, 3'000'000'000, 0}},
                          {"OpenCode", {330'000, 400'000'000, 30'000}}};
    report.todayByModel = {{"claude-sonnet-4-5", {1'200'000, 3'000'000'000, 0}},
                           {"gpt-5", {300'000, 400'000'000, 0}},
                           {"glm-4.6", {30'000, 0, 30'000}},
                           {"unknown", {1'000, 0, 1'000}, false}};
    report.week = {12'300'000, 12'404'999'999, 30'000};
    report.unpricedModels = {"glm-4.6", "qwen3-coder-plus"};
    report.unpricedUnknownModel = true;
    report.unpricedUnknownModel = true;
    return report;
}

TEST(BreakdownTexts, TheSubmenuReadsToolsThenModelsThenTheWeek) {
    using Kind = BreakdownLine::Kind;
    EXPECT_EQ(breakdownLines(sampleReport()),
              (QList<BreakdownLine>{
                  {Kind::heading, "按工具"},
                  {Kind::figure, "Claude Code：1.2M · $3.00"},
                  {Kind::figure, "OpenCode：330.0K · ≥ $0.40"},
                  {Kind::separator, ""},
                  {Kind::heading, "按模型"},
                  {Kind::figure, "claude-sonnet-4-5：1.2M · $3.00"},
                  {Kind::figure, "gpt-5：300.0K · $0.40"},
                  {Kind::figure, "glm-4.6：30.0K · 未定价"},
                  {Kind::figure, "未知模型：1.0K · 未定价"},
                  {Kind::separator, ""},
                  {Kind::figure, "本周合计：12.3M · ≥ $12.40"},
                  {Kind::note, "未定价：glm-4.6、qwen3-coder-plus、未知模型"},
                  {Kind::note, "按 API 价格估算"},
              }));
    BreakdownReport quiet;
    quiet.week = {5000, 1'000'000'000, 0};
    EXPECT_EQ(breakdownLines(quiet, QStringLiteral("tessel 读取明细时异常退出\n详情")),
              (QList<BreakdownLine>{{Kind::note, "⚠ 明细未能更新：tessel 读取明细时异常退出"},
                                    {Kind::figure, "今日暂无数据"},
                                    {Kind::separator, ""},
                                    {Kind::figure, "本周合计：5.0K · $1.00"},
                                    {Kind::note, "按 API 价格估算"}}));
}

TEST(BreakdownTexts, DollarsToTheCent) {
    const struct {
        qint64 nanodollars;
        bool lowerBound;
        const char *text;
    } cases[] = {
        {0, false, "$0.00"},
        {4'999'999, false, "<$0.01"},
        {5'000'000, false, "$0.01"},
        {1'234'565'000'000, false, "$1,234.57"},
        {12'400'000'000, true, "≥ $12.40"},
        {1, true, "≥ <$0.01"},
        {-5, false, "$0.00"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(dollarText(c.nanodollars, c.lowerBound), QString::fromUtf8(c.text))
            << c.nanodollars;
}

TEST(BudgetAlerts, EightyAndAHundredPercentOnceADay) {
    const QDate monday(2026, 12, 7), tuesday(2026, 12, 8);
    const DailyBudget tokens = DailyBudget::tokens(50'000'000);
    BudgetAlerts alerts;
    const struct {
        qint64 spent;
        QDate day;
        int threshold; // 0: no alert
    } steps[] = {
        {39'999'999, monday, 0},
        {40'000'000, monday, 80},
        {45'000'000, monday, 0},
        {50'000'000, monday, 100},
        {90'000'000, monday, 0},
        // A new day starts afresh; a jump past both warns once, of the higher.
        {60'000'000, tuesday, 100},
        {70'000'000, tuesday, 0},
    };
    for (const auto &step : steps) {
        const auto alert = alerts.update(tokens, step.spent, false, step.day);
        EXPECT_EQ(alert ? alert->threshold : 0, step.threshold) << step.spent;
    }
    // What was given survives a restart, and only for its own day.
    BudgetAlerts restarted;
    restarted.restore(alerts.saved());
    EXPECT_EQ(alerts.saved(), QStringList{"2026-12-08 100"});
    EXPECT_FALSE(restarted.update(tokens, 70'000'000, false, tuesday));
    EXPECT_TRUE(restarted.update(tokens, 40'000'000, false, tuesday.addDays(1)));
    restarted.restore({"garbage", "2026-12-09 55"});
    EXPECT_EQ(restarted.saved(), QStringList{});

    const auto money =
        BudgetAlerts().update(DailyBudget::dollars(20), 16'200'000'000, true, monday);
    ASSERT_TRUE(money);
    EXPECT_EQ(money->summary, QStringLiteral("今日用量已达每日预算的 80%"));
    EXPECT_EQ(money->body, QStringLiteral("今日已用 ≥ $16.20，预算 $20（按 API 价格估算）"));
}

TEST(DailyBudget, StoredFormAndLabels) {
    EXPECT_EQ(DailyBudget::fromStored("tokens 50000000"), DailyBudget::tokens(50'000'000));
    EXPECT_EQ(DailyBudget::fromStored(" nanodollars 20000000000 "), DailyBudget::dollars(20));
    for (const char *bad : {"", "tokens", "tokens 0", "tokens -5", "coins 5", "tokens 5 6"})
        EXPECT_FALSE(DailyBudget::fromStored(bad)) << bad;
    EXPECT_EQ(DailyBudget::tokens(50'000'000).label(), QStringLiteral("50M tokens"));
    EXPECT_EQ(DailyBudget::tokens(2'500'000).label(), QStringLiteral("2.5M tokens"));
    EXPECT_EQ(DailyBudget::tokens(1'234'567).label(), QStringLiteral("1234567 tokens"));
    EXPECT_EQ(DailyBudget::dollars(20).label(), QStringLiteral("$20"));
    EXPECT_EQ((DailyBudget{DailyBudget::Unit::dollars, 12'500'000'000}).label(),
              QStringLiteral("$12.50"));
}

class BreakdownModelTest : public ModelTest {
protected:
    std::shared_ptr<RecordingNotifier> notifier = std::make_shared<RecordingNotifier>();

    void SetUp() override {
        ModelTest::SetUp();
        model->setNotifier(notifier);
    }

    void respondBreakdown(const BreakdownReport &report) {
        const auto entries = [](const QList<BreakdownEntry> &list) {
            QStringList rows;
            for (const BreakdownEntry &entry : list)
                rows << QStringLiteral(R"({"name":"%1","label":"%1","tokens":%2,)"
                                       R"("cost_nanodollars":%3,"unpriced_tokens":%4})")
                            .arg(entry.label)
                            .arg(entry.figures.tokens)
                            .arg(entry.figures.costNanodollars)
                            .arg(entry.figures.unpricedTokens);
            return "[" + rows.join(",") + "]";
        };
        const auto figures = [](const TokenCost &cost) {
            return QStringLiteral(R"("tokens":%1,"cost_nanodollars":%2,"unpriced_tokens":%3)")
                .arg(cost.tokens)
                .arg(cost.costNanodollars)
                .arg(cost.unpricedTokens);
        };
        const QString json =
            QStringLiteral(R"({"to":"%1","total":{%2},"unpriced_models":[],"days":[)"
                           R"({"day":"%1",%3,"groups":{"tool":%4,"model":%5}}]})")
                .arg(report.today, figures(report.week), figures(report.todayTotal),
                     entries(report.todayByTool), entries(report.todayByModel));
        tool.respond("report-week", {.standardOutput = json.toUtf8()});
    }

    bool readBreakdown() {
        model->refreshBreakdown();
        return waitUntil(
            [this] { return model->breakdown().has_value() || model->breakdownError(); });
    }
};

TEST_F(BreakdownModelTest, ReadAsAskedKeptThroughAFailureAbsentFromAnOlderTool) {
    // An older tool knows no such report: nothing to show, nothing wrong.
    tool.respond("report-week", {.standardError = "usage: tessel ...", .exitCode = 2});
    model->refreshBreakdown();
    ASSERT_TRUE(waitUntil([this] { return tool.runCount("report") == 1; }));
    idle(50ms);
    EXPECT_FALSE(model->breakdown());
    EXPECT_FALSE(model->breakdownError());

    respondBreakdown(sampleReport());
    ASSERT_TRUE(readBreakdown());
    ASSERT_TRUE(model->breakdown());
    EXPECT_EQ(model->breakdown()->todayByModel.size(), 4);
    EXPECT_TRUE(tool.argumentLists().contains(
        QStringList{"report", "week", "--by", "tool,model", "--daily", "--json"}));

    tool.respond("report-week", {.standardOutput = "{\"to\":7}"});
    model->refreshBreakdown();
    ASSERT_TRUE(waitUntil([this] { return model->breakdownError().has_value(); }));
    EXPECT_EQ(model->breakdown()->todayByModel.size(), 4) << "the last reading stays";
    // A refresh does not read it again.
    const qsizetype runs = tool.runCount("report");
    refreshAndWait();
    EXPECT_EQ(tool.runCount("report"), runs + 2); // today's report and the limits only
}

TEST_F(BreakdownModelTest, BudgetWarnsAtEightyAndAHundredPercentOncePerDay) {
    model->settings().setDailyBudget(DailyBudget::tokens(1000));
    respondToday(R"({"rows":[{"day":"2026-12-06","provider":"codex","total_tokens":850}]})");
    refreshAndWait();
    refreshAndWait();
    ASSERT_EQ(notifier->shown.size(), 1);
    EXPECT_EQ(notifier->shown[0],
              QStringLiteral("今日用量已达每日预算的 80% | 今日已用 850 tokens，预算 1K tokens"));

    // A restart remembers the day's warning.
    makeModel();
    model->setNotifier(notifier);
    refreshAndWait();
    EXPECT_EQ(notifier->shown.size(), 1);

    // In dollars: each refresh reads today's cost.
    model->settings().setDailyBudget(DailyBudget::dollars(3));
    BreakdownReport report = sampleReport();
    respondBreakdown(report);
    refreshAndWait();
    ASSERT_EQ(notifier->shown.size(), 2);
    EXPECT_TRUE(notifier->shown[1].startsWith(QStringLiteral("今日用量已达每日预算 |")))
        << notifier->shown[1].toStdString();
    // Another day's figures say nothing of today.
    now = now.addDays(1);
    refreshAndWait();
    EXPECT_EQ(notifier->shown.size(), 2);
}

} // namespace
