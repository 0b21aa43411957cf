#include "limits/LimitsReport.h"

#include "base/Clock.h"
#include "base/Errors.h"
#include "limits/ClaudeLimits.h"
#include "limits/CodexLimits.h"
#include "limits/LimitLogScan.h"
#include "limits/LimitNumbers.h"
#include "limits/LimitRanges.h"
#include "limits/LimitsHistory.h"
#include "limits/LimitsScanState.h"
#include "providers/LogLocations.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <tuple>

namespace {

std::string localTime(std::int64_t seconds) {
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm local{};
    ::localtime_r(&time, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
    return text;
}

std::string providerName(Provider provider) {
    return std::string(providerDisplayName(provider));
}

std::string_view statusId(LimitEntry::Status status) {
    switch (status) {
    case LimitEntry::Status::current:
        return "current";
    case LimitEntry::Status::reached:
        return "reached";
    case LimitEntry::Status::reset:
        return "reset";
    }
    return "current";
}

std::string optionalTime(const std::optional<std::int64_t> &seconds) {
    return seconds ? std::to_string(*seconds) : "null";
}

std::string jsonString(std::string_view text) {
    std::string json = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
            json += escaped;
        } else {
            json += c;
        }
    }
    return json + "\"";
}

// A line stamped more than a day after `now` (a wrong clock) would stay the newest of its
// window for good, hiding every true line after it: it is left out with a warning.
std::vector<LimitObservation> notAhead(std::vector<LimitObservation> windows, std::int64_t now,
                                       std::vector<std::string> &warnings) {
    if (!windows.empty() && windows.front().observedAt > now + resetSlack) {
        warnings.push_back("a limit line stamped " + localTime(windows.front().observedAt) +
                           ", more than a day ahead of the clock, is left out");
        windows.clear();
    }
    return windows;
}

// Codex: the newest token_count line of each window across all session files of the last 31
// days (the longest window is 30), and every earlier reading of the last five hours before
// each file's newest, for the pace.
LimitLineReader codexReader(std::int64_t now) {
    return {"\"rate_limits\"", 8 << 20, fiveHourMinutes * 60,
            [now](std::string_view line, std::vector<std::string> &warnings) {
                return notAhead(codex::parseRateLimits(line, warnings), now, warnings);
            }};
}

// Claude Code: the newest limit-reached line of each window in the logs of the last eight
// days (a weekly limit stays current for seven). The line ends a session's work, so it sits
// near the end of its file.
LimitLineReader claudeReader(std::int64_t now) {
    return {"isApiErrorMessage", 64 << 10, 366 * 86400,
            [now](std::string_view line, std::vector<std::string> &warnings) {
                std::vector<LimitObservation> windows;
                if (auto reached = claude::parseLimitReachedLine(line, warnings))
                    windows.push_back(std::move(*reached));
                return notAhead(std::move(windows), now, warnings);
            }};
}

} // namespace

std::string windowLabel(std::int64_t minutes) {
    if (minutes % 1440 == 0)
        return std::to_string(minutes / 1440) + " d";
    if (minutes % 60 == 0)
        return std::to_string(minutes / 60) + " h";
    return std::to_string(minutes) + " min";
}

std::string durationText(std::int64_t seconds) {
    seconds = std::max<std::int64_t>(seconds, 0);
    if (seconds < 60)
        return std::to_string(seconds) + " s";
    const std::int64_t minutes = seconds / 60;
    if (minutes < 60)
        return std::to_string(minutes) + " min";
    // Built by appending: GCC 12 warns falsely about `" " + std::to_string(...)` in Release.
    const std::int64_t hours = minutes / 60;
    std::string text;
    if (hours < 24) {
        text = std::to_string(hours) + " h";
        if (minutes % 60)
            text.append(" ").append(std::to_string(minutes % 60)).append(" min");
    } else {
        text = std::to_string(hours / 24) + " d";
        if (hours % 24)
            text.append(" ").append(std::to_string(hours % 24)).append(" h");
    }
    return text;
}

