// The tool actions: publish now, switch the schedule, change its interval. Each runs under
// the busy flag and ends with a refresh when the tool succeeded.
#include "state/MenuBarViewModel.h"

namespace {

QCoro::Task<> publishNow(MenuBarViewModel &model) {
    return model.cli().runDaily();
}

// The interval is read when the action runs, not when it was requested.
QCoro::Task<> installSchedule(MenuBarViewModel &model) {
    return model.cli().installSchedule(model.settings().syncInterval());
}

QCoro::Task<> removeSchedule(MenuBarViewModel &model) {
    return model.cli().removeSchedule();
}

} // namespace

void MenuBarViewModel::syncNow() {
    runAction(ToolAction{publishNow});
}

void MenuBarViewModel::runAction(ToolAction action) {
    if (m_isRefreshing)
        return;
    publish(m_isRefreshing, true);
    publish(m_lastError, std::optional<QString>());
    actionTask(this, std::move(action));
}

QCoro::Task<> MenuBarViewModel::actionTask(QPointer<MenuBarViewModel> self, ToolAction action) {
    std::exception_ptr failure;
    try {
        auto running = action.run(*self);
        co_await running;
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return;
    if (failure) {
        if (action.afterFailure)
            action.afterFailure(*self);
        self->finishWithError(failure);
        co_return;
    }
    if (action.afterSuccess)
        action.afterSuccess(*self);
    self->publish(self->m_isRefreshing, false);
    self->refresh();
}

void MenuBarViewModel::markScheduleInstalled() {
    m_settings->setSyncScheduledAt(static_cast<double>(m_clock.now().toMSecsSinceEpoch()) / 1000.0);
    setCountdownNow(m_clock.now());
}

void MenuBarViewModel::setScheduleEnabled(bool enabled) {
    if (enabled == m_scheduleInstalled || m_isRefreshing)
        return;
    const bool previous = m_scheduleInstalled;
    // The switch shows the requested state at once and springs back if the tool fails.
    publish(m_scheduleInstalled, enabled);
    const auto revert = [previous](MenuBarViewModel &model) {
        model.publish(model.m_scheduleInstalled, previous);
    };
    if (enabled)
        runAction({installSchedule, &MenuBarViewModel::markScheduleInstalled, revert});
    else
        runAction({removeSchedule,
                   [](MenuBarViewModel &model) { model.m_settings->setSyncScheduledAt(0); },
                   revert});
}

void MenuBarViewModel::setScheduleInterval(qint64 seconds) {
    m_settings->setSyncInterval(seconds);
    if (!m_scheduleInstalled)
        return;
    runAction({installSchedule, &MenuBarViewModel::markScheduleInstalled, {}});
}
