#pragma once

#include "settings/DailyBudget.h"

#include <QObject>
#include <QSettings>
#include <QString>
#include <QStringList>

// The user's four preferences, each a typed view on one key of the per-user settings file
// ($XDG_CONFIG_HOME/TesselMenu/TesselMenu.conf). Reads go to the store every time, writes go
// through at once, and defaults are never written: a key exists only once it was assigned.
// A stored value of the wrong type (only possible by editing the file) reads as the default.
class SettingsStore : public QObject {
    Q_OBJECT

public:
    static constexpr qint64 defaultRefreshInterval = 120;
    static constexpr qint64 defaultSyncInterval = 86400;

    explicit SettingsStore(QObject *parent = nullptr);
    // A store on the given settings file that registers login items in `autostartDirectory`.
    SettingsStore(const QString &settingsFile, const QString &autostartDirectory,
                  QObject *parent = nullptr);

    // Seconds between two periodic refreshes of the menu.
    qint64 refreshInterval() const;
    void setRefreshInterval(qint64 seconds);

    // True when the last updateLaunchAtLogin() asked to start at login and succeeded.
    bool launchAtLogin() const;
    void setLaunchAtLogin(bool enabled);
    // What the launch-at-login switch shows: launchAtLogin, and only while the autostart
    // entry is there and would start this executable (it breaks when the file moves, or
    // when the person removes the entry through the desktop's own settings).
    bool startsAtLogin() const;

    // Seconds between two scheduled publishing runs of the tool.
    qint64 syncInterval() const;
    void setSyncInterval(qint64 seconds);

    // When the schedule was last installed, in seconds since 1970 (UTC); 0 means never.
    double syncScheduledAt() const;
    void setSyncScheduledAt(double secondsSinceEpoch);

    // Whether desktop notifications warn as a usage limit comes near (default on).
    bool limitNotifications() const;
    void setLimitNotifications(bool enabled);
    // Which limit warnings were already given, so a restart does not give them again.
    QStringList limitWarningsGiven() const;
    void setLimitWarningsGiven(const QStringList &warnings);

    // The daily budget, nothing when none is set (or the stored text is not one); setting
    // nothing removes it.
    std::optional<DailyBudget> dailyBudget() const;
    void setDailyBudget(const std::optional<DailyBudget> &budget);
    // Which budget warnings were given, so a restart does not give them again.
    QStringList budgetWarningsGiven() const;
    void setBudgetWarningsGiven(const QStringList &warnings);

    // Registers (true) or removes (false) the utility's XDG autostart entry and records the
    // outcome in launchAtLogin: the requested state on success, false on any failure.
    void updateLaunchAtLogin(bool enabled);

    QString autostartEntryPath() const;

signals:
    // Part of the observable-object shape; the store itself never emits it.
    void objectWillChange();

private:
    void write(const QString &key, const QVariant &value);

    mutable QSettings m_settings;
    QString m_autostartDirectory;
};
