#include "state/UsageFigures.h"

#include "state/SaturatingSum.h"

#include <QHash>

namespace {

const QString dayFormat = QStringLiteral("yyyy-MM-dd");

} // namespace

QString dayKey(QDate day) {
    return day.toString(dayFormat);
}

TodayFigures todayFigures(const QList<TodayReportRow> &rows) {
    TodayFigures figures;
    const TodayReportRow *leading = nullptr;
    for (const TodayReportRow &row : rows) {
        figures.tokens = saturatingAdd(figures.tokens, row.totalTokens);
        if (!leading || row.totalTokens > leading->totalTokens)
            leading = &row;
    }
    if (leading)
        figures.primaryProvider = leading->providerDisplayName();
    return figures;
}

qint64 weeklyTotal(const UsageReport &usage, QDate today) {
    const QDate weekStart = today.addDays(-6);
    qint64 total = 0;
    for (const UsageReport::Row &row : usage.rows) {
        const QDate day = QDate::fromString(row.day, dayFormat);
        if (day.isValid() && day >= weekStart)
            total = saturatingAdd(total, row.totalTokens);
    }
    return total;
}

QList<HeatmapDay> heatmapCells(const UsageReport &usage, QDate today) {
    // A file that lists a day twice keeps all of that day's usage: the rows are added up.
    QHash<QString, qint64> tokensByDay;
    tokensByDay.reserve(usage.rows.size());
    for (const UsageReport::Row &row : usage.rows) {
        qint64 &tokens = tokensByDay[row.day];
        tokens = saturatingAdd(tokens, row.totalTokens);
    }

    const QDate first = today.addDays(-(heatmapDayCount - 1));
    QList<HeatmapDay> days;
    days.reserve(heatmapDayCount);
    for (int offset = 0; offset < heatmapDayCount; ++offset) {
        const QString key = dayKey(first.addDays(offset));
        days.append(HeatmapDay{key, tokensByDay.value(key, 0)});
    }
    return days;
}
