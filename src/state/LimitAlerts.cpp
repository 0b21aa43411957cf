#include "state/LimitAlerts.h"

#include "state/LimitTexts.h"

#include <array>
#include <cstdlib>

namespace {

int thresholdOf(const LimitWindow &window, const QDateTime &now) {
    if (limitStatusAt(window, now) == LimitWindow::Status::reached)
        return 100;
    const double used = window.usedPercent.value_or(0);
    for (const int threshold : std::array{95, 80})
        if (used >= threshold)
            return threshold;
    return 0;
}

QString limitIdOf(const LimitWindow &window) {
    return window.bucket ? window.bucket->id : QString();
}

} // namespace

LimitAlerts::Warned *LimitAlerts::find(const LimitWindow &window) {
    for (Warned &warned : m_warned)
        if (warned.provider == window.provider && warned.limitId == limitIdOf(window) &&
            warned.windowMinutes == window.windowMinutes &&
            std::llabs(warned.resetsAt.secsTo(*window.resetsAt)) * 10 <= window.windowMinutes * 60)
            return &warned;
    return nullptr;
}

QList<LimitAlerts::Alert> LimitAlerts::update(const QList<LimitWindow> &windows,
                                              const QDateTime &now) {
    m_warned.removeIf([&now](const Warned &warned) { return warned.resetsAt <= now; });
    QList<Alert> alerts;
    for (const LimitWindow &window : windows) {
        // Without a reset time a window cannot be told from the next one: better silent than
        // repeating itself.
        if (!window.resetsAt || window.isCachedFigure() ||
            limitStatusAt(window, now) == LimitWindow::Status::reset)
            continue;
        const int threshold = thresholdOf(window, now);
        if (threshold == 0)
            continue;
        Warned *warned = find(window);
        if (warned && warned->threshold >= threshold)
            continue;
        if (warned)
            warned->threshold = threshold;
        else
            m_warned.append({window.provider, limitIdOf(window), window.windowMinutes,
                             *window.resetsAt, threshold});

        Alert alert;
        alert.threshold = threshold;
        // Notification lists show one line per entry: the figure goes first, in the title.
        alert.summary = limitAlertTitle(window, now);
        const QString reset =
            QStringLiteral("%1后重置").arg(remainingText(now.secsTo(*window.resetsAt)));
        alert.body = threshold == 100 ? QStringLiteral("已用完，") + reset : reset;
        if (const auto pace = paceLine(window, now))
            alert.body += QStringLiteral("；") + *pace;
        alerts.append(alert);
    }
    return alerts;
}

// "codex 300 1765000000 80", a bucket's id as a fifth field. A bucket's id holds no spaces,
// and a version that knows only four fields drops a bucket's record rather than take it for
// the account's.
QStringList LimitAlerts::saved() const {
    QStringList texts;
    for (const Warned &warned : m_warned) {
        QString text = QStringLiteral("%1 %2 %3 %4")
                           .arg(warned.provider)
                           .arg(warned.windowMinutes)
                           .arg(warned.resetsAt.toSecsSinceEpoch())
                           .arg(warned.threshold);
        if (!warned.limitId.isEmpty())
            text += QLatin1Char(' ') + warned.limitId;
        texts << text;
    }
    return texts;
}

void LimitAlerts::restore(const QStringList &saved) {
    m_warned.clear();
    for (const QString &text : saved) {
        const QStringList fields = text.split(QLatin1Char(' '));
        bool minutesOk = false, resetOk = false, thresholdOk = false;
        if (fields.size() != 4 && (fields.size() != 5 || fields[4].isEmpty()))
            continue;
        Warned warned;
        warned.provider = fields[0];
        warned.windowMinutes = fields[1].toLongLong(&minutesOk);
        warned.resetsAt = QDateTime::fromSecsSinceEpoch(fields[2].toLongLong(&resetOk), Qt::UTC);
        warned.threshold = fields[3].toInt(&thresholdOk);
        warned.limitId = fields.value(4);
        if (minutesOk && resetOk && thresholdOk && warned.windowMinutes > 0)
            m_warned.append(warned);
    }
}
