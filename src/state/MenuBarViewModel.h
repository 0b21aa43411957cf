#pragma once

#include "cli/TesselCLI.h"
#include "settings/SettingsStore.h"
#include "state/BudgetAlerts.h"
#include "state/Clock.h"
#include "state/DesktopActions.h"
#include "state/HeatmapDay.h"
#include "state/LimitAlerts.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class LoopControl;
class Notifier;

// The one state object of the menu: today's and this week's token totals, the heatmap, the
// busy and schedule flags and the last error, plus every operation the views call. It lives
// on the GUI thread; tool runs happen in child processes and their results are written back
// here. No operation ever fails towards its caller: failures land in lastError().
class MenuBarViewModel : public QObject {
    Q_OBJECT

public:
    using HeatmapDay = ::HeatmapDay;

    explicit MenuBarViewModel(QObject *parent = nullptr);
    explicit MenuBarViewModel(TesselCLI cli, QObject *parent = nullptr);
    // Everything injected: tests use their own tool, settings file and clock.
    MenuBarViewModel(TesselCLI cli, std::unique_ptr<SettingsStore> settings, Clock clock,
                     QObject *parent = nullptr);
    ~MenuBarViewModel() override;

    // Published fields. Each assignment emits objectWillChange() first.
    qint64 todayTokens() const { return m_todayTokens; }
    qint64 weeklyTokens() const { return m_weeklyTokens; }
    QString primaryProvider() const { return m_primaryProvider; }
    QList<HeatmapDay> heatmapDays() const { return m_heatmapDays; }
    std::optional<QDateTime> lastUpdated() const { return m_lastUpdated; }
    bool isRefreshing() const { return m_isRefreshing; }
    bool scheduleInstalled() const { return m_scheduleInstalled; }
    std::optional<QString> lastError() const { return m_lastError; }
    // The usage limits the tool last reported, read after the figures of each refresh;
    // empty when the tool offers none. The account's windows and, after each provider's, the
    // windows of its other limit buckets (those with `bucket` set), in the order shown.
    QList<LimitWindow> limitWindows() const { return m_limitWindows; }
    // Why the last reading of the limits failed, the windows above being the older ones; or
    // which windows of the last report could not be decoded and are left out of them.
    std::optional<QString> limitsError() const { return m_limitsError; }

    // Where today's tokens went and the week's API-equivalent cost, as last read; absent
    // before the first reading and from a tool without the report. The error says why the
    // last reading failed (the report above being the one before).
    std::optional<BreakdownReport> breakdown() const { return m_breakdown; }
    std::optional<QString> breakdownError() const { return m_breakdownError; }
    bool isReadingBreakdown() const { return m_readingBreakdown; }

    SettingsStore &settings() { return *m_settings; }
    const TesselCLI &cli() const { return m_cli; }

    // Texts derived from the fields for display.
    QString menuTitle() const;
    QString todaySummary() const;
    QString weeklySummary() const;
    std::optional<QString> nextSyncSummary() const;

    // First call only: one refresh now, then the refresh loop and the countdown loop.
    void start();

    // Keeps the countdown ticking once a second for as long as it lives; a view that shows
    // the countdown holds one while it is visible. With none held the countdown loop sleeps,
    // and the first new watch brings an immediate tick.
    class CountdownWatch {
    public:
        explicit CountdownWatch(MenuBarViewModel &model);
        ~CountdownWatch();
        CountdownWatch(const CountdownWatch &) = delete;
        CountdownWatch &operator=(const CountdownWatch &) = delete;

    private:
        QPointer<MenuBarViewModel> m_model;
    };
    [[nodiscard]] std::unique_ptr<CountdownWatch> watchCountdown();
    // Brings every figure up to date unless a refresh or tool action is already running.
    void refresh();
    // Restarts the refresh loop with the current refreshInterval setting.
    void restartRefreshLoop();
    // Reads the breakdown anew (the tray menu asks as it opens); asked during a reading, reads
    // once more after it. It runs beside a refresh: it only reads what collect wrote.
    void refreshBreakdown();
    // Warns once a day as the day's use passes 80% and 100% of the daily budget, if one is set.
    void checkBudget();
    // Publishes the usage repository now.
    void syncNow();
    // Installs (true) or removes (false) the periodic publishing schedule.
    void setScheduleEnabled(bool enabled);
    // Stores the sync interval and reinstalls an installed schedule with it.
    void setScheduleInterval(qint64 seconds);
    void openSettings();
    void openHeatmap();
    void quit();

