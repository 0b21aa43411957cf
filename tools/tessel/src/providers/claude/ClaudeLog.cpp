#include "providers/claude/ClaudeLog.h"

#include "base/Clock.h"
#include "providers/JsonFields.h"

#include <algorithm>
#include <limits>

namespace claude {

namespace dom = simdjson::dom;

namespace {

// Joined to message.id for the identity shared by a message's sidechain copies.
constexpr std::string_view sidechainTag = "\x01sidechain";

// Cache creation: the flat member, else the sum of the newer per-lifetime object; and of it
// the part written for an hour, where the object says.
bool readCacheCreation(dom::object usage, std::int64_t &tokens, std::int64_t &longLived) {
    tokens = 0;
    longLived = 0;
    const bool hasFlat = usage["cache_creation_input_tokens"].error() != simdjson::NO_SUCH_FIELD;
    if (hasFlat && !readTokenCount(usage, "cache_creation_input_tokens", tokens))
        return false;
    dom::object split;
    if (usage["cache_creation"].get_object().get(split))
        return true;
    std::int64_t shortLived;
    const bool readable = readTokenCount(split, "ephemeral_5m_input_tokens", shortLived) &&
                          readTokenCount(split, "ephemeral_1h_input_tokens", longLived);
    if (hasFlat) {
        // The flat figure decides; the object only tells how much of it lives an hour.
        longLived = readable ? std::min(longLived, tokens) : 0;
        return true;
    }
    if (!readable)
        return false;
    tokens = shortLived + longLived;
    return true;
}

// Reads an assistant line (the log line itself, or the one a progress line carries).
ParseOutcome parseAssistant(dom::object object, bool sidechainAround,
                            std::string_view projectAround, ReadContext &context,
                            std::vector<UsageRecord> &records) {
    bool sidechain = sidechainAround;
    bool flag;
    if (!object["isSidechain"].get_bool().get(flag))
        sidechain = flag;
    std::string_view project = projectAround, text;
    if (readString(object, "cwd", text))
        project = text;
    dom::object message;
    if (object["message"].get_object().get(message))
        return ParseOutcome::ignored;
    std::string_view messageId;
    readString(message, "id", messageId);
    std::string_view model;
    if (readString(message, "model", model) && model == "<synthetic>")
        return ParseOutcome::ignored;
    dom::object usage;
    if (message["usage"].get_object().get(usage))
        return ParseOutcome::ignored;
    TokenSplit split;
    if (!readTokenCount(usage, "input_tokens", split.input) ||
        !readTokenCount(usage, "output_tokens", split.output) ||
        !readCacheCreation(usage, split.cacheWrite, split.cacheWriteLong) ||
        !readTokenCount(usage, "cache_read_input_tokens", split.cacheRead))
        return ParseOutcome::malformed;

    std::string_view requestId;
    readString(object, "requestId", requestId);
    std::optional<std::int64_t> time;
    if (readString(object, "timestamp", text))
        time = parseTimestamp(text);
    if (!time)
        return ParseOutcome::malformed;

    UsageRecord record;
    record.provider = Provider::claude;
    record.split = split;
    record.tokens = split.sum();
    record.rank = split.output;
    record.day = context.days.dayOf(*time);
    record.model = context.names.add(model);
    record.project = context.names.add(project);
    if (messageId.empty()) {
        records.push_back(record);
        return ParseOutcome::usage;
    }
    const std::uint64_t sidechainKey = messageKey(Provider::claude, messageId, sidechainTag);
    if (sidechain) {
        record.key = sidechainKey;
        records.push_back(record);
        return ParseOutcome::usage;
    }
    record.key = messageKey(Provider::claude, messageId, requestId);
    records.push_back(record);
    UsageRecord mark = record;
    mark.key = sidechainKey;
    mark.tokens = 0;
    mark.split = {};
    mark.rank = std::numeric_limits<std::int64_t>::max();
    mark.mark = true;
    records.push_back(mark);
    return ParseOutcome::usage;
}

} // namespace

ParseOutcome parseLine(ReadContext &context, LogSession &, dom::object object,
                       std::vector<UsageRecord> &records) {
    std::string_view type;
    if (!readString(object, "type", type))
        return ParseOutcome::ignored;
    if (type == "assistant")
        return parseAssistant(object, false, {}, context, records);
    if (type == "progress") {
        // A subagent's line relayed into its parent's file: the only copy once the
        // subagent's own file is gone.
        bool sidechain = false;
        if (object["isSidechain"].get_bool().get(sidechain))
            sidechain = false;
        std::string_view project;
        readString(object, "cwd", project);
        dom::object data, inner;
        if (!object["data"].get_object().get(data) && !data["message"].get_object().get(inner)) {
            std::string_view innerType;
            // Only an assistant line counts; one that does not say what it is may be one.
            if (!readString(inner, "type", innerType) || innerType == "assistant")
                return parseAssistant(inner, sidechain, project, context, records);
        }
    }
    return ParseOutcome::ignored;
}

} // namespace claude
