#pragma once

#include "providers/UsageRecord.h"

#include <simdjson.h>

#include <cstdint>
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
