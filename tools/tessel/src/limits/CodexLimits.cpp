#include "limits/CodexLimits.h"

#include "base/Clock.h"
#include "base/JsonStructure.h"
#include "limits/LimitRanges.h"

#include <simdjson.h>

#include <cmath>

namespace codex {

namespace ondemand = simdjson::ondemand;

namespace {

// The account's own limits; every other id is a bucket of its own.
constexpr std::string_view accountLimitId = "codex";

// A member that is a number; nullopt when it is missing, null or of another type.
std::optional<double> readNumber(ondemand::object &object, std::string_view name) {
    double value = 0;
    if (object[name].get_double().get(value))
        return std::nullopt;
    return value;
}

std::optional<LimitObservation> readWindow(ondemand::object &limits, std::string_view slot,
                                           RawWindow raw, std::vector<std::string> &warnings) {
    ondemand::object window;
    if (limits[slot].get_object().get(window))
        return std::nullopt;
    // On-demand lookups tolerate members in any order.
    const auto used = readNumber(window, "used_percent");
    const auto minutes = readNumber(window, "window_minutes");
    if (!used || !minutes)
        return std::nullopt;
    raw.usedPercent = *used;
    raw.windowMinutes = *minutes;
    // A reset of 0 or less means none was given.
    if (const auto resetsAt = readNumber(window, "resets_at"); resetsAt && *resetsAt > 0)
        raw.resetsAt = resetsAt;
    else
        raw.resetsInSeconds = readNumber(window, "resets_in_seconds");
    return checkedWindow(raw, warnings);
}

} // namespace

std::vector<LimitObservation> parseRateLimits(std::string_view line,
                                              std::vector<std::string> &warnings) {
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
    RawWindow raw;
    raw.provider = Provider::codex;
    raw.source = LimitSource::codexLog;
    raw.observedAt = *observedAt;
    if (!limits["limit_id"].get_string().get(text) && text != accountLimitId) {
        if (!isSafeBucketId(text)) {
            warnings.emplace_back("codex-log: a limit id that is not a plain name; the line is "
                                  "left out");
            return {};
        }
        raw.bucket = std::string(text);
        std::string_view name;
        raw.bucketName =
            bucketDisplayName(limits["limit_name"].get_string().get(name) ? "" : name, text);
    }
    std::vector<LimitObservation> windows;
    for (const std::string_view slot : {"primary", "secondary"}) {
        auto window = readWindow(limits, slot, raw, warnings);
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

} // namespace codex
