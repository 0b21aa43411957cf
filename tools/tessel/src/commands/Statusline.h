#pragma once

#include "base/Environment.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// `tessel statusline`: a status-line command for Claude Code. Claude Code hands it a JSON
// document on standard input whose rate_limits hold the 5-hour and weekly figures (for
// subscribers, after a session's first reply); they are kept as the snapshot that
// `report limits` reads, with the time they were seen.
struct StatuslineOptions {
    // The usage repository whose docs/usage.json gives today's tokens; else the tray
    // utility's own TesselRepoDir, when it has one.
    std::optional<std::string> repositoryFolder;
    // Save only; print nothing (for chaining another status line).
    bool quiet = false;
};

// Where the snapshot is kept.
std::string statuslineSnapshotPath(const Environment &environment);

// Saves the snapshot when the input carries rate limits and returns the line to print: today's
// tokens and the limits. Throws ToolError when the input is not a JSON object. A snapshot that
// cannot be saved is reported on `warnings`; the line is printed all the same.
std::string runStatusline(std::string_view input, const StatuslineOptions &options,
                          const Environment &environment, std::vector<std::string> &warnings);
