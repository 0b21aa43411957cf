#include "providers/codex/CodexLog.h"

#include "base/Clock.h"
#include "providers/JsonFields.h"

#include <algorithm>

namespace codex {

namespace dom = simdjson::dom;

namespace {

// One of the two usage objects of a line. Members that are missing stay -1, so that an object
// without a member and one with it set to 0 are different identities.
struct TokenUsage {
    std::int64_t input = -1, cachedInput = -1, output = -1, reasoning = -1, total = -1;

    // total_tokens, or input + output where older writers leave it out.
    std::int64_t sum() const {
        if (total >= 0)
            return total;
        return saturatingAdd(std::max<std::int64_t>(input, 0), std::max<std::int64_t>(output, 0));
    }
};

bool readMember(dom::object object, std::string_view name, std::int64_t &value) {
    dom::element member;
    const auto error = object[name].get(member);
    if (error == simdjson::NO_SUCH_FIELD)
        return true; // stays -1
    if (error)
        return false;
    if (member.is_null())
        return true;
    std::int64_t count;
    if (member.get_int64().get(count) || count < 0 || count > maxTokensPerField)
        return false;
    value = count;
    return true;
}

// False when the object holds something that is not a token count.
bool readUsage(dom::object object, TokenUsage &usage) {
    return readMember(object, "input_tokens", usage.input) &&
           readMember(object, "cached_input_tokens", usage.cachedInput) &&
           readMember(object, "output_tokens", usage.output) &&
           readMember(object, "reasoning_output_tokens", usage.reasoning) &&
           readMember(object, "total_tokens", usage.total);
}

// The identity of a usage line: its usage objects, exactly, and which of the two it has.
std::uint64_t lineIdentity(const std::optional<TokenUsage> &total,
                           const std::optional<TokenUsage> &last) {
    std::string bytes;
    const auto add = [&bytes](const TokenUsage &usage) {
        for (const std::int64_t value :
             {usage.input, usage.cachedInput, usage.output, usage.reasoning, usage.total})
            bytes.append(reinterpret_cast<const char *>(&value), sizeof value);
    };
    if (total)
        add(*total);
    if (last)
        add(*last);
    return messageKey(Provider::codex, bytes, !total ? "only last" : last ? "last" : "");
}

// When the context window fills, Codex writes a line whose usage objects are all zero but
// total_tokens, the window's size: it reports no usage.
bool contextWindowLine(const TokenUsage &total, const std::optional<TokenUsage> &last) {
    const auto windowOnly = [](const TokenUsage &usage) {
        return usage.input == 0 && usage.output == 0 && usage.cachedInput <= 0 &&
               usage.reasoning <= 0 && usage.total > 0;
    };
    return windowOnly(total) && (!last || (windowOnly(*last) && last->total == total.total));
}

// Metadata of a spawned subagent names its parent thread here.
bool spawnedByParent(dom::object payload) {
    dom::object source, subagent, spawn;
    std::string_view parent;
    return !payload["source"].get_object().get(source) &&
           !source["subagent"].get_object().get(subagent) &&
           !subagent["thread_spawn"].get_object().get(spawn) &&
           readString(spawn, "parent_thread_id", parent) && !parent.empty();
}

} // namespace

Session Session::from(const LogSession &stored) {
    return {std::max<std::int64_t>(stored.numbers[0], 0),
            (stored.flags & 1) != 0,
            (stored.flags & 2) != 0,
            stored.numbers[1],
            stored.model,
            stored.project};
}

LogSession Session::stored() const {
    LogSession stored;
    stored.numbers[0] = lastTotal;
    stored.numbers[1] = spawnSecond;
    stored.model = model;
    stored.project = project;
    stored.flags = static_cast<std::uint8_t>((seenUsage ? 1 : 0) | (replaying ? 2 : 0));
    return stored;
}

bool mayMatter(std::string_view line) {
    return line.find("\"token_count\"") != std::string_view::npos ||
           line.find("\"session_meta\"") != std::string_view::npos ||
           line.find("\"turn_context\"") != std::string_view::npos;
}

namespace {

// The session's folder and the model in force, from a session_meta or turn_context payload.
void readContext(dom::object payload, ReadContext &context, Session &session) {
    std::string_view text;
    if (readString(payload, "cwd", text))
        session.project = context.names.add(text);
    if (readString(payload, "model", text))
        session.model = context.names.add(text);
}

// What a turn is made of: input_tokens includes the cached input and output_tokens the
// reasoning, so both are taken out to stand apart.
TokenSplit splitOf(const TokenUsage &usage) {
    TokenSplit split;
    const std::int64_t input = std::max<std::int64_t>(usage.input, 0);
    const std::int64_t output = std::max<std::int64_t>(usage.output, 0);
    split.cacheRead = std::min(std::max<std::int64_t>(usage.cachedInput, 0), input);
    split.input = input - split.cacheRead;
    split.reasoning = std::min(std::max<std::int64_t>(usage.reasoning, 0), output);
    split.output = output - split.reasoning;
    return split;
}

ParseOutcome parseLine(ReadContext &context, Session &session, dom::object object,
                       std::vector<UsageRecord> &records) {
    std::string_view type, text;
    if (!readString(object, "type", type))
        return ParseOutcome::ignored;
    std::optional<std::int64_t> time;
    if (readString(object, "timestamp", text))
        time = parseTimestamp(text);
    if (type == "session_meta" || type == "turn_context") {
        dom::object payload;
        if (object["payload"].get_object().get(payload))
            return ParseOutcome::ignored;
        if (type == "session_meta" && time && !session.seenUsage && spawnedByParent(payload)) {
            session.replaying = true;
            session.spawnSecond = *time;
        }
        readContext(payload, context, session);
        return ParseOutcome::ignored;
    }
    if (type != "event_msg")
        return ParseOutcome::ignored;

    dom::object payload, info, totalObject, lastObject;
    if (object["payload"].get_object().get(payload) || !readString(payload, "type", text) ||
        text != "token_count")
        return ParseOutcome::ignored;
    // A null info is a line that only reports rate limits.
    if (payload["info"].get_object().get(info))
        return ParseOutcome::ignored;
    std::optional<TokenUsage> total, last;
    if (!info["total_token_usage"].get_object().get(totalObject) &&
        !readUsage(totalObject, total.emplace()))
        return ParseOutcome::malformed;
    if (!info["last_token_usage"].get_object().get(lastObject) &&
        !readUsage(lastObject, last.emplace()))
        return ParseOutcome::malformed;
    if (!total && !last)
        return ParseOutcome::ignored;
    if (!time)
        return ParseOutcome::malformed;

    if (session.replaying && *time != session.spawnSecond)
        session.replaying = false;
    // A copy replayed into a spawned subagent counts nothing, but its total is the baseline.
    const bool copied = session.replaying;
    std::int64_t added;
    if (!total) {
        // Only the last turn: it is what the line adds, and there is no running total to move.
        added = last->sum();
    } else {
        const std::int64_t running = total->sum();
        if (contextWindowLine(*total, last)) {
            // The window filled: no usage, but the next turn goes on from the window's size.
            session.seenUsage = true;
            session.lastTotal = running;
            return ParseOutcome::usage;
        }
        if (!session.seenUsage || running < session.lastTotal)
            // The first line of a file may carry a total inherited from an earlier session, and
            // a falling total means the session started counting again: either way the line's
            // own turn is what is new.
            added = last ? last->sum() : running;
        else
            added = running - session.lastTotal;
        session.seenUsage = true;
        session.lastTotal = running;
    }
    if (copied)
        return ParseOutcome::usage;

    UsageRecord record;
    record.provider = Provider::codex;
    record.key = lineIdentity(total, last);
    record.tokens = added;
    record.split = fittedSplit(splitOf(last ? *last : *total), added);
    record.model = session.model;
    record.project = session.project;
    // The earliest copy of a line counts.
    record.rank = -*time;
    record.day = context.days.dayOf(*time);
    records.push_back(record);
    return ParseOutcome::usage;
}

} // namespace

ParseOutcome parseLine(ReadContext &context, LogSession &stored, dom::object line,
                       std::vector<UsageRecord> &records) {
    Session session = Session::from(stored);
    const ParseOutcome outcome = parseLine(context, session, line, records);
    stored = session.stored();
    return outcome;
}

} // namespace codex
