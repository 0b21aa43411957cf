// The fourth read of a refresh: the usage limits, after the figures are out.
#include "state/MenuBarViewModel.h"

#include "state/DesktopNotifier.h"
#include "state/ErrorDescription.h"
#include "state/LimitTexts.h"

void MenuBarViewModel::setNotifier(std::shared_ptr<Notifier> notifier) {
    m_notifier = std::move(notifier);
}

namespace {

// Reading the limits is a few file tails; a tool that hangs at it must not keep the busy flag
// set (and the sync button disabled) for the whole run timeout.
constexpr std::chrono::seconds limitsReadTimeout(60);

} // namespace

QCoro::Task<> MenuBarViewModel::readLimits(QPointer<MenuBarViewModel> self, TesselCLI cli) {
    std::optional<LimitsResponse> response;
    std::exception_ptr failure;
    try {
        auto reading = cli.withRunTimeout(limitsReadTimeout).limitsReport();
        response = co_await reading;
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return;
    // A failed read keeps the windows it had and marks them as not brought up to date.
    if (failure) {
        self->publish(self->m_limitsError, std::optional(describeError(failure)));
        co_return;
    }
    if (response)
        self->publishLimits(limitsInMenuOrder(response->windows, response->buckets),
                            response->skippedDescription());
    else
        self->publishLimits({}, std::nullopt);
}

// Outside the coroutine, whose inlined clearing of the error trips a false GCC 12 warning.
void MenuBarViewModel::publishLimits(QList<LimitWindow> windows, std::optional<QString> problem) {
    publish(m_limitsError, std::move(problem));
    // The record of what was warned of is kept up to date even while warnings are silenced,
    // so turning them on again does not repeat old news.
    // Warnings given before a restart are not given again.
    m_limitAlerts.restore(m_settings->limitWarningsGiven());
    const QList<LimitAlerts::Alert> alerts = m_limitAlerts.update(windows, m_clock.now());
    if (const QStringList given = m_limitAlerts.saved(); given != m_settings->limitWarningsGiven())
        m_settings->setLimitWarningsGiven(given);
    publish(m_limitWindows, std::move(windows));
    if (!m_notifier || !m_settings->limitNotifications())
        return;
    for (const LimitAlerts::Alert &alert : alerts)
        m_notifier->notify(alert.summary, alert.body);
}
