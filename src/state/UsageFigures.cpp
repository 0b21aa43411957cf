#include "state/UsageFigures.h"

#include "state/SaturatingSum.h"

#include <cstdio>

namespace {

const QString dayFormat = QStringLiteral("yyyy-MM-dd");

// A day written exactly as dayKey() writes it ("2026-12-06"), or an invalid date. Read by
// hand because a usage file holds a day for every day of many years and Qt's general date
// parser costs microseconds each. For such texts, equal dates mean equal texts.
QDate parseCanonicalDay(const QString &text) {
    const auto isDigit = [&](qsizetype i) { return text[i] >= u'0' && text[i] <= u'9'; };
    if (text.size() != 10 || text[4] != u'-' || text[7] != u'-' || !isDigit(0) || !isDigit(1) ||
        !isDigit(2) || !isDigit(3) || !isDigit(5) || !isDigit(6) || !isDigit(8) || !isDigit(9))
        return {};
    const auto digit = [&](qsizetype i) { return text[i].unicode() - u'0'; };
    return QDate(digit(0) * 1000 + digit(1) * 100 + digit(2) * 10 + digit(3),
                 digit(5) * 10 + digit(6), digit(8) * 10 + digit(9));
}

// Any day text the usage file may hold: the canonical form fast, other forms through Qt.
QDate parseDay(const QString &text) {
    const QDate day = parseCanonicalDay(text);
    return day.isValid() ? day : QDate::fromString(text, dayFormat);
}

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
        const QDate day = parseDay(row.day);
        if (day.isValid() && day >= weekStart)
            total = saturatingAdd(total, row.totalTokens);
    }
    return total;
}

QList<HeatmapDay> heatmapCells(const UsageReport &usage, QDate today) {
    const QDate first = today.addDays(-(heatmapDayCount - 1));
    QList<HeatmapDay> days;
    days.reserve(heatmapDayCount);
    for (int offset = 0; offset < heatmapDayCount; ++offset)
        days.append(HeatmapDay{dayKey(first.addDays(offset)), 0});

    // A row belongs to a cell when its text equals the cell's day text, which only a day in
    // the canonical form can. A file that lists a day twice keeps all of that day's usage:
    // the rows are added up.
    for (const UsageReport::Row &row : usage.rows) {
        const QDate day = parseCanonicalDay(row.day);
        const qint64 offset = day.isValid() ? first.daysTo(day) : -1;
        if (offset >= 0 && offset < heatmapDayCount) {
            qint64 &tokens = days[offset].tokens;
            tokens = saturatingAdd(tokens, row.totalTokens);
        }
    }
    return days;
}
