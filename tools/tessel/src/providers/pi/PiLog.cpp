#include "providers/pi/PiLog.h"

#include "base/Clock.h"
#include "providers/JsonFields.h"

#include <filesystem>

namespace pi {

namespace dom = simdjson::dom;

namespace {

// LogSession::flags: the header named the session's folder.
constexpr std::uint8_t headerRead = 1;

std::optional<std::int64_t> messageTime(dom::object message) {
    dom::element value;
    if (message["timestamp"].get(value))
        return std::nullopt;
    std::int64_t milliseconds;
    if (value.type() == dom::element_type::INT64 && !value.get_int64().get(milliseconds))
        return secondsOfMilliseconds(milliseconds);
    double real;
    if (value.type() == dom::element_type::DOUBLE && !value.get_double().get(real))
        return wholeSeconds(real / 1000);
    return std::nullopt;
}

} // namespace

bool mayMatter(std::string_view line) {
    return line.find("\"usage\"") != std::string_view::npos ||
           line.find("\"session\"") != std::string_view::npos;
}

ParseOutcome parseLine(ReadContext &context, LogSession &session, dom::object object,
                       std::vector<UsageRecord> &records) {
    dom::object message, usage;
    std::string_view text;
    if (!readString(object, "type", text))
        return ParseOutcome::ignored;
    if (text == "session") {
        if (readString(object, "cwd", text) && !text.empty()) {
            session.project = context.names.add(text);
            session.flags |= headerRead;
        }
        return ParseOutcome::ignored;
    }
    if (text != "message" || object["message"].get_object().get(message) ||
        !readString(message, "role", text) || text != "assistant" ||
        message["usage"].get_object().get(usage))
        return ParseOutcome::ignored;
    TokenSplit split;
    if (!readTokenCount(usage, "input", split.input) ||
        !readTokenCount(usage, "output", split.output) ||
        !readTokenCount(usage, "cacheRead", split.cacheRead) ||
        !readTokenCount(usage, "cacheWrite", split.cacheWrite))
        return ParseOutcome::malformed;
    std::string model;
    if (readString(message, "provider", text))
        model = std::string(text) + '/';
    const size_t provider = model.size();
    if (readString(message, "model", text))
        model += text;
    std::optional<std::int64_t> time = messageTime(message);
    if (!time && readString(object, "timestamp", text))
        time = parseTimestamp(text);
    if (!time)
        return ParseOutcome::malformed;

    if (!(session.flags & headerRead) && session.project == 0)
        session.project = context.names.add(
            std::filesystem::path(context.path).parent_path().filename().string());
    UsageRecord record;
    record.provider = Provider::pi;
    record.split = split;
    record.tokens = split.sum();
    record.rank = record.tokens;
    record.day = context.days.dayOf(*time);
    record.model = context.names.add(std::string_view(model).substr(provider));
    record.project = session.project;
    std::string figures = model;
    for (const std::int64_t value :
         {*time, split.input, split.output, split.cacheRead, split.cacheWrite})
        figures.append(reinterpret_cast<const char *>(&value), sizeof value);
    record.key = messageKey(Provider::pi, figures);
    records.push_back(record);
    return ParseOutcome::usage;
}

} // namespace pi
