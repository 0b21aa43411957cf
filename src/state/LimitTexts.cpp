#include "state/LimitTexts.h"

#include "cli/ReportFormats.h"
#include "state/DisplayFormatting.h"

#include <algorithm>
#include <cmath>

namespace {

// "Codex" for the account's own limits, "Codex · GPT-5-Codex" for a bucket of its own, so a
// bucket's figure never reads as the account's.
QString ownerName(const LimitWindow &window) {
    const QString provider = TodayReportRow{QString(), window.provider, 0}.providerDisplayName();
    return window.bucket ? provider + QStringLiteral(" · ") + window.bucket->name : provider;
}

QString percentText(double value) {
    // Whole percentages as the tools show them; a fraction only below 10%.
    return value < 10 && value != std::floor(value) ? QString::number(value, 'f', 1)
                                                    : QString::number(std::floor(value), 'f', 0);
}

QString ageText(qint64 seconds) {
    if (seconds < 3600)
        return QStringLiteral("%1 分钟前").arg(std::max<qint64>(seconds / 60, 1));
    if (seconds < 86400)
        return QStringLiteral("%1 小时前").arg(seconds / 3600);
    return QStringLiteral("%1 天前").arg(seconds / 86400);
}

} // namespace

QString limitWindowName(qint64 minutes) {
    if (minutes % 1440 == 0)
        return QStringLiteral("%1 天").arg(minutes / 1440);
    if (minutes % 60 == 0)
        return QStringLiteral("%1 小时").arg(minutes / 60);
    return QStringLiteral("%1 分钟").arg(minutes);
}

QString remainingText(qint64 seconds) {
    if (seconds < 60)
        return QStringLiteral("不到 1 分");
    const qint64 minutes = seconds / 60;
    if (minutes < 60)
        return QStringLiteral("%1 分").arg(minutes);
    const qint64 hours = minutes / 60;
    if (hours < 24)
        return minutes % 60 ? QStringLiteral("%1 小时 %2 分").arg(hours).arg(minutes % 60)
                            : QStringLiteral("%1 小时").arg(hours);
    return hours % 24 ? QStringLiteral("%1 天 %2 小时").arg(hours / 24).arg(hours % 24)
                      : QStringLiteral("%1 天").arg(hours / 24);
}

LimitWindow::Status limitStatusAt(const LimitWindow &window, const QDateTime &now) {
    if (window.resetsAt && *window.resetsAt <= now)
        return LimitWindow::Status::reset;
    if (window.status == LimitWindow::Status::current && window.usedPercent &&
        *window.usedPercent >= 100)
        return LimitWindow::Status::reached;
    return window.status;
}

QString limitAlertTitle(const LimitWindow &window, const QDateTime &now) {
    const QString share = limitStatusAt(window, now) == LimitWindow::Status::reached
                              ? QStringLiteral("100")
                              : percentText(window.usedPercent.value_or(0));
    return ownerName(window) + QLatin1Char(' ') + limitWindowName(window.windowMinutes) +
           QLatin1Char(' ') + share + QLatin1Char('%');
}

QString limitLine(const LimitWindow &window, const QDateTime &now) {
    QString line = ownerName(window) + QLatin1Char(' ') + limitWindowName(window.windowMinutes) +
                   QStringLiteral("：");
    const LimitWindow::Status status = limitStatusAt(window, now);
    if (status == LimitWindow::Status::reset)
        return line + QStringLiteral("已重置，暂无新数据");
    line += status == LimitWindow::Status::reached
                ? QStringLiteral("已用完")
                : percentText(window.usedPercent.value_or(0)) + QLatin1Char('%');
    if (window.resetsAt)
        line += QStringLiteral("，%1后重置").arg(remainingText(now.secsTo(*window.resetsAt)));
    if (window.isCachedFigure())
        line += QStringLiteral("（%1的缓存）").arg(ageText(window.observedAt.secsTo(now)));
    return line;
}

std::optional<QString> paceLine(const LimitWindow &window, const QDateTime &now) {
    if (limitStatusAt(window, now) != LimitWindow::Status::current || !window.paceReachedAt ||
        (window.resetsAt && *window.paceReachedAt >= *window.resetsAt))
        return std::nullopt;
    const qint64 remaining = now.secsTo(*window.paceReachedAt);
    const QString clock = window.paceReachedAt->toLocalTime().toString(QStringLiteral("HH:mm"));
    if (remaining <= 0)
        return QStringLiteral("按当前速度，可能已经用完");
    return QStringLiteral("按当前速度，约 %1后（%2）用完").arg(remainingText(remaining), clock);
}

std::optional<QString> highestLimitLine(const QList<LimitWindow> &windows, const QDateTime &now) {
    const LimitWindow *highest = nullptr;
    const auto level = [&now](const LimitWindow &window) {
        return limitStatusAt(window, now) == LimitWindow::Status::reached
                   ? 100.0
                   : window.usedPercent.value_or(0);
    };
    for (const LimitWindow &window : windows)
        if (limitStatusAt(window, now) != LimitWindow::Status::reset &&
            (!highest || level(window) > level(*highest)))
            highest = &window;
    if (!highest)
        return std::nullopt;
    return limitLine(*highest, now);
}

QList<LimitWindow> limitsInMenuOrder(const QList<LimitWindow> &account,
                                     const QList<LimitWindow> &buckets) {
    QList<LimitWindow> ordered;
    QList<bool> placed(buckets.size(), false);
    const auto place = [&](const auto &belongs) {
        for (qsizetype i = 0; i < buckets.size(); ++i)
            if (!placed[i] && belongs(buckets[i])) {
                ordered << buckets[i];
                placed[i] = true;
            }
    };
    for (auto window = account.begin(); window != account.end(); ++window) {
        ordered << *window;
        const auto sameProvider = [&window](const LimitWindow &other) {
            return other.provider == window->provider;
        };
        if (std::none_of(window + 1, account.end(), sameProvider))
            place(sameProvider);
    }
    place([](const LimitWindow &) { return true; });
    return ordered;
}
