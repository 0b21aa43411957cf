// tessel: counts the tokens of local AI coding tools for the TesselMenu tray utility.
#include "base/Clock.h"
#include "base/Environment.h"
#include "base/Errors.h"
#include "collect/Collector.h"
#include "commands/CommandHelp.h"
#include "commands/CommandLine.h"
#include "commands/Demo.h"
#include "commands/Doctor.h"
#include "commands/RepositoryInUse.h"
#include "commands/Statusline.h"
#include "commands/StatuslineInput.h"
#include "commands/TodayReport.h"
#include "history/UsageHistory.h"
#include "limits/LimitsReport.h"
#include "sync/RunDaily.h"
#include "sync/Schedule.h"
#include "tesselmenu/Version.h"

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <unistd.h>

namespace {

template <typename... Handlers> struct Overloaded : Handlers... { using Handlers::operator()...; };

void printWarnings(const std::vector<std::string> &warnings) {
    for (const std::string &warning : warnings)
        std::cerr << "tessel: " << warning << '\n';
}

// The doctor's lines on standard output; status 1 when any item needs the person's action.
int doctor(const command::Doctor &request, const Environment &environment) {
    std::vector<DoctorLine> lines;
    if (request.logsOnly) {
        lines = examineLogs(environment);
    } else {
        RepositoryInUse repository{request.repositoryFolder.value_or(""), "given"};
        if (!request.repositoryFolder)
            repository = findRepositoryInUse(environment, std::filesystem::current_path().string(),
                                             executableFolder());
        lines = examineEverything({repository.folder, repository.reason}, environment);
    }
    std::cout << renderDoctorLines(lines);
    if (allWell(lines))
        return 0;
    if (!request.logsOnly)
        std::cout << "Something needs attention: see \"to do\" above.\n";
    return 1;
}

int run(const Command &command, const Environment &environment) {
    int status = 0;
    std::visit(
        Overloaded{
            [](const command::Help &) { std::cout << toolHelp(); },
            [](const command::CommandHelpRequest &request) {
                std::cout << commandHelpText(*findCommand({request.words}));
            },
            [](const command::Version &) { std::cout << "tessel " TESSELMENU_VERSION "\n"; },
            [&](const command::Doctor &request) { status = doctor(request, environment); },
            [&](const command::Collect &) {
                const CollectSummary summary = collectUsage(".", environment);
                printWarnings(summary.warnings);
                if (summary.demo)
                    std::cout << "demo repository: advanced today's figures\n";
                else
                    std::cout << "read " << summary.filesRead << " log files (" << summary.bytesRead
                              << " bytes); " << summary.daysStored << " days stored\n";
            },
            [&](const command::ReportToday &report) {
                const auto history =
                    readUsageHistory(RepositoryFiles(report.repositoryFolder.value_or(".")).usage);
                std::cout << renderTodayReportJson(history, today(environment));
            },
            [&](const command::Report &report) { std::cout << runReport(report, environment); },
            [&](const command::Bar &bar) { std::cout << runBar(bar, environment); },
            [&](const command::ReportLimits &report) {
                std::vector<std::string> warnings;
                const LimitsReport limits = gatherLimits(environment, warnings);
                printWarnings(warnings);
                std::cout << (report.json ? renderLimitsJson(limits)
                                          : renderLimitsText(limits, currentTime(environment)));
            },
            [&](const command::Statusline &statusline) {
                // Run by hand there is no input coming: say how it is used instead of waiting.
                if (::isatty(STDIN_FILENO)) {
                    std::cerr << commandHelpText(*findCommand({"statusline"}));
                    status = 2;
                    return;
                }
                // Claude Code's status document is small; more than this is not one.
                constexpr size_t inputLimit = 4 << 20;
                std::vector<std::string> warnings;
                std::cout << runStatusline(readFirstJsonObject(STDIN_FILENO, inputLimit),
                                           {statusline.repositoryFolder, statusline.quiet},
                                           environment, warnings);
                printWarnings(warnings);
            },
            [&](const command::RunDaily &daily) {
                for (const std::string &note : runDaily(daily.repositoryFolder, daily.profileFolder,
                                                        environment, daily.publishProjects))
                    std::cerr << "tessel: " << note << '\n';
            },
            [&](const command::ScheduleInstall &install) {
                installSchedule({install.repositoryFolder, install.binary, install.intervalSeconds,
                                 install.profileFolder},
                                environment);
                std::cout << "installed " << timerName << ": every " << install.intervalSeconds
                          << " s\n";
            },
            [&](const command::ScheduleRemove &) { removeSchedule(environment); },
            [&](const command::ScheduleStatus &) { std::cout << scheduleStatus(environment); },
            [&](const command::Demo &demo) {
                prepareDemoRepository(demo.repositoryFolder, environment);
                std::cout << "demo repository ready: " << demo.repositoryFolder << '\n';
            },
        },
        command);
    return status;
}

// One line, whatever the message holds, so the menu can show it as it is.
std::string oneLine(std::string text) {
    for (char &c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    return text;
}

} // namespace

int main(int argc, char **argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    try {
        const Environment environment = Environment::current();
        return run(parseCommandLine(arguments), environment);
    } catch (const UsageError &error) {
        std::cerr << "tessel: " << oneLine(error.what()) << "; " << usageLine() << '\n';
        return 2;
    } catch (const ToolError &error) {
        std::cerr << "tessel: " << oneLine(error.what()) << '\n';
        return 1;
    } catch (const std::filesystem::filesystem_error &error) {
        std::cerr << "tessel: " << oneLine(error.what()) << '\n';
        return 1;
    } catch (const std::bad_alloc &) {
        std::cerr << "tessel: out of memory\n";
        return 1;
    }
}
