// The figures derived from the two documents: today's total and leader, the week, the heatmap.
#include "state/UsageFigures.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

constexpr qint64 int64Max = std::numeric_limits<qint64>::max();

TodayReportRow row(const char *provider, qint64 tokens, const char *day = "2026-12-06") {
    return {QString::fromLatin1(day), QString::fromLatin1(provider), tokens};
}

TEST(TodayFigures, SumsEveryRowWithoutOverflowAndPicksTheFirstLargest) {
    constexpr qint64 int64Min = std::numeric_limits<qint64>::min();
    const struct {
        QList<TodayReportRow> rows;
        qint64 tokens;
        const char *leader;
    } cases[] = {
        {{}, 0, "\u2014"},
        {{row("codex", 5), row("claude", 9), row("opencode", 9)}, 23, "Claude Code"},
        {{row("opencode", 0), row("codex", 0)}, 0, "OpenCode"},
        // Rows are not merged per provider, and their day is not examined.
        {{row("codex", 6), row("claude", 7), row("codex", 6, "2020-01-01"), row("gemini", -1)},
         18,
         "Claude Code"},
        {{row("a", int64Max), row("b", 1)}, int64Max, "a"},
        {{row("a", int64Min), row("b", -1)}, int64Min, "b"}};
    for (const auto &c : cases) {
        const TodayFigures figures = todayFigures(c.rows);
        EXPECT_EQ(figures.tokens, c.tokens) << c.leader;
        EXPECT_EQ(figures.primaryProvider, QString::fromUtf8(c.leader)) << c.tokens;
    }
}

// Each of the 98 days lands in its own cell, oldest first, and only the last seven and later
// days in the week, also across leap days and century years. Repeated days add up; days before
// the grid, impossible dates and other spellings (none is a day of the grid written as the tool
// does) land nowhere.
TEST(UsageFigures, DaysFindTheirCellsAndTheWeekAcrossLeapYearsAndCenturies) {
    for (const QDate today : {QDate(2026, 12, 6), QDate(2024, 3, 15), QDate(2100, 3, 15),
                              QDate(2000, 3, 1), QDate(2026, 1, 2), QDate(1999, 12, 31)}) {
        UsageReport report;
        for (int back = 0; back < 98; ++back)
            report.rows.append({dayKey(today.addDays(-back)), back + 1, {}});
        report.rows.append({dayKey(today), 1000, {}});
        report.rows.append({dayKey(today.addDays(1)), 10'000, {}});
        report.rows.append({dayKey(today.addDays(-98)), 1'000'000, {}});
        for (const char *nowhere : {"2026-8-31", "2026-08-31T00:00", "garbage", "", "0000-01-01",
                                    "2023-02-29", "2100-02-29", "2024-04-31", "2024-00-10"})
            report.rows.append({QString::fromLatin1(nowhere), 1'000'000, {}});

        const auto cells = heatmapCells(report, today);
        ASSERT_EQ(cells.size(), 98);
        EXPECT_EQ(cells.front().date, dayKey(today.addDays(-97)));
        EXPECT_EQ(cells.back(), (HeatmapDay{dayKey(today), 1001}));
        for (int back = 1; back < 98; ++back)
            EXPECT_EQ(cells[97 - back].tokens, back + 1) << cells[97 - back].date.toStdString();
        EXPECT_EQ(weeklyTotal(report, today), 1 + 2 + 3 + 4 + 5 + 6 + 7 + 1000 + 10'000)
            << dayKey(today).toStdString();
    }
    const QDate today(2026, 12, 6);
    UsageReport huge;
    huge.rows = {{dayKey(today), int64Max, {}}, {dayKey(today.addDays(-1)), int64Max, {}}};
    EXPECT_EQ(weeklyTotal(huge, today), int64Max);
}

} // namespace