    // The desktop services used by openSettings(), openHeatmap() and quit().
    void setDesktopActions(std::shared_ptr<DesktopActions> desktop);
    // Where warnings of limits coming near go; none by default.
    void setNotifier(std::shared_ptr<Notifier> notifier);

signals:
    // Emitted before every assignment to a published field, also when the value is unchanged,
    // so at the moment of emission the fields still hold their old values. Observers must not
    // read the fields from inside the slot: they should schedule a re-read for the next turn
    // of the event loop (several notifications may then coalesce into one redraw).
    void objectWillChange();

private:
    template <typename T> void publish(T &field, T value) {
        emit objectWillChange();
        field = std::move(value);
    }

    // A tool command run under the busy flag, with what to do after it succeeded or failed.
    struct ToolAction {
        std::function<QCoro::Task<>(MenuBarViewModel &)> run;
        std::function<void(MenuBarViewModel &)> afterSuccess{};
        std::function<void(MenuBarViewModel &)> afterFailure{};
    };

    void setCountdownNow(QDateTime now) { publish(m_countdownNow, std::move(now)); }
    void startRefreshLoop();
    void startCountdownLoop();
    // Runs a tool action under the busy flag and refreshes after it succeeds.
    void runAction(ToolAction action);
    void markScheduleInstalled();
    // Ends a refresh or action that failed: the error's text, then the busy flag cleared.
    void finishWithError(std::exception_ptr error);

    static QCoro::Task<> refreshTask(QPointer<MenuBarViewModel> self);
    static QCoro::Task<> readLimits(QPointer<MenuBarViewModel> self, TesselCLI cli);
    // Sets the limits error to `problem` (none: cleared), then publishes the windows and warns
    // of those past a step.
    void publishLimits(QList<LimitWindow> windows, std::optional<QString> problem);
    static QCoro::Task<> readBreakdown(QPointer<MenuBarViewModel> self, TesselCLI cli);
    static QCoro::Task<> actionTask(QPointer<MenuBarViewModel> self, ToolAction action);
    static QCoro::Task<> refreshLoop(QPointer<MenuBarViewModel> self,
                                     std::shared_ptr<LoopControl> control, qint64 seconds);
    static QCoro::Task<> countdownLoop(QPointer<MenuBarViewModel> self,
                                       std::shared_ptr<LoopControl> control);

    qint64 m_todayTokens = 0;
    qint64 m_weeklyTokens = 0;
    QString m_primaryProvider;
    QList<HeatmapDay> m_heatmapDays;
    std::optional<QDateTime> m_lastUpdated;
    bool m_isRefreshing = false;
    bool m_scheduleInstalled = false;
    std::optional<QString> m_lastError;
    QDateTime m_countdownNow;
    QList<LimitWindow> m_limitWindows;
    std::optional<QString> m_limitsError;
    std::optional<BreakdownReport> m_breakdown;
    std::optional<QString> m_breakdownError;

    TesselCLI m_cli;
    Clock m_clock;
    bool m_didStart = false;
    int m_countdownWatches = 0;
    std::shared_ptr<LoopControl> m_refreshLoop;
    std::shared_ptr<LoopControl> m_countdownLoop;
    std::unique_ptr<SettingsStore> m_settings;
    QPointer<QObject> m_settingsWindow;
    std::shared_ptr<DesktopActions> m_desktop;
    std::shared_ptr<Notifier> m_notifier;
    LimitAlerts m_limitAlerts;
    bool m_readingBreakdown = false;
    bool m_breakdownAgain = false;
    BudgetAlerts m_budgetAlerts;
};
