#include "limits/LimitsReport.h"

#include "base/Clock.h"
#include "base/Errors.h"
#include "limits/ClaudeLimits.h"
#include "limits/CodexLimits.h"
#include "limits/LimitNumbers.h"
#include "limits/LimitsHistory.h"
#include "providers/LogLocations.h"

#include <algorithm>
#include <ctime>
#include <map>

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

LimitsReport buildLimitsReport(const std::vector<LimitObservation> &readings, std::int64_t now) {
    std::map<std::pair<Provider, std::int64_t>, const LimitObservation *> newest;
    for (const LimitObservation &reading : readings) {
        const LimitObservation *&best = newest[{reading.provider, reading.windowMinutes}];
        if (!best || reading.observedAt > best->observedAt ||
            (reading.observedAt == best->observedAt && reading.source < best->source))
            best = &reading;
    }
    LimitsReport report;
    for (const auto &[key, reading] : newest) {
        LimitEntry entry;
        entry.observation = *reading;
        if (reading->resetsAt && *reading->resetsAt <= now)
            entry.status = LimitEntry::Status::reset;
        else if (reading->usedPercent >= 100)
            entry.status = LimitEntry::Status::reached;
        else
            entry.pace = projectPace(*reading, readings);
        report.windows.push_back(entry);
    }
    return report;
}

LimitsReport gatherLimits(const Environment &environment, std::vector<std::string> &warnings) {
    const std::int64_t now = currentTime(environment);
    const LogLocations locations = LogLocations::fromEnvironment(environment);
    const std::string folder = limitsStateFolder(environment);

    codex::LimitScan codexScan = codex::scanLimits(locations, now);
    std::vector<LimitObservation> fresh = codexScan.latest;
    std::vector<LimitObservation> readings = codexScan.seen;
    const auto addAll = [&](const std::vector<LimitObservation> &more) {
        fresh.insert(fresh.end(), more.begin(), more.end());
    };
    addAll(claude::readSnapshot(folder + "/claude-statusline.json"));
    for (const std::string &file : claude::configFiles(environment))
        addAll(claude::readUsageCache(file));
    if (const auto reached = claude::scanLimitReached(locations, now))
        fresh.push_back(*reached);

    const std::string historyPath = folder + "/limits-history";
    std::vector<LimitObservation> history;
    try {
        history = readLimitHistory(historyPath);
    } catch (const FileError &error) {
        warnings.push_back(error.what());
    }
    std::vector<LimitObservation> toKeep;
    for (const LimitObservation &reading : fresh)
        if (reading.source == LimitSource::codexLog ||
            reading.source == LimitSource::claudeStatusline)
            toKeep.push_back(reading);
    toKeep.insert(toKeep.end(), codexScan.seen.begin(), codexScan.seen.end());
    const std::vector<LimitObservation> merged = mergeLimitHistory(history, toKeep, now);
    if (merged != history) {
        try {
            writeLimitHistory(historyPath, merged);
        } catch (const FileError &error) {
            warnings.push_back(error.what());
        }
    }
    readings.insert(readings.end(), history.begin(), history.end());
    readings.insert(readings.end(), fresh.begin(), fresh.end());
    return buildLimitsReport(readings, now);
}

std::string renderLimitsJson(const LimitsReport &report) {
    std::string json = "{\"windows\":[";
    bool first = true;
    for (const LimitEntry &entry : report.windows) {
        const LimitObservation &reading = entry.observation;
        json += std::string(first ? "" : ",") + "{\"provider\":\"" +
                std::string(providerId(reading.provider)) +
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
        json += "}";
        first = false;
    }
    return json + "]}\n";
}

std::string renderLimitsText(const LimitsReport &report, std::int64_t now) {
    if (report.windows.empty())
        return "no limits known\n";
    std::string text;
    for (const LimitEntry &entry : report.windows) {
        const LimitObservation &reading = entry.observation;
        text += providerName(reading.provider) + " " + windowLabel(reading.windowMinutes) + ": ";
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
