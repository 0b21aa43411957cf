#pragma once

#include "providers/UsageRecord.h"

#include <simdjson.h>

#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>

// Small readers over simdjson's on-demand objects, shared by the log parsers. Each answers
// false when a member exists but is not what a usage log would hold there.

// A token count: a missing or null member is 0; anything but a whole number in
// [0, maxTokensPerField] is refused.
inline bool readTokenCount(simdjson::ondemand::object &object, std::string_view name,
                           std::int64_t &count) {
    count = 0;
    simdjson::ondemand::value value;
    const auto error = object[name].get(value);
    if (error == simdjson::NO_SUCH_FIELD)
        return true;
    if (error)
        return false;
    simdjson::ondemand::json_type type;
    if (value.type().get(type))
        return false;
    if (type == simdjson::ondemand::json_type::null)
        return true;
    if (value.get_int64().get(count))
        return false;
    return count >= 0 && count <= maxTokensPerField;
}

// A string member, or false when it is missing or not a string.
inline bool readString(simdjson::ondemand::object &object, std::string_view name,
                       std::string_view &text) {
    return !object[name].get_string().get(text);
}

// The same two for parsed (DOM) documents, which the readers of whole files use.
inline bool readTokenCount(simdjson::dom::object object, std::string_view name,
                           std::int64_t &count) {
    count = 0;
    simdjson::dom::element value;
    const auto error = object.at_key(name).get(value);
    if (error == simdjson::NO_SUCH_FIELD || (!error && value.is_null()))
        return true;
    if (error || value.get_int64().get(count))
        return false;
    return count >= 0 && count <= maxTokensPerField;
}

inline bool readString(simdjson::dom::object object, std::string_view name,
                       std::string_view &text) {
    return !object.at_key(name).get_string().get(text);
}

// Seconds since the epoch of a time in milliseconds, rounded down.
constexpr std::int64_t secondsOfMilliseconds(std::int64_t milliseconds) {
    return milliseconds / 1000 - (milliseconds % 1000 < 0 ? 1 : 0);
}

// Seconds since the epoch of a number of seconds that may carry a fraction, rounded down;
// nullopt for a number no clock gives.
inline std::optional<std::int64_t> wholeSeconds(double seconds) {
    if (!std::isfinite(seconds) || std::fabs(seconds) > 1e15)
        return std::nullopt;
    return static_cast<std::int64_t>(std::floor(seconds));
}
