#pragma once

#include "cli/ReportFormats.h"
#include "state/HeatmapDay.h"

#include <QDate>
#include <QList>
#include <QString>

// The figures one refresh derives from the tool's two documents. Pure functions of their
// inputs; `today` is the local calendar day.

inline constexpr int heatmapDayCount = 98;

// The em dash shown while today's report has no rows.
inline const QString noProvider = QStringLiteral("\u2014");

struct TodayFigures {
    qint64 tokens = 0;
    QString primaryProvider = noProvider;
};

// Sums every row of today's report and names the provider of the largest row; the first of
// several equal rows wins.
TodayFigures todayFigures(const QList<TodayReportRow> &rows);

// Tokens of the usage rows dated today or up to six days before; later dates count too, and
// rows whose day is not a "yyyy-MM-dd" date are left out.
qint64 weeklyTotal(const UsageReport &usage, QDate today);

// The 98 days ending today, oldest first, each with the tokens the usage file gives for it.
QList<HeatmapDay> heatmapCells(const UsageReport &usage, QDate today);

// Both of the above from one pass over the rows, which may be many years of days.
struct UsageWindows {
    qint64 weeklyTokens = 0;
    QList<HeatmapDay> heatmapDays;
};
UsageWindows usageWindows(const UsageReport &usage, QDate today);

// The day text the tool writes and the heatmap matches on.
QString dayKey(QDate day);
