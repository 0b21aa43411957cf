#include "settings/SettingsStore.h"

#include "cli/ConfigHome.h"
#include "cli/RegularFile.h"
#include "settings/AutostartEntry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QVariant>

namespace {

const QString refreshIntervalKey = QStringLiteral("refreshInterval");
const QString launchAtLoginKey = QStringLiteral("launchAtLogin");
const QString limitNotificationsKey = QStringLiteral("limitNotifications");
const QString limitWarningsGivenKey = QStringLiteral("limitWarningsGiven");
const QString syncIntervalKey = QStringLiteral("syncInterval");
const QString syncScheduledAtKey = QStringLiteral("syncScheduledAt");
const QString dailyBudgetKey = QStringLiteral("dailyBudget");
const QString budgetWarningsGivenKey = QStringLiteral("budgetWarningsGiven");

// Values come back typed while this process wrote them and as text once read from the file,
// so both forms are accepted; anything else is the wrong type and yields nothing.
std::optional<qint64> asInteger(const QVariant &value) {
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
        return value.toLongLong();
    case QMetaType::QString: {
        bool ok = false;
        const qint64 parsed = value.toString().trimmed().toLongLong(&ok);
        return ok ? std::optional(parsed) : std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

std::optional<double> asDouble(const QVariant &value) {
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Int:
    case QMetaType::LongLong:
        return value.toDouble();
    case QMetaType::QString: {
        bool ok = false;
        const double parsed = value.toString().trimmed().toDouble(&ok);
        return ok ? std::optional(parsed) : std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

std::optional<bool> asBool(const QVariant &value) {
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString().trimmed();
        if (text == u"true")
            return true;
        if (text == u"false")
            return false;
    }
    return std::nullopt;
}

// The file QSettings may use: `path` unless something else than a settings file is in its
// place. QSettings would wait for ever on a FIFO and read any amount from a device, so such a
// file is left alone and the settings live in memory for this session.
QString usableSettingsFile(const QString &path) {
    if (!QFileInfo::exists(path))
        return path;
    try {
        const RegularFile checked(path, 1024 * 1024);
        return path;
    } catch (const FileReadError &error) {
        qWarning("TesselMenu: not using the settings file %s: %s; settings are kept until the "
                 "utility quits",
                 qPrintable(path), qPrintable(error.reason()));
        return QString();
    }
}

} // namespace

SettingsStore::SettingsStore(QObject *parent)
    : SettingsStore(userConfigFolder() + QStringLiteral("/TesselMenu.conf"),
                    userConfigHome() + QStringLiteral("/autostart"), parent) {}

SettingsStore::SettingsStore(const QString &settingsFile, const QString &autostartDirectory,
                             QObject *parent)
    : QObject(parent), m_settings(usableSettingsFile(settingsFile), QSettings::IniFormat),
      m_autostartDirectory(autostartDirectory) {}

QString SettingsStore::autostartEntryPath() const {
    return m_autostartDirectory + QStringLiteral("/tesselmenu.desktop");
}

void SettingsStore::write(const QString &key, const QVariant &value) {
    m_settings.setValue(key, value);
    m_settings.sync();
}

qint64 SettingsStore::refreshInterval() const {
    return asInteger(m_settings.value(refreshIntervalKey)).value_or(defaultRefreshInterval);
}

void SettingsStore::setRefreshInterval(qint64 seconds) {
    write(refreshIntervalKey, QVariant::fromValue(seconds));
}

bool SettingsStore::launchAtLogin() const {
    return asBool(m_settings.value(launchAtLoginKey)).value_or(false);
}

bool SettingsStore::limitNotifications() const {
    return asBool(m_settings.value(limitNotificationsKey)).value_or(true);
}

void SettingsStore::setLimitNotifications(bool enabled) {
    write(limitNotificationsKey, enabled);
}

QStringList SettingsStore::limitWarningsGiven() const {
    const QVariant value = m_settings.value(limitWarningsGivenKey);
    return value.canConvert<QStringList>() ? value.toStringList() : QStringList();
}

void SettingsStore::setLimitWarningsGiven(const QStringList &warnings) {
    write(limitWarningsGivenKey, warnings);
}

bool SettingsStore::startsAtLogin() const {
    return launchAtLogin() &&
           autostartEntryStarts(autostartEntryPath(), QCoreApplication::applicationFilePath());
}

void SettingsStore::setLaunchAtLogin(bool enabled) {
    write(launchAtLoginKey, enabled);
}

qint64 SettingsStore::syncInterval() const {
    return asInteger(m_settings.value(syncIntervalKey)).value_or(defaultSyncInterval);
}

void SettingsStore::setSyncInterval(qint64 seconds) {
    write(syncIntervalKey, QVariant::fromValue(seconds));
}

double SettingsStore::syncScheduledAt() const {
    return asDouble(m_settings.value(syncScheduledAtKey)).value_or(0.0);
}

void SettingsStore::setSyncScheduledAt(double secondsSinceEpoch) {
    write(syncScheduledAtKey, secondsSinceEpoch);
}

std::optional<DailyBudget> SettingsStore::dailyBudget() const {
    const QVariant value = m_settings.value(dailyBudgetKey);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return DailyBudget::fromStored(value.toString());
}

void SettingsStore::setDailyBudget(const std::optional<DailyBudget> &budget) {
    if (budget) {
        write(dailyBudgetKey, budget->stored());
        return;
    }
    m_settings.remove(dailyBudgetKey);
    m_settings.sync();
}

QStringList SettingsStore::budgetWarningsGiven() const {
    const QVariant value = m_settings.value(budgetWarningsGivenKey);
    return value.canConvert<QStringList>() ? value.toStringList() : QStringList();
}

void SettingsStore::setBudgetWarningsGiven(const QStringList &warnings) {
    write(budgetWarningsGivenKey, warnings);
}

void SettingsStore::updateLaunchAtLogin(bool enabled) {
    // The outcome is all that is kept: a failed request reads as off, whatever was asked.
    try {
        if (enabled)
            // The working directory is the usage repository in use, which the shell entered.
            writeAutostartEntry(autostartEntryPath(),
                                autostartCommand(QCoreApplication::applicationFilePath()),
                                QDir::currentPath());
        else
            removeAutostartEntry(autostartEntryPath());
        setLaunchAtLogin(enabled);
    } catch (const std::exception &) {
        setLaunchAtLogin(false);
    }
}
