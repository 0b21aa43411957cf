// The figures derived from the two documents: today's total and leader, the week, the heatmap.
#include "state/UsageFigures.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

constexpr qint64 int64Max = std::numeric_limits<qint64>::max();
const QDate today(2026, 12, 6);

UsageReport usage(std::initializer_list<std::pair<QString, qint64>> days) {
    UsageReport report;
    for (const auto &[day, tokens] : days)
        report.rows.append({day, tokens, {}});
    return report;
}

QString daysBack(int n) {
    return dayKey(today.addDays(-n));
}

TodayReportRow row(const char *provider, qint64 tokens, const char *day = "2026-12-06") {
    return {QString::fromLatin1(day), QString::fromLatin1(provider), tokens};
}

TEST(TodayFigures, SumsEveryRowAndPicksTheFirstLargest) {
    const TodayFigures empty = todayFigures({});
    EXPECT_EQ(empty.tokens, 0);
    EXPECT_EQ(empty.primaryProvider, QStringLiteral("\u2014"));

    const TodayFigures tie = todayFigures({row("codex", 5), row("claude", 9), row("opencode", 9)});
    EXPECT_EQ(tie.tokens, 23);
    EXPECT_EQ(tie.primaryProvider, QStringLiteral("Claude Code"));

    EXPECT_EQ(todayFigures({row("opencode", 0), row("codex", 0)}).primaryProvider,
              QStringLiteral("OpenCode"));

    // Rows are not merged per provider, and their day is not examined.
    const TodayFigures split = todayFigures(
        {row("codex", 6), row("claude", 7), row("codex", 6, "2020-01-01"), row("gemini", -1)});
    EXPECT_EQ(split.tokens, 18);
    EXPECT_EQ(split.primaryProvider, QStringLiteral("Claude Code"));
}

TEST(TodayFigures, SaturatesInsteadOfOverflowing) {
    EXPECT_EQ(todayFigures({row("a", int64Max), row("b", 1)}).tokens, int64Max);
    EXPECT_EQ(todayFigures({row("a", std::numeric_limits<qint64>::min()), row("b", -1)}).tokens,
              std::numeric_limits<qint64>::min());
}

TEST(WeeklyTotal, CountsTodayAndTheSixDaysBeforeAndLaterDates) {
    EXPECT_EQ(weeklyTotal(usage({{daysBack(6), 1},
                                 {daysBack(7), 10},
                                 {daysBack(0), 100},
                                 {daysBack(-1), 1000},
                                 {QStringLiteral("yesterday"), 10000},
                                 {QStringLiteral("2026-13-01"), 100000}}),
                          today),
              1101);
    EXPECT_EQ(weeklyTotal(usage({{daysBack(1), int64Max}, {daysBack(2), int64Max}}), today),
              int64Max);
}

// Only the exact day text counts (none of the odd texts is the first cell's day written as
// the tool does), and repeated days are added up.
TEST(HeatmapCells, CoverTheNinetyEightDaysEndingTodayOldestFirst) {
    const auto cells = heatmapCells(usage({{daysBack(97), 5},
                                           {daysBack(98), 7},
                                           {daysBack(-1), 9},
                                           {daysBack(0), 3},
                                           {daysBack(0), 4},
                                           {QStringLiteral("2026-8-31"), 1},
                                           {QStringLiteral("2026-08-31T00:00"), 2},
                                           {QStringLiteral("garbage"), 4},
                                           {QString(), 8},
                                           {QStringLiteral("0000-01-01"), 16}}),
                                    today);
    ASSERT_EQ(cells.size(), 98);
    EXPECT_EQ(cells.front(), (HeatmapDay{QStringLiteral("2026-08-31"), 5}));
    EXPECT_EQ(cells.back(), (HeatmapDay{QStringLiteral("2026-12-06"), 7}));
    qint64 elsewhere = 0;
    for (qsizetype i = 1; i < 97; ++i)
        elsewhere += cells[i].tokens;
    EXPECT_EQ(elsewhere, 0);
}

// Each of the 98 days must land in its own cell and only the last seven in the week, also
// across leap days and century years; impossible dates land nowhere.
TEST(UsageFigures, DaysFindTheirCellsAcrossLeapYearsAndCenturies) {
    for (const QDate today : {QDate(2024, 3, 15), QDate(2100, 3, 15), QDate(2000, 3, 1),
                              QDate(2026, 1, 2), QDate(1999, 12, 31)}) {
        UsageReport report;
        for (int back = 0; back < 98; ++back)
            report.rows.append({dayKey(today.addDays(-back)), back + 1, {}});
        for (const char *impossible : {"2023-02-29", "2100-02-29", "2024-04-31", "2024-00-10"})
            report.rows.append({QString::fromLatin1(impossible), 1000, {}});

        const auto cells = heatmapCells(report, today);
        for (int back = 0; back < 98; ++back)
            EXPECT_EQ(cells[97 - back].tokens, back + 1) << cells[97 - back].date.toStdString();
        EXPECT_EQ(weeklyTotal(report, today), 1 + 2 + 3 + 4 + 5 + 6 + 7)
            << dayKey(today).toStdString();
    }
}

} // namespace