LimitsReport buildLimitsReport(const std::vector<LimitObservation> &readings, std::int64_t now,
                               std::vector<std::string> &warnings) {
    std::vector<const LimitObservation *> sane;
    for (const LimitObservation &reading : readings) {
        const std::string where =
            describeWindow(reading.source, reading.windowMinutes, reading.bucket);
        if (const std::string problem = rangeProblem(reading); !problem.empty())
            warnings.push_back(where + ": " + problem + "; the reading is left out");
        else if (reading.observedAt > now + resetSlack)
            warnings.push_back(where + ": read at " + localTime(reading.observedAt) +
                               ", more than a day ahead of the clock; the reading is left out");
        else
            sane.push_back(&reading);
    }
    using Key = std::tuple<Provider, std::string, std::int64_t>;
    std::map<Key, const LimitObservation *> newest;
    for (const LimitObservation *reading : sane) {
        const LimitObservation *&best =
            newest[{reading->provider, reading->bucket, reading->windowMinutes}];
        if (!best || reading->observedAt > best->observedAt ||
            (reading->observedAt == best->observedAt && reading->source < best->source))
            best = reading;
    }
    std::vector<LimitObservation> usable;
    for (const LimitObservation *reading : sane)
        usable.push_back(*reading);
    LimitsReport report;
    for (const auto &[key, found] : newest) {
        const LimitObservation *current = found;
        for (const LimitObservation *reading : sane)
            if (reading->sameWindowAs(*current) && reading->usedPercent > current->usedPercent)
                current = reading;
        LimitEntry entry;
        entry.observation = *current;
        // Readings kept in the history know a bucket by its id only.
        for (const LimitObservation *reading : sane)
            if (!current->bucket.empty() && reading->provider == current->provider &&
                reading->bucket == current->bucket && reading->bucketName != reading->bucket)
                entry.observation.bucketName = reading->bucketName;
        if (entry.observation.bucketName.empty())
            entry.observation.bucketName = entry.observation.bucket;
        if (current->resetsAt && *current->resetsAt <= now)
            entry.status = LimitEntry::Status::reset;
        else if (current->usedPercent >= 100)
            entry.status = LimitEntry::Status::reached;
        else
            entry.pace = projectPace(*current, usable);
        report.windows.push_back(entry);
    }
    return report;
}

LimitsReport gatherLimits(const Environment &environment, std::vector<std::string> &warnings) {
    const std::int64_t now = currentTime(environment);
    const LogLocations locations = LogLocations::fromEnvironment(environment);
    const std::string folder = limitsStateFolder(environment);

    const std::string scanPath = folder + "/limits-scan";
    LimitsScanState state = readScanState(scanPath, warnings);
    const LimitsScanState before = state;
    const LimitLogScan codexScan = scanLimitLines(
        codexReader(now), recentFiles(locations.codexFolders, ".jsonl", now - 31 * 86400),
        state.of(LimitLogKind::codexRateLimits), warnings);
    const LimitLogScan claudeScan = scanLimitLines(
        claudeReader(now), recentFiles(locations.claudeProjectFolders, ".jsonl", now - 8 * 86400),
        state.of(LimitLogKind::claudeLimitReached), warnings);
    if (state != before) {
        try {
            writeScanState(scanPath, state);
        } catch (const FileError &error) {
            warnings.push_back(error.what());
        }
    }

    std::vector<LimitObservation> fresh = codexScan.newest;
    const auto addAll = [&](const std::vector<LimitObservation> &more) {
        fresh.insert(fresh.end(), more.begin(), more.end());
    };
    addAll(claude::readSnapshot(folder + "/claude-statusline.json"));
    for (const std::string &file : claude::configFiles(environment))
        addAll(claude::readUsageCache(file, warnings));
    addAll(claudeScan.newest);

    const std::string historyPath = folder + "/limits-history";
    std::vector<LimitObservation> history;
    try {
        history = readLimitHistory(historyPath);
    } catch (const FileError &error) {
        warnings.push_back(error.what());
    }
    std::vector<LimitObservation> toKeep;
    for (const LimitObservation &reading : fresh)
        if ((reading.source == LimitSource::codexLog ||
             reading.source == LimitSource::claudeStatusline) &&
            rangeProblem(reading).empty() && reading.observedAt <= now + resetSlack)
            toKeep.push_back(reading);
    for (const LimitObservation &reading : codexScan.seen)
        if (reading.observedAt <= now + resetSlack)
            toKeep.push_back(reading);
    const std::vector<LimitObservation> merged = mergeLimitHistory(history, toKeep, now);
    if (merged != history) {
        try {
            writeLimitHistory(historyPath, merged);
        } catch (const FileError &error) {
            warnings.push_back(error.what());
        }
    }
    std::vector<LimitObservation> readings = codexScan.seen;
    readings.insert(readings.end(), history.begin(), history.end());
    readings.insert(readings.end(), fresh.begin(), fresh.end());
    return buildLimitsReport(readings, now, warnings);
}

