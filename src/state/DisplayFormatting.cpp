#include "state/DisplayFormatting.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

// The quotient with `decimals` places and the unit letter. std::to_chars rounds the exact
// binary value as printf does but never consults the C locale, which Qt sets from the
// environment: a German desktop must still read "1.2M", not "1,2M".
QString formatUnit(double value, double divisor, char unit, int decimals = 1) {
    char text[64];
    const auto written = std::to_chars(text, text + sizeof text - 1, value / divisor,
                                       std::chars_format::fixed, decimals);
    *written.ptr = unit;
    return QString::fromLatin1(text, written.ptr - text + 1);
}

} // namespace

QString compactTokenString(qint64 value) {
    const double x = static_cast<double>(value);
    if (x >= 1'000'000'000.0)
        return formatUnit(x, 1'000'000'000.0, 'B');
    if (x >= 1'000'000.0)
        return formatUnit(x, 1'000'000.0, 'M');
    if (x >= 1'000.0)
        return formatUnit(x, 1'000.0, 'K');
    return QString::number(value);
}

QString shortTokenString(qint64 value) {
    if (value < 0)
        return QStringLiteral("<0");
    if (value < 1000)
        return QString::number(value);
    static constexpr std::array<char, 6> units{'K', 'M', 'B', 'T', 'P', 'E'};
    const double x = static_cast<double>(value);
    double divisor = 1000.0;
    for (const char unit : units) {
        const double scaled = x / divisor;
        // Rounded as it will be shown, so 9.96M reads "10M" and 999.7K reads "1.0M".
        if (std::round(scaled * 10) < 100)
            return formatUnit(x, divisor, unit);
        if (std::round(scaled) < 1000 || unit == units.back())
            return formatUnit(x, divisor, unit, 0);
        divisor *= 1000.0;
    }
    return {};
}

QString durationString(qint64 seconds) {
    const qint64 s = std::max<qint64>(seconds, 0);
    char text[64];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                  static_cast<long long>(s % 3600 / 60), static_cast<long long>(s % 60));
    return QString::fromLatin1(text);
}

QString menuTitleFor(qint64 todayTokens) {
    if (todayTokens == 0)
        return QStringLiteral("热图");
    return QStringLiteral("热图 ") + compactTokenString(todayTokens);
}

QString summaryFor(qint64 tokens) {
    return tokens == 0 ? QStringLiteral("暂无数据") : compactTokenString(tokens);
}

qint64 secondsUntilNextSync(const QDateTime &now, double anchorSecondsSinceEpoch, qint64 interval) {
    interval = std::max<qint64>(interval, 1);
    const double nowSeconds = static_cast<double>(now.toMSecsSinceEpoch()) / 1000.0;
    const double elapsed = nowSeconds - anchorSecondsSinceEpoch;

    // Clock values are finite and far inside the 64-bit range; anything else is clamped
    // rather than converted with undefined behaviour.
    qint64 whole = 0;
    if (elapsed >= 9.0e18)
        whole = std::numeric_limits<qint64>::max();
    else if (elapsed > 0)
        whole = static_cast<qint64>(std::trunc(elapsed));
    return interval - whole % interval;
}

QString nextSyncText(qint64 remainingSeconds) {
    return QStringLiteral("下次同步：") + durationString(remainingSeconds);
}
