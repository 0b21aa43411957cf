// refresh(): collect, then the three reads at once, then every figure published together.
#include "state/MenuBarViewModel.h"

#include "cli/RunCanceller.h"
#include "state/UsageFigures.h"

namespace {

// Waits for a task whose result is no longer wanted, ignoring how it ends.
template <typename T> QCoro::Task<> settle(QCoro::Task<T> &task) {
    try {
        co_await task;
    } catch (...) {
    }
}

} // namespace

void MenuBarViewModel::refresh() {
    if (m_isRefreshing)
        return;
    publish(m_isRefreshing, true);
    publish(m_lastError, std::optional<QString>());
    refreshTask(this);
}

QCoro::Task<> MenuBarViewModel::refreshTask(QPointer<MenuBarViewModel> self) {
    // Each run works on its own copy of the tool; the canceller stops the children whose
    // results are no longer wanted once an earlier read has failed.
    const auto canceller = std::make_shared<RunCanceller>();
    const TesselCLI cli = self->m_cli.withCanceller(canceller);

    std::exception_ptr failure;
    QList<TodayReportRow> todayRows;
    UsageReport usage;
    bool scheduleLoaded = false;
    try {
        auto collecting = cli.collect();
        co_await collecting;

        // The file is read first: when it has changed, its decoding on a worker thread is
        // the longest of the three, and each start of the tool holds this thread until the
        // tool runs.
        auto reading = cli.usageReport();
        auto today = cli.todayReport();
        auto status = cli.scheduleInstalled();
        // Awaited in a fixed order so that when several fail, the first of them is reported.
        int awaited = 0;
        try {
            todayRows = co_await today;
            ++awaited;
            usage = co_await reading;
            ++awaited;
            scheduleLoaded = co_await status;
            ++awaited;
        } catch (...) {
            failure = std::current_exception();
        }
        if (failure) {
            canceller->cancel();
            // Tasks are awaited by name: g++ 12 destroys temporaries of a co_await twice.
            if (awaited < 1) {
                auto settling = settle(reading);
                co_await settling;
            }
            if (awaited < 2) {
                auto settling = settle(status);
                co_await settling;
            }
        }
    } catch (...) {
        failure = std::current_exception();
    }

    if (!self)
        co_return;
    if (failure) {
        self->finishWithError(failure);
        co_return;
    }

    const QDate today = self->m_clock.today();
    const TodayFigures figures = todayFigures(todayRows);
    self->publish(self->m_todayTokens, figures.tokens);
    self->publish(self->m_primaryProvider, figures.primaryProvider);
    UsageWindows windows = usageWindows(usage, today);
    self->publish(self->m_weeklyTokens, windows.weeklyTokens);
    self->publish(self->m_heatmapDays, std::move(windows.heatmapDays));
    self->publish(self->m_scheduleInstalled, scheduleLoaded);
    self->publish(self->m_lastUpdated, std::optional(self->m_clock.now()));

    // The figures are out; however the limits read ends, it cannot hold them back.
    auto limits = readLimits(self, cli);
    co_await limits;
    if (!self)
        co_return;
    // A budget in dollars needs today's cost; nothing else reads the breakdown on a refresh.
    if (const auto budget = self->m_settings->dailyBudget();
        budget && budget->unit == DailyBudget::Unit::dollars) {
        auto breakdown = readBreakdown(self, cli);
        co_await breakdown;
        if (!self)
            co_return;
    }
    self->checkBudget();
    self->publish(self->m_isRefreshing, false);
}
