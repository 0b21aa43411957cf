#include "commands/ClaudeRetention.h"

#include "base/AtomicFile.h"
#include "base/Errors.h"
#include "base/JsonStructure.h"
#include "providers/claude/ClaudeProvider.h"

#include <simdjson.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>

namespace {

constexpr int defaultDays = 30;
constexpr std::uint64_t maxSettingsBytes = 1 << 20;

// Claude Code's own folders: the projects folder's parent where CLAUDE_CONFIG_DIR names it.
std::vector<std::string> claudeFolders(const Environment &environment) {
    std::vector<std::string> folders;
    if (const auto configured = configuredClaudeFolders(environment)) {
        for (std::string folder : *configured) {
            if (folder.ends_with("/projects"))
                folder.resize(folder.size() - 9);
            folders.push_back(folder);
        }
    } else {
        folders.push_back(environment.home() + "/.claude");
    }
    return folders;
}

std::string shown(const std::string &path, const Environment &environment) {
    const std::string home = environment.home();
    return path.starts_with(home + "/") ? "~" + path.substr(home.size()) : path;
}

} // namespace

std::vector<DoctorLine> claudeRetentionLines(const Environment &environment, bool logsFound) {
    const std::string keeps = "; older history lives only in the usage repository, so a "
                              "machine switched off for longer loses nothing it had collected";
    std::vector<DoctorLine> lines;
    for (const std::string &folder : claudeFolders(environment)) {
        const std::string path = folder + "/settings.json";
        const std::string name = shown(path, environment);
        std::error_code error;
        const bool present = std::filesystem::exists(std::filesystem::symlink_status(path, error));
        if (!present && !logsFound)
            continue;
        std::string detail;
        std::optional<double> days;
        if (!present) {
            detail = "no " + name;
        } else {
            try {
                const simdjson::padded_string text(readWholeFile(path, maxSettingsBytes));
                simdjson::ondemand::parser parser;
                simdjson::ondemand::document document;
                simdjson::ondemand::object object;
                simdjson::ondemand::value value;
                double number = 0;
                if (!hasSoundJsonStructure(std::string_view(text.data(), text.size())) ||
                    parser.iterate(text).get(document) || document.get_object().get(object))
                    detail = name + " is not a JSON object";
                else if (object["cleanupPeriodDays"].get(value))
                    detail = "cleanupPeriodDays not set in " + name;
                else if (value.get_double().get(number) || !std::isfinite(number))
                    detail = "cleanupPeriodDays in " + name + " is not a number";
                else
                    days = number;
            } catch (const FileError &failure) {
                detail = failure.what();
            }
        }
        if (!days) {
            lines.push_back({Verdict::note,
                             "Claude Code keeps logs",
                             std::to_string(defaultDays) + " days after their last use (" + detail +
                                 ")" + keeps,
                             {}});
        } else if (*days < 1) {
            lines.push_back({Verdict::fail, "Claude Code keeps logs",
                             "no session logs at all: cleanupPeriodDays is " +
                                 std::to_string(static_cast<long long>(std::max(*days, -1e9))) +
                                 " in " + name + ", so there is nothing to count",
                             "set cleanupPeriodDays in " + name + " to 30 or more"});
        } else {
            const auto whole = static_cast<long long>(std::min(*days, 1e9));
            lines.push_back({Verdict::note,
                             "Claude Code keeps logs",
                             std::to_string(whole) + (whole == 1 ? " day" : " days") +
                                 " after their last use (cleanupPeriodDays in " + name + ")" +
                                 keeps,
                             {}});
        }
    }
    return lines;
}
