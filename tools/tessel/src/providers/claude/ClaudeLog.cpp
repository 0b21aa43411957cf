#include "providers/claude/ClaudeLog.h"

#include "base/Clock.h"
#include "providers/JsonFields.h"

#include <limits>

namespace claude {

namespace ondemand = simdjson::ondemand;

namespace {

constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
// Joined to message.id for the identity shared by a message's sidechain copies.
constexpr std::string_view sidechainTag = "\x01sidechain";

// Cache creation: the flat member, else the sum of the newer per-lifetime object.
bool readCacheCreation(ondemand::object &usage, std::int64_t &tokens) {
    ondemand::value flat;
    if (usage["cache_creation_input_tokens"].get(flat) != simdjson::NO_SUCH_FIELD)
        return readTokenCount(usage, "cache_creation_input_tokens", tokens);
    tokens = 0;
    ondemand::object split;
    if (usage["cache_creation"].get_object().get(split))
        return true;
    std::int64_t shortLived, longLived;
    if (!readTokenCount(split, "ephemeral_5m_input_tokens", shortLived) ||
        !readTokenCount(split, "ephemeral_1h_input_tokens", longLived))
        return false;
    tokens = shortLived + longLived;
    return true;
}

// Reads an assistant line (the log line itself, or the one a progress line carries).
void parseAssistant(ondemand::object &object, bool sidechainAround, LocalDays &days,
                    ParsedLine &parsed) {
    bool sidechain = sidechainAround;
    bool flag;
    if (!object["isSidechain"].get_bool().get(flag))
        sidechain = flag;
    ondemand::object message;
    if (object["message"].get_object().get(message))
        return;
    std::string_view text;
    // Copied: on-demand strings live only until the next member is read.
    std::string messageId;
    if (readString(message, "id", text))
        messageId = text;
    if (readString(message, "model", text) && text == "<synthetic>")
        return;
    ondemand::object usage;
    if (message["usage"].get_object().get(usage))
        return;
    std::int64_t input, output, cacheCreation, cacheRead;
    if (!readTokenCount(usage, "input_tokens", input) ||
        !readTokenCount(usage, "output_tokens", output) ||
        !readCacheCreation(usage, cacheCreation) ||
        !readTokenCount(usage, "cache_read_input_tokens", cacheRead)) {
        parsed.kind = LineKind::malformed;
        return;
    }

    std::string requestId;
    if (readString(object, "requestId", text))
        requestId = text;
    std::optional<std::int64_t> time;
    if (readString(object, "timestamp", text))
        time = parseTimestamp(text);
    if (!time) {
        parsed.kind = LineKind::malformed;
        return;
    }

    parsed.kind = LineKind::usage;
    UsageRecord &record = parsed.record;
    record.provider = Provider::claude;
    record.tokens = input + output + cacheCreation + cacheRead;
    record.rank = output;
    record.day = days.dayOf(*time);
    if (messageId.empty())
        return;
    const std::uint64_t sidechainKey = messageKey(Provider::claude, messageId, sidechainTag);
    if (sidechain) {
        record.key = sidechainKey;
        return;
    }
    record.key = messageKey(Provider::claude, messageId, requestId);
    UsageRecord mark = record;
    mark.key = sidechainKey;
    mark.tokens = 0;
    mark.rank = std::numeric_limits<std::int64_t>::max();
    mark.mark = true;
    parsed.mainChainMark = mark;
}

} // namespace

ParsedLine parseLine(ondemand::parser &parser, LocalDays &days, std::string_view line,
                     size_t capacity) {
    ParsedLine parsed;
    if (line.starts_with(byteOrderMark)) {
        line.remove_prefix(byteOrderMark.size());
        capacity -= byteOrderMark.size();
    }
    ondemand::document document;
    ondemand::object object;
    if (parser.iterate(line.data(), line.size(), capacity).get(document) ||
        document.get_object().get(object)) {
        parsed.kind = LineKind::malformed;
        return parsed;
    }
    std::string_view type;
    if (!readString(object, "type", type))
        return parsed;
    if (type == "assistant") {
        parseAssistant(object, false, days, parsed);
    } else if (type == "progress") {
        // A subagent's line relayed into its parent's file: the only copy once the
        // subagent's own file is gone.
        bool sidechain = false;
        if (object["isSidechain"].get_bool().get(sidechain))
            sidechain = false;
        ondemand::object data, inner;
        if (!object["data"].get_object().get(data) && !data["message"].get_object().get(inner)) {
            std::string_view innerType;
            // Only an assistant line counts; one that does not say what it is may be one.
            if (!readString(inner, "type", innerType) || innerType == "assistant")
                parseAssistant(inner, sidechain, days, parsed);
        }
    }
    return parsed;
}

} // namespace claude
