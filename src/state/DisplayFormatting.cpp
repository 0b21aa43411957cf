#include "state/DisplayFormatting.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

QString formatUnit(double value, double divisor, char unit) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f%c", value / divisor, unit);
    return QString::fromLatin1(text);
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
