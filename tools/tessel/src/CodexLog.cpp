#include "CodexLog.h"

#include "Clock.h"
#include "JsonFields.h"

namespace codex {

namespace ondemand = simdjson::ondemand;

namespace {

// Names under which session metadata has been seen to point at the parent of a fork.
constexpr std::string_view forkMembers[] = {"forked_from_id", "forked_from", "parent_session_id"};

bool namesParent(ondemand::object &payload) {
    for (const std::string_view member : forkMembers) {
        ondemand::value value;
        if (payload[member].get(value))
            continue;
        std::string_view text;
        if (!value.get_string().get(text) && !text.empty())
            return true;
        ondemand::object object;
        if (!value.get_object().get(object))
            return true;
    }
    return false;
}

} // namespace

bool mayMatter(std::string_view line) {
    return line.find("\"token_count\"") != std::string_view::npos ||
           line.find("\"session_meta\"") != std::string_view::npos;
}

std::optional<UsageRecord> parseLine(ondemand::parser &parser, LocalDays &days, Session &session,
                                     std::string_view line, size_t capacity, LineKind &kind) {
    kind = LineKind::ignored;
    ondemand::document document;
    ondemand::object object;
    if (parser.iterate(line.data(), line.size(), capacity).get(document) ||
        document.get_object().get(object)) {
        kind = LineKind::malformed;
        return std::nullopt;
    }
    std::string_view type;
    if (!readString(object, "type", type))
        return std::nullopt;
    if (type == "session_meta") {
        ondemand::object payload;
        if (!object["payload"].get_object().get(payload) && !session.seenUsage &&
            namesParent(payload))
            session.forked = true;
        return std::nullopt;
    }
    if (type != "event_msg")
        return std::nullopt;

    std::string_view text;
    std::optional<std::int64_t> time;
    if (readString(object, "timestamp", text))
        time = parseTimestamp(text);
    ondemand::object payload, info, totals;
    if (object["payload"].get_object().get(payload) || !readString(payload, "type", text) ||
        text != "token_count")
        return std::nullopt;
    // A null info is a line that only reports rate limits.
    if (payload["info"].get_object().get(info) ||
        info["total_token_usage"].get_object().get(totals))
        return std::nullopt;
    std::int64_t total, input, output;
    if (!readTokenCount(totals, "total_tokens", total) ||
        !readTokenCount(totals, "input_tokens", input) ||
        !readTokenCount(totals, "output_tokens", output) || !time) {
        kind = LineKind::malformed;
        return std::nullopt;
    }
    if (total == 0)
        total = input + output; // older logs without total_tokens

    kind = LineKind::usage;
    std::int64_t increase;
    if (!session.seenUsage)
        increase = session.forked ? 0 : total;
    else
        increase = total > session.lastTotal ? total - session.lastTotal : 0;
    session.seenUsage = true;
    // A total below the last one (a replayed older line) must not make the next line count
    // the same tokens again, so the running total never goes back.
    if (total > session.lastTotal)
        session.lastTotal = total;
    if (increase <= 0)
        return std::nullopt;
    UsageRecord record;
    record.provider = Provider::codex;
    record.tokens = increase;
    record.rank = increase;
    record.day = days.dayOf(*time);
    return record;
}

} // namespace codex
