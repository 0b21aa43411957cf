#pragma once

#include "base/Environment.h"

#include <cstdint>
#include <optional>
#include <string>

// The periodic `run daily` as a systemd user timer and service, tesselmenu-sync.timer and
// tesselmenu-sync.service in $XDG_CONFIG_HOME/systemd/user (default ~/.config/systemd/user).
struct ScheduleRequest {
    std::string repositoryFolder;
    std::string binary;
    std::int64_t intervalSeconds = 0;
    std::optional<std::string> profileFolder;
};

inline constexpr const char *timerName = "tesselmenu-sync.timer";
inline constexpr const char *serviceName = "tesselmenu-sync.service";

std::string unitFolder(const Environment &environment);
// The unit files' text. Paths are made absolute; the variables that tell where the logs are
// are carried into the service, which runs in the user manager's own environment.
std::string serviceUnit(const ScheduleRequest &request, const Environment &environment);
std::string timerUnit(std::int64_t intervalSeconds);

// Writes both units and starts the timer. Throws ScheduleError when systemd cannot be reached
// or refuses; nothing is left installed then.
void installSchedule(const ScheduleRequest &request, const Environment &environment);
// Stops the timer and removes both units; succeeds when nothing is installed.
void removeSchedule(const Environment &environment);
// A few lines, among them exactly "loaded: true" while the timer is installed and active,
// else "loaded: false" (also when no user systemd can be reached).
std::string scheduleStatus(const Environment &environment);
