#include "state/UsageFigures.h"

#include "state/SaturatingSum.h"

#include <optional>

namespace {

const QString dayFormat = QStringLiteral("yyyy-MM-dd");

// The Julian day number of a day written exactly as dayKey() writes it ("2026-12-06"), or
// nothing for any other text or an impossible date. Computed by hand because a usage file
// holds a day for every day of many years and Qt's date parsing and construction cost far
// more than the rest of a refresh. For such texts, equal days mean equal texts.
std::optional<qint64> canonicalJulianDay(const QString &text) {
    if (text.size() != 10 || text[4] != u'-' || text[7] != u'-')
        return std::nullopt;
    int digits[8];
    int n = 0;
    for (const qsizetype i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        digits[n++] = c - u'0';
    }
    const int year = digits[0] * 1000 + digits[1] * 100 + digits[2] * 10 + digits[3];
    const int month = digits[4] * 10 + digits[5];
    const int day = digits[6] * 10 + digits[7];
    if (year < 1 || month < 1 || month > 12 || day < 1)
        return std::nullopt;
    static constexpr int monthLengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > monthLengths[month - 1] + (month == 2 && leap))
        return std::nullopt;
    // Days from the civil date (proleptic Gregorian), shifted to the Julian day count.
    const int y = year - (month <= 2);
    const int era = y / 400;
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return qint64(era) * 146097 + dayOfEra - 719468 + 2440588;
}

// Any day text the usage file may hold: the canonical form fast, other forms through Qt.
std::optional<qint64> julianDay(const QString &text) {
    if (const auto day = canonicalJulianDay(text))
        return day;
    const QDate parsed = QDate::fromString(text, dayFormat);
    return parsed.isValid() ? std::optional(parsed.toJulianDay()) : std::nullopt;
}

} // namespace

QString dayKey(QDate day) {
    // Formatted by hand where the form allows, from one calendar conversion: QDate::toString
    // goes through the locale, and each of year(), month() and day() converts afresh.
    int year = 0, month = 0, dayOfMonth = 0;
    day.getDate(&year, &month, &dayOfMonth);
    if (year < 1000 || year > 9999)
        return day.toString(dayFormat);
    const auto digit = [](int value) { return QChar(u'0' + value % 10); };
    const QChar text[10] = {digit(year / 1000),
                            digit(year / 100),
                            digit(year / 10),
                            digit(year),
                            u'-',
                            digit(month / 10),
                            digit(month),
                            u'-',
                            digit(dayOfMonth / 10),
                            digit(dayOfMonth)};
    return QString(text, 10);
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

UsageWindows usageWindows(const UsageReport &usage, QDate today) {
    const qint64 weekStart = today.addDays(-6).toJulianDay();
    const QDate first = today.addDays(-(heatmapDayCount - 1));
    UsageWindows windows;
    windows.heatmapDays.reserve(heatmapDayCount);
    for (int offset = 0; offset < heatmapDayCount; ++offset)
        windows.heatmapDays.append(HeatmapDay{dayKey(first.addDays(offset)), 0});

    // A row belongs to a cell when its text equals the cell's day text, which only a day in
    // the canonical form can; the week takes any form of a date. A file that lists a day
    // twice keeps all of that day's usage: the rows are added up.
    for (const UsageReport::Row &row : usage.rows) {
        const std::optional<qint64> canonical = canonicalJulianDay(row.day);
        const std::optional<qint64> day = canonical ? canonical : julianDay(row.day);
        if (day && *day >= weekStart)
            windows.weeklyTokens = saturatingAdd(windows.weeklyTokens, row.totalTokens);
        const qint64 offset = canonical ? *canonical - first.toJulianDay() : -1;
        if (offset >= 0 && offset < heatmapDayCount) {
            qint64 &tokens = windows.heatmapDays[offset].tokens;
            tokens = saturatingAdd(tokens, row.totalTokens);
        }
    }
    return windows;
}

qint64 weeklyTotal(const UsageReport &usage, QDate today) {
    return usageWindows(usage, today).weeklyTokens;
}

QList<HeatmapDay> heatmapCells(const UsageReport &usage, QDate today) {
    return usageWindows(usage, today).heatmapDays;
}
