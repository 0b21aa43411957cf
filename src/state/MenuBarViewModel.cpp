#include "state/MenuBarViewModel.h"

#include "state/DisplayFormatting.h"
#include "state/ErrorDescription.h"
#include "state/LoopControl.h"
#include "state/UsageFigures.h"

MenuBarViewModel::MenuBarViewModel(QObject *parent) : MenuBarViewModel(TesselCLI(), parent) {}

MenuBarViewModel::MenuBarViewModel(TesselCLI cli, QObject *parent)
    : MenuBarViewModel(std::move(cli), std::make_unique<SettingsStore>(), Clock(), parent) {}

MenuBarViewModel::MenuBarViewModel(TesselCLI cli, std::unique_ptr<SettingsStore> settings,
                                   Clock clock, QObject *parent)
    : QObject(parent), m_primaryProvider(noProvider), m_countdownNow(clock.now()),
      m_cli(std::move(cli)), m_clock(std::move(clock)), m_settings(std::move(settings)),
      m_desktop(std::make_shared<BasicDesktopActions>()) {}

// Loops hold this object weakly and stop acting once it is gone; cancelling them here also
// releases their timers promptly.
MenuBarViewModel::~MenuBarViewModel() {
    if (m_refreshLoop)
        m_refreshLoop->cancel();
    if (m_countdownLoop)
        m_countdownLoop->cancel();
}

QString MenuBarViewModel::menuTitle() const {
    return menuTitleFor(m_todayTokens);
}

QString MenuBarViewModel::todaySummary() const {
    return summaryFor(m_todayTokens);
}

QString MenuBarViewModel::weeklySummary() const {
    return summaryFor(m_weeklyTokens);
}

std::optional<QString> MenuBarViewModel::nextSyncSummary() const {
    if (!m_scheduleInstalled)
        return std::nullopt;
    const double scheduledAt = m_settings->syncScheduledAt();
    const double anchor = scheduledAt > 0
                              ? scheduledAt
                              : static_cast<double>(m_clock.now().toMSecsSinceEpoch()) / 1000.0;
    return nextSyncText(secondsUntilNextSync(m_countdownNow, anchor, m_settings->syncInterval()));
}

void MenuBarViewModel::finishWithError(std::exception_ptr error) {
    publish(m_lastError, std::optional(describeError(error)));
    publish(m_isRefreshing, false);
}
