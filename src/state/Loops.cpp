// start() and the two background loops: the periodic refresh and the countdown, which ticks
// once a second while something shows it.
#include "state/MenuBarViewModel.h"

#include "state/LoopControl.h"

#include <algorithm>

void MenuBarViewModel::start() {
    if (m_didStart)
        return;
    m_didStart = true;
    refresh();
    startRefreshLoop();
    startCountdownLoop();
}

void MenuBarViewModel::startRefreshLoop() {
    // A hand-edited interval below one second would make the loop spin; wait at least one.
    const qint64 seconds = std::max<qint64>(m_settings->refreshInterval(), 1);
    // Whichever of start() and restartRefreshLoop() comes first, one loop remains.
    if (m_refreshLoop)
        m_refreshLoop->cancel();
    m_refreshLoop = std::make_shared<LoopControl>();
    refreshLoop(this, m_refreshLoop, seconds);
}

void MenuBarViewModel::restartRefreshLoop() {
    startRefreshLoop();
}

MenuBarViewModel::CountdownWatch::CountdownWatch(MenuBarViewModel &model) : m_model(&model) {
    if (++model.m_countdownWatches == 1 && model.m_countdownLoop)
        model.m_countdownLoop->wake();
}

MenuBarViewModel::CountdownWatch::~CountdownWatch() {
    if (m_model)
        --m_model->m_countdownWatches;
}

std::unique_ptr<MenuBarViewModel::CountdownWatch> MenuBarViewModel::watchCountdown() {
    return std::make_unique<CountdownWatch>(*this);
}

void MenuBarViewModel::startCountdownLoop() {
    m_countdownLoop = std::make_shared<LoopControl>();
    countdownLoop(this, m_countdownLoop);
}

QCoro::Task<> MenuBarViewModel::refreshLoop(QPointer<MenuBarViewModel> self,
                                            std::shared_ptr<LoopControl> control, qint64 seconds) {
    const std::chrono::milliseconds second = self->m_clock.second;
    // Saturate rather than overflow for absurd hand-edited intervals; the sleep caps it anyway.
    const qint64 limit = std::numeric_limits<qint64>::max() / std::max<qint64>(second.count(), 1);
    const std::chrono::milliseconds interval(std::min(seconds, limit) * second.count());
    while (!control->isCancelled()) {
        // A cancelled sleep ends early and the pass still refreshes once before the loop ends,
        // so restarting the loop brings the figures up to date at once.
        co_await control->sleep(interval);
        if (self)
            self->refresh();
    }
}

QCoro::Task<> MenuBarViewModel::countdownLoop(QPointer<MenuBarViewModel> self,
                                              std::shared_ptr<LoopControl> control) {
    const std::chrono::milliseconds second = self->m_clock.second;
    while (!control->isCancelled()) {
        // Nobody sees the countdown: no timer at all until a watch wakes the loop, which then
        // ticks at once.
        if (self && self->m_countdownWatches > 0) {
            co_await control->sleep(second);
        } else {
            co_await control->sleepUntilWoken();
        }
        if (self && self->m_countdownWatches > 0)
            self->setCountdownNow(self->m_clock.now());
    }
}
