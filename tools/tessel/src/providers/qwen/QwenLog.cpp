#include "providers/qwen/QwenLog.h"

#include "base/Clock.h"
#include "providers/JsonFields.h"

#include <algorithm>

namespace qwen {

namespace dom = simdjson::dom;

TokenSplit splitOf(std::int64_t prompt, std::int64_t candidates, std::int64_t cached,
                   std::int64_t thoughts, std::int64_t total) {
    const bool cacheApart =
        cached > prompt || (total > 0 && cached > 0 && total != prompt + candidates + thoughts &&
                            total != prompt + candidates &&
                            (total == prompt + cached + candidates + thoughts ||
                             total == prompt + cached + candidates));
    const std::int64_t withCache = cacheApart ? prompt + cached : prompt;
    const bool thoughtsInside =
        thoughts > 0 && thoughts <= candidates && total > 0 && total == withCache + candidates;
    TokenSplit split;
    split.cacheRead = cacheApart ? cached : std::min(cached, prompt);
    split.input = withCache - split.cacheRead;
    split.reasoning = thoughts;
    split.output = thoughtsInside ? candidates - thoughts : candidates;
    return split;
}

std::string projectFolderName(std::string_view path) {
    const size_t projects = path.rfind("/projects/");
    if (projects == std::string_view::npos)
        return {};
    const std::string_view rest = path.substr(projects + 10);
    const size_t slash = rest.find('/');
    return slash == std::string_view::npos ? std::string() : std::string(rest.substr(0, slash));
}

ParseOutcome parseLine(ReadContext &context, LogSession &, dom::object object,
                       std::vector<UsageRecord> &records) {
    dom::object usage;
    std::string_view text;
    if (!readString(object, "type", text) || text != "assistant" ||
        object["usageMetadata"].get_object().get(usage))
        return ParseOutcome::ignored;
    std::int64_t prompt, candidates, cached, thoughts, total;
    if (!readTokenCount(usage, "promptTokenCount", prompt) ||
        !readTokenCount(usage, "candidatesTokenCount", candidates) ||
        !readTokenCount(usage, "cachedContentTokenCount", cached) ||
        !readTokenCount(usage, "thoughtsTokenCount", thoughts) ||
        !readTokenCount(usage, "totalTokenCount", total))
        return ParseOutcome::malformed;
    std::optional<std::int64_t> time;
    std::string timestamp;
    if (readString(object, "timestamp", text)) {
        timestamp = text;
        time = parseTimestamp(text);
    }
    if (!time)
        return ParseOutcome::malformed;
    std::string model, project;
    if (readString(object, "model", text))
        model = text;
    if (readString(object, "cwd", text))
        project = text;
    if (project.empty())
        project = projectFolderName(context.path);

    UsageRecord record;
    record.provider = Provider::qwen;
    record.split = splitOf(prompt, candidates, cached, thoughts, total);
    record.tokens = record.split.sum();
    record.rank = record.tokens;
    record.day = context.days.dayOf(*time);
    record.model = context.names.add(model);
    record.project = context.names.add(project);
    std::string figures = model;
    for (const std::int64_t value : {prompt, candidates, cached, thoughts, total})
        figures.append(reinterpret_cast<const char *>(&value), sizeof value);
    record.key = messageKey(Provider::qwen, timestamp, figures);
    records.push_back(record);
    return ParseOutcome::usage;
}

} // namespace qwen
