#include "ClaudeLog.h"

#include "Clock.h"
#include "JsonFields.h"

namespace claude {

namespace ondemand = simdjson::ondemand;

ParsedLine parseLine(ondemand::parser &parser, LocalDays &days, std::string_view line,
                     size_t capacity) {
    ParsedLine parsed;
    ondemand::document document;
    ondemand::object object;
    if (parser.iterate(line.data(), line.size(), capacity).get(document) ||
        document.get_object().get(object)) {
        parsed.kind = LineKind::malformed;
        return parsed;
    }
    std::string_view type;
    if (!readString(object, "type", type) || type != "assistant")
        return parsed;

    ondemand::object message;
    if (object["message"].get_object().get(message))
        return parsed;
    std::string_view text;
    // Copied: on-demand strings live only until the next member is read.
    std::string messageId;
    if (readString(message, "id", text))
        messageId = text;
    if (readString(message, "model", text) && text == "<synthetic>")
        return parsed;
    ondemand::object usage;
    if (message["usage"].get_object().get(usage))
        return parsed;
    std::int64_t input, output, cacheCreation, cacheRead;
    if (!readTokenCount(usage, "input_tokens", input) ||
        !readTokenCount(usage, "output_tokens", output) ||
        !readTokenCount(usage, "cache_creation_input_tokens", cacheCreation) ||
        !readTokenCount(usage, "cache_read_input_tokens", cacheRead)) {
        parsed.kind = LineKind::malformed;
        return parsed;
    }

    std::string requestId;
    if (readString(object, "requestId", text))
        requestId = text;
    std::optional<std::int64_t> time;
    if (readString(object, "timestamp", text))
        time = parseTimestamp(text);
    if (!time) {
        parsed.kind = LineKind::malformed;
        return parsed;
    }

    parsed.kind = LineKind::usage;
    parsed.record.provider = Provider::claude;
    parsed.record.tokens = input + output + cacheCreation + cacheRead;
    parsed.record.rank = output;
    parsed.record.day = days.dayOf(*time);
    parsed.record.key = messageId.empty() ? 0 : messageKey(Provider::claude, messageId, requestId);
    return parsed;
}

} // namespace claude
