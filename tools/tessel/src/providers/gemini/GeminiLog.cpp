#include "providers/gemini/GeminiLog.h"

#include "base/Clock.h"
#include "providers/JsonFields.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace gemini {

namespace dom = simdjson::dom;

namespace {

// LogSession::flags: the chat's project has been looked up (LogSession::project holds it).
constexpr std::uint8_t projectResolved = 1;

// A message's figures, before they become a record.
struct Message {
    std::string id;
    std::string model;
    std::int64_t time = 0;
    std::int64_t input = 0, output = 0, cached = 0, thoughts = 0, tool = 0;
};

UsageRecord recordOf(const Message &message, NameId project, ReadContext &context) {
    UsageRecord record;
    record.provider = Provider::gemini;
    record.split.cacheRead = std::min(message.cached, message.input);
    // The tool-use prompt is input the model read as well.
    record.split.input = message.input - record.split.cacheRead + message.tool;
    record.split.output = message.output;
    record.split.reasoning = message.thoughts;
    record.tokens = record.split.sum();
    record.rank = record.tokens * 2 + (project != 0 ? 1 : 0);
    record.key = messageKey(Provider::gemini, message.id);
    record.model = context.names.add(message.model);
    record.project = project;
    record.day = context.days.dayOf(message.time);
    return record;
}

// A message object: usage when it is a reply with tokens.
ParseOutcome readMessage(dom::object object, Message &message) {
    std::string_view text;
    if (!readString(object, "type", text) || text != "gemini")
        return ParseOutcome::ignored;
    dom::object tokens;
    if (object["tokens"].get_object().get(tokens))
        return ParseOutcome::ignored; // not yet counted: written again once it is
    if (!readTokenCount(tokens, "input", message.input) ||
        !readTokenCount(tokens, "output", message.output) ||
        !readTokenCount(tokens, "cached", message.cached) ||
        !readTokenCount(tokens, "thoughts", message.thoughts) ||
        !readTokenCount(tokens, "tool", message.tool))
        return ParseOutcome::malformed;
    if (!readString(object, "id", text) || text.empty())
        return ParseOutcome::malformed;
    message.id = text;
    std::optional<std::int64_t> time;
    if (readString(object, "timestamp", text))
        time = parseTimestamp(text);
    if (!time)
        return ParseOutcome::malformed;
    message.time = *time;
    if (readString(object, "model", text))
        message.model = text;
    return ParseOutcome::usage;
}

// Every message of an array (a $set update's, a metadata line's or a document's): one odd
// message never costs the others.
template <typename ReadOne> ParseOutcome readMessages(dom::array messages, ReadOne &&readOne) {
    ParseOutcome outcome = ParseOutcome::ignored;
    for (auto element : messages) {
        dom::object message;
        if (element.get_object().get(message))
            continue;
        if (readOne(message) == ParseOutcome::usage)
            outcome = ParseOutcome::usage;
    }
    return outcome;
}

NameId resolvedProject(ReadContext &context, LogSession &session) {
    if (!(session.flags & projectResolved)) {
        session.project = context.names.add(projectOf(context.path));
        session.flags |= projectResolved;
    }
    return session.project;
}

} // namespace

std::string projectOf(std::string_view path) {
    const size_t chats = path.rfind("/chats/");
    if (chats == std::string_view::npos)
        return {};
    const std::string marker = std::string(path.substr(0, chats)) + "/.project_root";
    const int fd = ::open(marker.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return {};
    // A folder path: anything longer is not what Gemini CLI writes there.
    char buffer[4096];
    ssize_t got;
    do
        got = ::read(fd, buffer, sizeof buffer);
    while (got < 0 && errno == EINTR);
    ::close(fd);
    if (got <= 0 || got == static_cast<ssize_t>(sizeof buffer))
        return {};
    std::string folder(buffer, static_cast<size_t>(got));
    folder.erase(folder.find_last_not_of(" \t\r\n") + 1);
    folder.erase(0, folder.find_first_not_of(" \t\r\n"));
    if (folder.find('\0') != std::string::npos)
        return {};
    return folder;
}

ParseOutcome parseLine(ReadContext &context, LogSession &session, dom::object object,
                       std::vector<UsageRecord> &records) {
    const NameId project = resolvedProject(context, session);
    const auto readOne = [&](dom::object &object) {
        Message message;
        const ParseOutcome outcome = readMessage(object, message);
        if (outcome == ParseOutcome::usage)
            records.push_back(recordOf(message, project, context));
        return outcome;
    };
    // A message record has an id; a $set update and the metadata line may carry messages.
    std::string_view id;
    if (readString(object, "id", id))
        return readOne(object);
    dom::object update;
    dom::array messages;
    if (!object["$set"].get_object().get(update)) {
        if (!update["messages"].get_array().get(messages))
            return readMessages(messages, readOne);
        return ParseOutcome::ignored;
    }
    if (!object["messages"].get_array().get(messages))
        return readMessages(messages, readOne);
    return ParseOutcome::ignored;
}

ParseOutcome parseDocument(ReadContext &context, std::string_view json,
                           std::vector<UsageRecord> &records) {
    // The DOM parser checks the whole document against the grammar before handing any of it out;
    // the collector leaves documentPadding readable bytes after it.
    static thread_local dom::parser parser;
    dom::element root;
    dom::object object;
    dom::array messages;
    if (parser.parse(json.data(), json.size(), false).get(root) || root.get_object().get(object))
        return ParseOutcome::malformed;
    if (object["messages"].get_array().get(messages))
        return ParseOutcome::ignored;
    const NameId project = context.names.add(projectOf(context.path));
    return readMessages(messages, [&](dom::object &message) {
        Message read;
        const ParseOutcome outcome = readMessage(message, read);
        if (outcome == ParseOutcome::usage)
            records.push_back(recordOf(read, project, context));
        return outcome;
    });
}

} // namespace gemini
