#include "limits/CodexLimits.h"

#include "base/Clock.h"
#include "base/JsonStructure.h"
#include "base/LogTail.h"

#include <simdjson.h>

#include <cmath>

namespace codex {

namespace ondemand = simdjson::ondemand;

namespace {

// A line is stamped when it is written, so a file last modified before the newest reading
// found so far cannot hold a newer one; the slack covers a coarse file-system clock.
constexpr std::int64_t modificationSlack = 120;
constexpr std::uint64_t tailBytesPerFile = 8 << 20;
constexpr std::int64_t paceLookBack = fiveHourMinutes * 60;

std::optional<double> readNumber(ondemand::object &object, std::string_view name) {
    double value = 0;
    if (object[name].get_double().get(value) || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<LimitObservation> readWindow(ondemand::object &limits, std::string_view slot,
                                           std::int64_t observedAt) {
    ondemand::object window;
    if (limits[slot].get_object().get(window))
        return std::nullopt;
    // Members are read in the order the writer uses, but on-demand lookups tolerate any order.
    const auto used = readNumber(window, "used_percent");
    const auto minutes = readNumber(window, "window_minutes");
    const auto resetsAt = readNumber(window, "resets_at");
    const auto resetsIn = readNumber(window, "resets_in_seconds");
    if (!used || !minutes || *minutes <= 0 || *used < 0)
        return std::nullopt;
    LimitObservation observation;
    observation.provider = Provider::codex;
    observation.windowMinutes = std::llround(*minutes);
    observation.usedPercent = *used;
    observation.observedAt = observedAt;
    observation.source = LimitSource::codexLog;
    if (resetsAt && *resetsAt > 0)
        observation.resetsAt = std::llround(*resetsAt);
    else if (resetsIn && *resetsIn >= 0)
        observation.resetsAt = observedAt + std::llround(*resetsIn);
    return observation;
}

} // namespace

std::vector<LimitObservation> parseRateLimits(std::string_view line) {
    if (!hasSoundJsonStructure(line))
        return {};
    const simdjson::padded_string padded(line);
    ondemand::parser parser;
    ondemand::document document;
    ondemand::object object, payload, limits;
    std::string_view text;
    if (parser.iterate(padded).get(document) || document.get_object().get(object) ||
        object["timestamp"].get_string().get(text))
        return {};
    const auto observedAt = parseTimestamp(text);
    if (!observedAt || object["type"].get_string().get(text) || text != "event_msg" ||
        object["payload"].get_object().get(payload) || payload["type"].get_string().get(text) ||
        text != "token_count" || payload["rate_limits"].get_object().get(limits))
        return {};
    std::vector<LimitObservation> windows;
    for (const std::string_view slot : {"primary", "secondary"}) {
        auto window = readWindow(limits, slot, *observedAt);
        if (!window)
            continue;
        // One figure per length: a second slot of the same length adds nothing new.
        bool known = false;
        for (const LimitObservation &other : windows)
            known = known || other.windowMinutes == window->windowMinutes;
        if (!known)
            windows.push_back(*window);
    }
    return windows;
}

LimitScan scanLimits(const LogLocations &locations, std::int64_t now) {
    constexpr std::int64_t lookBack = 31 * 86400;
    LimitScan scan;
    std::int64_t newest = INT64_MIN;
    for (const RecentFile &file : recentFiles(locations.codexFolders, ".jsonl", now - lookBack)) {
        if (newest != INT64_MIN && file.modifiedAt + modificationSlack < newest)
            break;
        std::int64_t fileNewest = INT64_MIN;
        forEachLineFromEnd(file.path, "\"rate_limits\"", tailBytesPerFile,
                           [&](std::string_view line) {
                               std::vector<LimitObservation> windows = parseRateLimits(line);
                               if (windows.empty())
                                   return true;
                               const std::int64_t at = windows.front().observedAt;
                               if (fileNewest == INT64_MIN)
                                   fileNewest = at;
                               // Earlier readings of the last few hours feed the pace; older
                               // ones are not worth reading every refresh.
                               if (at < fileNewest - paceLookBack)
                                   return false;
                               scan.seen.insert(scan.seen.end(), windows.begin(), windows.end());
                               if (at > newest) {
                                   newest = at;
                                   scan.latest = std::move(windows);
                               }
                               return true;
                           });
    }
    return scan;
}

} // namespace codex
