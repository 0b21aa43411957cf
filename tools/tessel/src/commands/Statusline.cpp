#include "commands/Statusline.h"

#include "base/AtomicFile.h"
#include "base/Clock.h"
#include "base/Errors.h"
#include "base/JsonStructure.h"
#include "history/UsageHistory.h"
#include "limits/ClaudeLimits.h"
#include "limits/LimitNumbers.h"
#include "limits/LimitsHistory.h"
#include "limits/LimitsReport.h"

#include <simdjson.h>

#include <cmath>
#include <ctime>
#include <filesystem>

namespace ondemand = simdjson::ondemand;

namespace {

std::string compactTokens(std::int64_t tokens) {
    const struct {
        double size;
        const char *suffix;
    } units[] = {{1e9, "B"}, {1e6, "M"}, {1e3, "K"}};
    for (const auto &unit : units)
        if (static_cast<double>(tokens) >= unit.size) {
            const double value = std::floor(static_cast<double>(tokens) / unit.size * 10) / 10;
            return formatNumber(value) + unit.suffix;
        }
    return std::to_string(tokens);
}

// The tray utility's configured repository ($XDG_CONFIG_HOME/TesselMenu/Info.json).
std::optional<std::string> configuredRepository(const Environment &environment) {
    const std::string config =
        environment.get("XDG_CONFIG_HOME").value_or(environment.home() + "/.config");
    simdjson::padded_string text;
    if (simdjson::padded_string::load(config + "/TesselMenu/Info.json").get(text) ||
        !hasSoundJsonStructure(std::string_view(text.data(), text.size())))
        return std::nullopt;
    ondemand::parser parser;
    ondemand::document document;
    ondemand::object object;
    std::string_view folder;
    if (parser.iterate(text).get(document) || document.get_object().get(object) ||
        object["TesselRepoDir"].get_string().get(folder) || folder.empty())
        return std::nullopt;
    return std::string(folder);
}

std::optional<std::int64_t> todayTokens(const StatuslineOptions &options,
                                        const Environment &environment) {
    const auto folder =
        options.repositoryFolder ? options.repositoryFolder : configuredRepository(environment);
    if (!folder)
        return std::nullopt;
    try {
        const auto history = readUsageHistory(*folder + "/docs/usage.json");
        if (!history)
            return std::nullopt;
        return history->dayTotal(today(environment));
    } catch (const ToolError &) {
        // A status line shows what it can: an unreadable usage file leaves the count out.
        return std::nullopt;
    }
}

std::string resetClock(std::int64_t resetsAt, std::int64_t now) {
    const std::time_t time = static_cast<std::time_t>(resetsAt);
    std::tm local{};
    ::localtime_r(&time, &local);
    char text[32];
    std::strftime(text, sizeof text, resetsAt - now < 86400 ? "%H:%M" : "%b %d %H:%M", &local);
    return text;
}

} // namespace

std::string statuslineSnapshotPath(const Environment &environment) {
    return limitsStateFolder(environment) + "/claude-statusline.json";
}

std::string runStatusline(std::string_view input, const StatuslineOptions &options,
                          const Environment &environment, std::vector<std::string> &warnings) {
    const std::int64_t now = currentTime(environment);
    if (!hasSoundJsonStructure(input))
        throw ToolError("the status-line input is not a JSON object");
    const simdjson::padded_string padded(input);
    ondemand::parser parser;
    ondemand::document document;
    ondemand::object object, rateLimits;
    if (parser.iterate(padded).get(document) || document.get_object().get(object))
        throw ToolError("the status-line input is not a JSON object");
    std::vector<LimitObservation> windows;
    if (!object["rate_limits"].get_object().get(rateLimits))
        windows = claude::parseRateLimits(rateLimits, now);
    if (!windows.empty()) {
        const std::string path = statuslineSnapshotPath(environment);
        try {
            std::error_code error;
            std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
            writeFileAtomically(path, claude::renderSnapshot(windows, now));
        } catch (const FileError &error) {
            warnings.push_back(error.what());
        }
    }
    if (options.quiet)
        return {};

    std::string line;
    if (const auto tokens = todayTokens(options, environment))
        line = compactTokens(*tokens) + " tokens today";
    for (const LimitObservation &window : windows) {
        line += std::string(line.empty() ? "" : " · ") + windowLabel(window.windowMinutes) + " " +
                formatNumber(window.usedPercent) + "%";
        if (window.resetsAt && *window.resetsAt > now)
            line += " until " + resetClock(*window.resetsAt, now);
    }
    return (line.empty() ? "no usage figures yet" : line) + "\n";
}
