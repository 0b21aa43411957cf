// One refresh from end to end against a fake tool: what is published, in which order, and
// what a failure leaves behind.
#include "ModelFixture.h"
#include "ScopedEnvironment.h"

#include <QElapsedTimer>
#include <QFile>

namespace {

using RefreshTest = ModelTest;

TEST_F(RefreshTest, StartsEmptyThenPublishesEveryFigureFromTheToolAndTheUsageFile) {
    EXPECT_TRUE(model->heatmapDays().isEmpty());
    EXPECT_FALSE(model->lastUpdated().has_value());
    EXPECT_FALSE(model->nextSyncSummary().has_value());
    EXPECT_EQ(tool.runCount(), 0);

    respondToday(R"({"rows":[{"day":"2026-12-06","provider":"codex","total_tokens":400000},
                             {"day":"2026-12-06","provider":"claude","total_tokens":850000}]})");
    tool.respond("schedule-status", {.standardOutput = "unit: x\nloaded: true\n"});
    writeUsage(R"({"rows":[{"day":"2026-11-29","total_tokens":1,"providers":{}},
                           {"day":"2026-11-30","total_tokens":20,"providers":{"codex":20}},
                           {"day":"2026-12-06","total_tokens":1250000,"providers":{}}]})");
    refreshAndWait();

    EXPECT_EQ(model->todayTokens(), 1'250'000);
    EXPECT_EQ(model->primaryProvider(), QStringLiteral("Claude Code"));
    EXPECT_EQ(model->weeklyTokens(), 1'250'020);
    ASSERT_EQ(model->heatmapDays().size(), 98);
    EXPECT_EQ(model->heatmapDays().back(), (HeatmapDay{QStringLiteral("2026-12-06"), 1'250'000}));
    EXPECT_TRUE(model->scheduleInstalled());
    EXPECT_EQ(model->lastUpdated(), std::optional(now));
    EXPECT_FALSE(model->lastError().has_value());
    EXPECT_EQ(model->menuTitle(), QStringLiteral("热图 1.2M")); // 1.25 rounds to even

    // collect runs first and alone; the three reads follow, then the limits.
    const auto runs = tool.argumentLists();
    ASSERT_EQ(runs.size(), 4);
    EXPECT_EQ(runs.front(), QStringList({"collect"}));
}

TEST_F(RefreshTest, BusyRefreshIsDroppedWithoutRunningTheTool) {
    holdBusy();
    model->refresh();
    model->refresh();
    waitIdle();
    EXPECT_EQ(tool.runCount("collect"), 1);
}

TEST_F(RefreshTest, NotificationComesBeforeTheValueIsStored) {
    respondToday(R"({"rows":[{"day":"2026-12-06","provider":"codex","total_tokens":77}]})");
    QList<qint64> seenDuringSignal;
    QObject::connect(model.get(), &MenuBarViewModel::objectWillChange,
                     [&] { seenDuringSignal << model->todayTokens(); });
    refreshAndWait();
    EXPECT_EQ(model->todayTokens(), 77);
    // Busy on, error cleared, then today's figure: its own notification still sees the old
    // value. Five more figures, the limits' error and windows, and busy off follow; unchanged
    // values notify too.
    EXPECT_EQ(seenDuringSignal, QList<qint64>({0, 0, 0, 77, 77, 77, 77, 77, 77, 77, 77}));
}

TEST_F(RefreshTest, FailedCollectKeepsEveryFigureUntilTheNextRefreshClearsTheError) {
    respondToday(R"({"rows":[{"day":"2026-12-06","provider":"codex","total_tokens":5}]})");
    refreshAndWait();
    const auto updated = model->lastUpdated();

    tool.respond("collect", {.standardError = "no logs here\n", .exitCode = 1});
    respondToday(R"({"rows":[{"day":"2026-12-06","provider":"codex","total_tokens":999}]})");
    refreshAndWait();
    EXPECT_EQ(model->lastError(), std::optional<QString>("no logs here"));
    EXPECT_EQ(model->todayTokens(), 5);
    EXPECT_EQ(model->lastUpdated(), updated);
    EXPECT_EQ(tool.runCount("report"), 2); // the first refresh's today and limits only

    tool.respond("collect", {});
    refreshAndWait();
    EXPECT_FALSE(model->lastError().has_value());
    EXPECT_EQ(model->todayTokens(), 999);
}

TEST_F(RefreshTest, FirstFailureInReadingOrderWinsAndNothingIsPublished) {
    // The usage file fails at once while today's report fails later: today's error is reported.
    tool.respond("report-today", {.standardError = "report broke", .exitCode = 1, .delay = 0.2});
    QFile::remove(repoDir + "/docs/usage.json");
    refreshAndWait();
    EXPECT_EQ(model->lastError(), std::optional<QString>("report broke"));

    // Today succeeds, the usage file fails: not even today's figure is published.
    respondToday(R"({"rows":[{"day":"2026-12-06","provider":"codex","total_tokens":5}]})");
    refreshAndWait();
    ASSERT_TRUE(model->lastError().has_value());
    EXPECT_TRUE(model->lastError()->contains(QStringLiteral("usage.json")));
    EXPECT_EQ(model->todayTokens(), 0);
    EXPECT_TRUE(model->heatmapDays().isEmpty());
    EXPECT_FALSE(model->lastUpdated().has_value());
}

TEST_F(RefreshTest, ChildrenNoLongerWantedAreStopped) {
    tool.respond("report-today", {.standardOutput = "not json"});
    tool.respond("schedule-status", {.standardOutput = "loaded: true", .delay = 30});
    QElapsedTimer elapsed;
    elapsed.start();
    refreshAndWait();
    EXPECT_LT(elapsed.elapsed(), 10'000);
    EXPECT_EQ(model->lastError(), std::optional<QString>("无法解析 tessel 的输出结果"));
    EXPECT_FALSE(model->scheduleInstalled());
}

// Around a daylight-saving change the cells are still 98 distinct consecutive days, ending
// with the local day of the clock.
TEST_F(RefreshTest, HeatmapDaysAcrossDaylightSavingChanges) {
    ScopedEnvironment environment;
    // São Paulo 2018: clocks jumped from 00:00 to 01:00, so that day had no midnight.
    const std::tuple<const char *, QDateTime, QDate> cases[] = {
        {"America/Sao_Paulo", QDateTime(QDate(2018, 11, 4), QTime(3, 30), Qt::UTC),
         QDate(2018, 11, 4)},
        {"America/Sao_Paulo", QDateTime(QDate(2018, 11, 4), QTime(2, 30), Qt::UTC),
         QDate(2018, 11, 3)},
        {"Europe/Berlin", QDateTime(QDate(2026, 3, 29), QTime(22, 30), Qt::UTC),
         QDate(2026, 3, 30)},
    };
    for (const auto &[zone, utc, localDay] : cases) {
        environment.set("TZ", zone);
        now = utc;
        refreshAndWait();
        const auto cells = model->heatmapDays();
        ASSERT_EQ(cells.size(), 98);
        EXPECT_EQ(cells.back().date, localDay.toString(Qt::ISODate)) << zone;
        for (qsizetype i = 1; i < cells.size(); ++i)
            EXPECT_EQ(QDate::fromString(cells[i - 1].date, Qt::ISODate).addDays(1),
                      QDate::fromString(cells[i].date, Qt::ISODate))
                << zone << " " << cells[i].date.toStdString();
    }
}

} // namespace
