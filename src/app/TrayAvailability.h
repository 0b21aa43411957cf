#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>

// Tells whether a tray host is there to take the icon, and notices one that comes up late: at
// login the utility may start before the panel that holds the tray. A host is either a
// status-notifier watcher with a registered host on the session bus or an X11 system tray.
class TrayAvailability : public QObject {
    Q_OBJECT

public:
    using Probe = std::function<bool()>;

    static constexpr std::chrono::milliseconds defaultInterval{1000};
    static constexpr std::chrono::milliseconds defaultPatience{120000};

    // Asks the session bus and the X server. Unlike Qt's own check it remembers nothing, so a
    // host found later is still used for the icon.
    static bool trayPresent();

    explicit TrayAvailability(Probe probe = trayPresent, QObject *parent = nullptr);

    // Probes every `interval` until a tray appears or `patience` has passed since the call.
    void watch(std::chrono::milliseconds interval = defaultInterval,
               std::chrono::milliseconds patience = defaultPatience);
    bool watching() const { return m_timer.isActive(); }

signals:
    void trayAppeared();

private:
    void probeOnce();

    Probe m_probe;
    QTimer m_timer;
    std::chrono::steady_clock::time_point m_giveUpAt;
};
