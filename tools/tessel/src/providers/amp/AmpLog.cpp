#include "providers/amp/AmpLog.h"

#include "base/Clock.h"
#include "providers/JsonFields.h"

#include <filesystem>
#include <map>

namespace amp {

namespace dom = simdjson::dom;

namespace {

// An assistant message's usage.
struct MessageUsage {
    std::string model;
    std::optional<std::int64_t> time;
    std::int64_t input = 0, output = 0, cacheWrite = 0, cacheRead = 0;
    // A ledger event of a model call stands for this message.
    bool covered = false;
    bool joined = false;
};

// A message or event id, or an empty text: Amp writes message ids as numbers, event ids as
// texts.
std::string idAt(dom::object object, std::string_view name) {
    dom::element value;
    if (object[name].get(value))
        return {};
    std::string_view text;
    if (!value.get_string().get(text))
        return std::string(text);
    std::int64_t number;
    if (!value.get_int64().get(number))
        return std::to_string(number);
    return {};
}

std::optional<std::int64_t> isoTime(dom::object object, std::string_view name) {
    std::string_view text;
    if (readString(object, name, text))
        return parseTimestamp(text);
    return std::nullopt;
}

std::optional<std::int64_t> millisecondsTime(dom::object object, std::string_view name) {
    std::int64_t milliseconds;
    if (!object[name].get_int64().get(milliseconds))
        return secondsOfMilliseconds(milliseconds);
    double real;
    if (!object[name].get_double().get(real))
        return wholeSeconds(real / 1000);
    return std::nullopt;
}

// The usage of an assistant message; false when it has none that can be read.
bool readMessageUsage(dom::object usage, MessageUsage &read) {
    if (!readTokenCount(usage, "inputTokens", read.input) ||
        !readTokenCount(usage, "outputTokens", read.output) ||
        !readTokenCount(usage, "cacheCreationInputTokens", read.cacheWrite) ||
        !readTokenCount(usage, "cacheReadInputTokens", read.cacheRead))
        return false;
    std::string_view text;
    if (readString(usage, "model", text))
        read.model = text;
    read.time = isoTime(usage, "timestamp");
    return true;
}

std::string projectOf(dom::object thread) {
    dom::array trees;
    if (thread.at_pointer("/env/initial/trees").get_array().get(trees))
        return {};
    for (dom::element tree : trees) {
        dom::object object;
        std::string_view address;
        if (!tree.get_object().get(object) && readString(object, "uri", address) &&
            !address.empty())
            return pathOfAddress(address);
    }
    return {};
}

} // namespace

std::string pathOfAddress(std::string_view address) {
    constexpr std::string_view scheme = "file://";
    if (!address.starts_with(scheme))
        return std::string(address);
    address.remove_prefix(scheme.size());
    std::string path;
    for (size_t i = 0; i < address.size(); ++i) {
        const auto hex = [](char c) {
            return c >= '0' && c <= '9'   ? c - '0'
                   : c >= 'a' && c <= 'f' ? c - 'a' + 10
                   : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                          : -1;
        };
        if (address[i] == '%' && i + 2 < address.size() && hex(address[i + 1]) >= 0 &&
            hex(address[i + 2]) >= 0) {
            const char decoded = static_cast<char>(hex(address[i + 1]) * 16 + hex(address[i + 2]));
            if (decoded != '\0') {
                path += decoded;
                i += 2;
                continue;
            }
        }
        path += address[i];
    }
    return path;
}

ParseOutcome parseThread(ReadContext &context, std::string_view json,
                         std::vector<UsageRecord> &records) {
    // The DOM parser checks the whole document against the grammar before handing any of it out;
    // the collector leaves documentPadding readable bytes after it.
    static thread_local dom::parser parser;
    dom::element root;
    dom::object thread;
    if (parser.parse(json.data(), json.size(), false).get(root) || root.get_object().get(thread))
        return ParseOutcome::malformed;
    std::string_view text;
    const std::string threadId = readString(thread, "id", text) && !text.empty()
                                     ? std::string(text)
                                     : std::filesystem::path(context.path).stem().string();
    const std::optional<std::int64_t> created = millisecondsTime(thread, "created");
    const NameId project = context.names.add(projectOf(thread));

    // The assistant messages' usage, by message id, timed by the message or the user message
    // before it where the usage does not say.
    std::map<std::string, MessageUsage> usages;
    std::vector<std::string> order;
    dom::array messages;
    if (!thread["messages"].get_array().get(messages)) {
        std::optional<std::int64_t> lastSent = created;
        for (dom::element element : messages) {
            dom::object message, usage, meta;
            if (element.get_object().get(message))
                continue;
            const std::string_view role = readString(message, "role", text) ? text : "";
            if (role == "user" && !message["meta"].get_object().get(meta))
                if (const auto sent = millisecondsTime(meta, "sentAt"))
                    lastSent = sent;
            if (role != "assistant" || message["usage"].get_object().get(usage))
                continue;
            MessageUsage read;
            const std::string id = idAt(message, "messageId");
            if (id.empty() || !readMessageUsage(usage, read))
                continue;
            if (!read.time)
                read.time = isoTime(message, "createdAt");
            if (!read.time)
                read.time = lastSent;
            if (usages.emplace(id, read).second)
                order.push_back(id);
        }
    }

    const auto add = [&](const std::string &id, const TokenSplit &split, std::string_view model,
                         std::int64_t time) {
        UsageRecord record;
        record.provider = Provider::amp;
        record.split = split;
        record.tokens = split.sum();
        record.rank = record.tokens;
        record.key = messageKey(Provider::amp, threadId, id);
        record.model = context.names.add(model);
        record.project = project;
        record.day = context.days.dayOf(time);
        records.push_back(record);
    };

    dom::array events;
    if (!thread.at_pointer("/usageLedger/events").get_array().get(events)) {
        // Model calls stand for the message they produced.
        for (dom::element element : events) {
            dom::object event;
            std::string_view kind = "inference";
            if (!element.get_object().get(event) &&
                (!readString(event, "operationType", kind) || kind == "inference"))
                if (const auto found = usages.find(idAt(event, "toMessageId"));
                    found != usages.end())
                    found->second.covered = true;
        }
        size_t index = 0;
        for (dom::element element : events) {
            ++index;
            dom::object event, tokens;
            if (element.get_object().get(event) || event["tokens"].get_object().get(tokens))
                continue;
            if (readString(event, "subagentThreadID", text) && !text.empty())
                continue;
            TokenSplit split;
            if (!readTokenCount(tokens, "input", split.input) ||
                !readTokenCount(tokens, "output", split.output))
                continue;
            std::optional<std::int64_t> time = isoTime(event, "timestamp");
            if (!time)
                time = created;
            if (!time)
                continue;
            std::string_view kind = "inference";
            readString(event, "operationType", kind);
            if (kind == "inference")
                if (const auto found = usages.find(idAt(event, "toMessageId"));
                    found != usages.end() && !found->second.joined &&
                    found->second.input == split.input && found->second.output == split.output) {
                    split.cacheWrite = found->second.cacheWrite;
                    split.cacheRead = found->second.cacheRead;
                    found->second.joined = true;
                }
            std::string eventId = idAt(event, "id");
            if (eventId.empty())
                eventId = "#" + std::to_string(index);
            const std::string_view model = readString(event, "model", text) ? text : "";
            add("event " + eventId, split, model, *time);
        }
    }
    for (const std::string &id : order) {
        const MessageUsage &usage = usages[id];
        if (usage.covered || !usage.time)
            continue;
        add("message " + id, {usage.input, usage.output, usage.cacheRead, usage.cacheWrite, 0, 0},
            usage.model, *usage.time);
    }
    return records.empty() ? ParseOutcome::ignored : ParseOutcome::usage;
}

} // namespace amp