std::string renderLimitsJson(const LimitsReport &report) {
    std::string windows, buckets;
    for (const LimitEntry &entry : report.windows) {
        const LimitObservation &reading = entry.observation;
        std::string &list = reading.bucket.empty() ? windows : buckets;
        std::string json = "{";
        if (!reading.bucket.empty())
            json += "\"limit_id\":" + jsonString(reading.bucket) +
                    ",\"limit_name\":" + jsonString(reading.bucketName) + ",";
        json += "\"provider\":\"" + std::string(providerId(reading.provider)) +
                "\",\"window_minutes\":" + std::to_string(reading.windowMinutes) +
                ",\"status\":\"" + std::string(statusId(entry.status)) + "\",\"used_percent\":" +
                (entry.status == LimitEntry::Status::reset ? "null"
                                                           : formatNumber(reading.usedPercent)) +
                ",\"resets_at\":" + optionalTime(reading.resetsAt) +
                ",\"observed_at\":" + std::to_string(reading.observedAt) + ",\"source\":\"" +
                std::string(limitSourceId(reading.source)) + "\",\"pace\":";
        if (entry.pace)
            json += "{\"projected_percent\":" + formatNumber(entry.pace->projectedPercent) +
                    ",\"reached_at\":" + optionalTime(entry.pace->reachedAt) + "}";
        else
            json += "null";
        list += (list.empty() ? "" : ",") + json + "}";
    }
    // The account's windows keep the shape older readers know; buckets come in a member of
    // their own, which those readers skip, so a bucket never shows under the account's name.
    return "{\"windows\":[" + windows + "]" +
           (buckets.empty() ? "" : ",\"buckets\":[" + buckets + "]") + "}\n";
}

std::string renderLimitsText(const LimitsReport &report, std::int64_t now) {
    if (report.windows.empty())
        return "no limits known\n";
    std::string text;
    for (const LimitEntry &entry : report.windows) {
        const LimitObservation &reading = entry.observation;
        text += providerName(reading.provider) + " ";
        if (!reading.bucket.empty())
            text += reading.bucketName + " ";
        text += windowLabel(reading.windowMinutes) + ": ";
        const std::string resets = reading.resetsAt
                                       ? localTime(*reading.resetsAt) + " (in " +
                                             durationText(*reading.resetsAt - now) + ")"
                                       : "an unknown time";
        switch (entry.status) {
        case LimitEntry::Status::reset:
            text += "reset, no new figure yet";
            break;
        case LimitEntry::Status::reached:
            text += "reached until " + resets;
            break;
        case LimitEntry::Status::current:
            text += formatNumber(reading.usedPercent) + "%, resets " + resets;
            break;
        }
        text += "; seen " + durationText(now - reading.observedAt) + " ago";
        if (reading.source == LimitSource::claudeCache)
            text += " (cached figure)";
        text += "\n";
        if (entry.pace) {
            text += "  pace: " + formatNumber(entry.pace->projectedPercent) + "% by the reset";
            if (entry.pace->reachedAt)
                text += ", the limit is reached at " + localTime(*entry.pace->reachedAt) + " (in " +
                        durationText(*entry.pace->reachedAt - now) + ")";
            text += "\n";
        }
    }
    return text;
}
