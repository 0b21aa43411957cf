#include "providers/kimi/KimiLog.h"

#include "base/Clock.h"
#include "providers/JsonFields.h"

namespace kimi {

namespace dom = simdjson::dom;

namespace {

// Seconds since the epoch of the record's time: seconds with a fraction as Kimi CLI writes it,
// milliseconds where a number is that large, or an ISO-8601 text.
std::optional<std::int64_t> recordTime(dom::object object) {
    dom::element value;
    if (object["timestamp"].get(value))
        return std::nullopt;
    double seconds;
    if (value.is_number() && !value.get_double().get(seconds))
        return wholeSeconds(seconds > 1e11 ? seconds / 1000 : seconds);
    std::string_view text;
    if (!value.get_string().get(text))
        return parseTimestamp(text);
    return std::nullopt;
}

} // namespace

ParseOutcome parseLine(ReadContext &context, LogSession &, dom::object object,
                       std::vector<UsageRecord> &records) {
    dom::object message, payload, usage;
    std::string_view text;
    if (object["message"].get_object().get(message) ||
        (readString(message, "type", text) && text != "StatusUpdate") ||
        message["payload"].get_object().get(payload))
        return ParseOutcome::ignored;
    dom::element usageValue;
    if (payload["token_usage"].get(usageValue) || usageValue.is_null())
        return ParseOutcome::ignored;
    if (usageValue.get_object().get(usage))
        return ParseOutcome::malformed;
    TokenSplit split;
    if (!readTokenCount(usage, "input_other", split.input) ||
        !readTokenCount(usage, "output", split.output) ||
        !readTokenCount(usage, "input_cache_read", split.cacheRead) ||
        !readTokenCount(usage, "input_cache_creation", split.cacheWrite))
        return ParseOutcome::malformed;
    std::string messageId;
    if (readString(payload, "message_id", text))
        messageId = text;
    const std::optional<std::int64_t> time = recordTime(object);
    if (!time)
        return ParseOutcome::malformed;

    UsageRecord record;
    record.provider = Provider::kimi;
    record.split = split;
    record.tokens = split.sum();
    record.rank = record.tokens;
    record.day = context.days.dayOf(*time);
    if (!messageId.empty()) {
        record.key = messageKey(Provider::kimi, messageId);
    } else {
        std::string figures;
        for (const std::int64_t value :
             {*time, split.input, split.output, split.cacheRead, split.cacheWrite})
            figures.append(reinterpret_cast<const char *>(&value), sizeof value);
        record.key = messageKey(Provider::kimi, "\x01step", figures);
    }
    records.push_back(record);
    return ParseOutcome::usage;
}

} // namespace kimi
