#pragma once

#include "settings/DailyBudget.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <optional>

// Decides the notifications the day's use calls for against the daily budget: one as it
// passes 80%, one as it reaches 100%, each at most once a day; a jump past both gives only
// the second. A new day starts afresh.
class BudgetAlerts {
public:
    struct Alert {
        int threshold = 0; // 80 or 100
        QString summary;
        QString body;
    };

    // `spent` is in the budget's unit: tokens, or nanodollars at API prices (`lowerBound`
    // when some of the day's tokens had no price).
    std::optional<Alert> update(const DailyBudget &budget, qint64 spent, bool lowerBound,
                                const QDate &day);

    // What was warned of today, as one text ("2026-03-14 80"), and back: kept across restarts.
    QStringList saved() const;
    void restore(const QStringList &saved);

private:
    QDate m_day;
    int m_given = 0;
};
