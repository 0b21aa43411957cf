#include "commands/Statusline.h"

#include "base/AtomicFile.h"
#include "base/Clock.h"
#include "base/Errors.h"
#include "base/FileLock.h"
#include "base/JsonStructure.h"
#include "commands/FigureTexts.h"
#include "history/UsageHistory.h"
#include "limits/ClaudeLimits.h"
#include "limits/LimitNumbers.h"
#include "limits/LimitsHistory.h"
#include "limits/LimitsReport.h"

#include <simdjson.h>

#include <cmath>
#include <filesystem>

namespace ondemand = simdjson::ondemand;

namespace {

// "1.2M" as the tray shows it, but cut down rather than rounded: a status line never shows more
// than was used.
std::string flooredCompactTokens(std::int64_t tokens) {
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
    const std::string path = config + "/TesselMenu/Info.json";
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        return std::nullopt;
    simdjson::padded_string text;
    try {
        // Read without waiting and only when a regular file of a sane size: a status line must
        // answer at once whatever stands there.
        text = simdjson::padded_string(readWholeFile(path, 1 << 20));
    } catch (const FileError &) {
        return std::nullopt;
    }
    if (!hasSoundJsonStructure(std::string_view(text.data(), text.size())))
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

} // namespace

std::string statuslineSnapshotPath(const Environment &environment) {
    return limitsStateFolder(environment) + "/claude-statusline.json";
}

namespace {

// Merges the input's windows into the saved snapshot under a lock, so that status lines of
// several sessions running at once never lose each other's figures. Returns what the
// snapshot holds now.
std::vector<LimitObservation> saveSnapshot(const std::vector<LimitObservation> &windows,
                                           const Environment &environment,
                                           std::vector<std::string> &warnings) {
    const std::string path = statuslineSnapshotPath(environment);
    try {
        std::error_code error;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
        const FileLock lock(path + ".lock", 2);
        const std::vector<LimitObservation> merged =
            claude::mergeSnapshot(claude::readSnapshot(path), windows);
        writeFileAtomically(path, claude::renderSnapshot(merged));
        return merged;
    } catch (const ToolError &error) {
        warnings.push_back(error.what());
        return windows;
    }
}

} // namespace

std::string runStatusline(std::string_view input, const StatuslineOptions &options,
                          const Environment &environment, std::vector<std::string> &warnings) {
    const std::int64_t now = currentTime(environment);
    const auto windows = claude::parseStatuslineInput(input, now, warnings);
    if (!windows)
        throw ToolError("the status-line input is not a JSON object");
    std::vector<LimitObservation> shown = *windows;
    if (!windows->empty()) {
        const std::vector<LimitObservation> saved = saveSnapshot(*windows, environment, warnings);
        // The windows this input carries, as the snapshot now has them: a higher share another
        // session saw for the same window is the newer news.
        for (LimitObservation &window : shown)
            for (const LimitObservation &kept : saved)
                if (kept.windowMinutes == window.windowMinutes)
                    window = kept;
    }
    if (options.quiet)
        return {};

    std::string line;
    if (const auto tokens = todayTokens(options, environment))
        line = flooredCompactTokens(*tokens) + " tokens today";
    for (const LimitObservation &window : shown) {
        line += std::string(line.empty() ? "" : " · ") + windowLabel(window.windowMinutes) + " " +
                formatNumber(window.usedPercent) + "%";
        // A reset already behind the clock says nothing about what is left.
        if (window.resetsAt && *window.resetsAt > now)
            line += " until " + resetClock(*window.resetsAt, now);
    }
    return (line.empty() ? "no usage figures yet" : line) + "\n";
}
