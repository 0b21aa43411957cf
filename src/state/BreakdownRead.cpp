// The breakdown read for the tray menu's "今日明细", and the daily budget checked against it.
#include "state/MenuBarViewModel.h"

#include "state/DesktopNotifier.h"
#include "state/ErrorDescription.h"

#include <utility>

namespace {

// A few files read and summed; a tool that hangs must not keep the menu waiting for ever.
constexpr std::chrono::seconds breakdownReadTimeout(60);

} // namespace

void MenuBarViewModel::refreshBreakdown() {
    // Asked while a reading is under way: once more after it, for what changed meanwhile.
    if (m_readingBreakdown) {
        m_breakdownAgain = true;
        return;
    }
    m_readingBreakdown = true;
    readBreakdown(this, m_cli);
}

QCoro::Task<> MenuBarViewModel::readBreakdown(QPointer<MenuBarViewModel> self, TesselCLI cli) {
    std::optional<BreakdownReport> report;
    std::exception_ptr failure;
    try {
        auto reading = cli.withRunTimeout(breakdownReadTimeout).breakdownReport();
        report = co_await reading;
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return;
    self->m_readingBreakdown = false;
    if (std::exchange(self->m_breakdownAgain, false))
        self->refreshBreakdown();
    // A failed reading keeps the report it had and says why it is not brought up to date.
    if (failure) {
        self->publish(self->m_breakdownError, std::optional(describeError(failure)));
        co_return;
    }
    self->publish(self->m_breakdownError, std::optional<QString>());
    self->publish(self->m_breakdown, std::move(report));
    self->checkBudget();
}

void MenuBarViewModel::checkBudget() {
    const std::optional<DailyBudget> budget = m_settings->dailyBudget();
    if (!budget || !m_lastUpdated)
        return;
    const QDate today = m_clock.today();
    qint64 spent = m_todayTokens;
    bool lowerBound = false;
    if (budget->unit == DailyBudget::Unit::dollars) {
        // Only a reading of today's costs will do; another day's says nothing of today.
        if (!m_breakdown || m_breakdown->today != today.toString(Qt::ISODate))
            return;
        spent = m_breakdown->todayTotal.costNanodollars;
        lowerBound = m_breakdown->todayTotal.costIsLowerBound();
    }
    m_budgetAlerts.restore(m_settings->budgetWarningsGiven());
    const std::optional<BudgetAlerts::Alert> alert =
        m_budgetAlerts.update(*budget, spent, lowerBound, today);
    if (const QStringList given = m_budgetAlerts.saved();
        given != m_settings->budgetWarningsGiven())
        m_settings->setBudgetWarningsGiven(given);
    if (alert && m_notifier)
        m_notifier->notify(alert->summary, alert->body);
}
