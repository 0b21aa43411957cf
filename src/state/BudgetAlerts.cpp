#include "state/BudgetAlerts.h"

#include "state/BreakdownTexts.h"
#include "state/DisplayFormatting.h"

namespace {

QString amountText(const DailyBudget &budget, qint64 amount, bool lowerBound) {
    return budget.unit == DailyBudget::Unit::tokens
               ? compactTokenString(amount) + QStringLiteral(" tokens")
               : dollarText(amount, lowerBound);
}

} // namespace

std::optional<BudgetAlerts::Alert> BudgetAlerts::update(const DailyBudget &budget, qint64 spent,
                                                        bool lowerBound, const QDate &day) {
    if (day != m_day) {
        m_day = day;
        m_given = 0;
    }
    // spent / amount against 80% and 100%, without overflow.
    const __int128 used = static_cast<__int128>(spent) * 100;
    const __int128 whole = static_cast<__int128>(budget.amount);
    const int threshold = used >= whole * 100 ? 100 : used >= whole * 80 ? 80 : 0;
    if (threshold == 0 || threshold <= m_given)
        return std::nullopt;
    m_given = threshold;

    Alert alert;
    alert.threshold = threshold;
    alert.summary = threshold == 100 ? QStringLiteral("今日用量已达每日预算")
                                     : QStringLiteral("今日用量已达每日预算的 80%");
    alert.body = QStringLiteral("今日已用 %1，预算 %2")
                     .arg(amountText(budget, spent, lowerBound), budget.label());
    if (budget.unit == DailyBudget::Unit::dollars)
        alert.body += QStringLiteral("（按 API 价格估算）");
    return alert;
}

QStringList BudgetAlerts::saved() const {
    if (m_given == 0)
        return {};
    return {QStringLiteral("%1 %2").arg(m_day.toString(Qt::ISODate)).arg(m_given)};
}

void BudgetAlerts::restore(const QStringList &saved) {
    m_day = QDate();
    m_given = 0;
    for (const QString &text : saved) {
        const QStringList fields = text.split(QLatin1Char(' '));
        bool ok = false;
        const QDate day = fields.size() == 2 ? QDate::fromString(fields[0], Qt::ISODate) : QDate();
        const int given = fields.size() == 2 ? fields[1].toInt(&ok) : 0;
        if (day.isValid() && ok && (given == 80 || given == 100)) {
            m_day = day;
            m_given = given;
        }
    }
}
