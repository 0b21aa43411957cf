#pragma once

#include "cli/LimitsFormat.h"

#include <QDateTime>
#include <QList>
#include <QString>

// Decides which desktop notifications a new set of limit figures calls for: one as a window
// passes 80%, one at 95%, one when it is used up, each at most once per window until it
// resets. A jump past several steps at once gives only the highest. Figures Claude Code
// merely cached (possibly days old) and windows already reset warn of nothing. A bucket's
// window is a window of its own, apart from the account's of the same length.
class LimitAlerts {
public:
    struct Alert {
        int threshold = 0; // 80, 95 or 100
        QString summary;
        QString body;
    };

    QList<Alert> update(const QList<LimitWindow> &windows, const QDateTime &now);

    // The warnings given so far, one text each, and back: kept across restarts. Texts that
    // cannot be read are dropped.
    QStringList saved() const;
    void restore(const QStringList &saved);

private:
    struct Warned {
        QString provider;
        QString limitId; // empty for the account's own limits
        qint64 windowMinutes = 0;
        QDateTime resetsAt;
        int threshold = 0;
    };

    // The record of the same window: same provider, bucket and length, a reset time within a tenth
    // of the window's length (a reset given in seconds from a line drifts by a few seconds).
    Warned *find(const LimitWindow &window);

    QList<Warned> m_warned;
};
