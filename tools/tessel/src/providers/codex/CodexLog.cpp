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

// A token count, or null (which leaves it -1); false for anything else.
bool readFigure(dom::element member, std::int64_t &value) {
    if (member.is_null())
        return true;
    std::int64_t count;
    if (member.get_int64().get(count) || count < 0 || count > maxTokensPerField)
        return false;
    value = count;
    return true;
}

// False when the object holds something that is not a token count. One pass over its members
// (every usage line has two of these objects); of a name given twice the first counts.
bool readUsage(dom::object object, TokenUsage &usage) {
    unsigned seen = 0;
    for (const dom::key_value_pair member : object) {
        const std::string_view name = member.key;
        std::int64_t *figure = nullptr;
        unsigned bit = 0;
        if (name == "input_tokens")
            figure = &usage.input, bit = 1;
        else if (name == "cached_input_tokens")
            figure = &usage.cachedInput, bit = 2;
        else if (name == "output_tokens")
            figure = &usage.output, bit = 4;
        else if (name == "reasoning_output_tokens")
            figure = &usage.reasoning, bit = 8;
        else if (name == "total_tokens")
            figure = &usage.total, bit = 16;
        if (!figure || (seen & bit))
            continue;
        seen |= bit;
        if (!readFigure(member.value, *figure))
            return false;
    }
    return true;
}

// The identity of a usage line: its usage objects, exactly, and which of the two it has. The
// ten figures are mixed a word at a time (every usage line pays for this), each step a
// multiplication by an odd constant and a rotation, so the order of the figures matters.
std::uint64_t lineIdentity(const std::optional<TokenUsage> &total,
                           const std::optional<TokenUsage> &last) {
    constexpr std::uint64_t multiplier = 0x9e3779b97f4a7c15ull;
    std::uint64_t hash = 0x636f646578ull ^ (total ? 1 : 0) ^ (last ? 2 : 0);
    const auto add = [&hash](const TokenUsage &usage) {
        for (const std::int64_t value :
             {usage.input, usage.cachedInput, usage.output, usage.reasoning, usage.total}) {
            hash = (hash ^ static_cast<std::uint64_t>(value)) * multiplier;
            hash = (hash << 29) | (hash >> 35);
        }
    };
    if (total)
        add(*total);
    if (last)
        add(*last);
    return finishedKey(hash);
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
    // Every line of a rollout comes here, so the line is crossed once, from underscore to
    // underscore (each marker has one), rather than once a marker.
    static constexpr std::string_view markers[] = {"\"token_count\"", "\"session_meta\"",
                                                   "\"turn_context\""};
    for (size_t at = line.find('_'); at != std::string_view::npos; at = line.find('_', at + 1))
        for (const std::string_view marker : markers) {
            const size_t before = marker.find('_');
            if (at >= before && line.substr(at - before, marker.size()) == marker)
                return true;
        }
    return false;
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
