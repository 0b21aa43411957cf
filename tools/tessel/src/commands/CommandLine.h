#pragma once

#include "commands/Bar.h"
#include "commands/Report.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// The tool's commands, as parsed from its arguments.
namespace command {

struct Help {};
// `tessel <command> --help`.
struct CommandHelpRequest {
    std::string words;
};
struct Collect {};
// `report today --json`: the document the tray utility has always read from docs/usage.json.
struct ReportToday {
    bool json = false;
    std::optional<std::string> repositoryFolder;
};
using Report = ::ReportRequest;
using Bar = ::BarRequest;
struct ReportLimits {
    bool json = false;
};
struct Statusline {
    std::optional<std::string> repositoryFolder;
    bool quiet = false;
};
struct RunDaily {
    std::string repositoryFolder;
    std::optional<std::string> profileFolder;
    // The published README may name projects (also with TESSEL_PUBLISH_PROJECTS=1).
    bool publishProjects = false;
};
struct ScheduleInstall {
    std::string repositoryFolder;
    std::string binary;
    std::int64_t intervalSeconds = 0;
    std::optional<std::string> profileFolder;
};
struct ScheduleRemove {};
struct ScheduleStatus {};
struct Demo {
    std::string repositoryFolder;
};
struct Version {};
struct Doctor {
    // The repository to examine; the one the tray utility uses when not given.
    std::optional<std::string> repositoryFolder;
    // Only the providers' log folders (quick, no git or systemd).
    bool logsOnly = false;
};

} // namespace command

using Command =
    std::variant<command::Help, command::CommandHelpRequest, command::Collect, command::ReportToday,
                 command::ReportLimits, command::Statusline, command::RunDaily,
                 command::ScheduleInstall, command::ScheduleRemove, command::ScheduleStatus,
                 command::Demo, command::Version, command::Doctor, command::Report, command::Bar>;

// The options are those of the command's row in the help table (commands/CommandHelp.h).
// Throws UsageError naming what is wrong.
Command parseCommandLine(const std::vector<std::string> &arguments);
