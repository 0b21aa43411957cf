#include "history/UsageHistory.h"

#include "base/AtomicFile.h"
#include "base/Errors.h"
#include "base/JsonText.h"
#include "providers/Provider.h"
#include "providers/UsageRecord.h"

#include <simdjson.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <limits>

namespace {

[[noreturn]] void refuse(const std::string &name, const std::string &what) {
    throw HistoryFormatError(name + " is not a usage file (" + what + "); it was left as it is");
}

// Refuses an object that holds `name` more than once: which copy a reader takes is anyone's
// guess, so the file means nothing certain.
void refuseRepeated(simdjson::dom::object object, std::string_view name, const std::string &where,
                    const std::string &file) {
    int seen = 0;
    for (const auto field : object)
        if (field.key == name && ++seen == 2) {
            std::string message(1, '"');
            message.append(name).append("\" appears twice in ").append(where);
            refuse(file, message);
        }
}

} // namespace

std::int64_t UsageHistory::dayTotal(DayNumber day) const {
    const auto found = days.find(day);
    std::int64_t total = 0;
    if (found != days.end())
        for (const auto &[provider, tokens] : found->second)
            total = saturatingAdd(total, std::max<std::int64_t>(tokens, 0));
    return total;
}

std::vector<std::string> UsageHistory::providersBetween(DayNumber first, DayNumber last) const {
    std::vector<std::string> ids;
    for (const Provider provider : originalProviders)
        ids.emplace_back(providerId(provider));
    const size_t original = ids.size();
    for (auto day = days.lower_bound(first); day != days.end() && day->first <= last; ++day)
        for (const auto &[provider, tokens] : day->second)
            if (tokens != 0 && std::find(ids.begin(), ids.end(), provider) == ids.end())
                ids.push_back(provider);
    std::sort(ids.begin() + static_cast<std::ptrdiff_t>(original), ids.end());
    return ids;
}

std::int64_t UsageHistory::tokens(DayNumber day, const std::string &provider) const {
    const auto found = days.find(day);
    if (found == days.end())
        return 0;
    const auto entry = found->second.find(provider);
    return entry == found->second.end() ? 0 : std::max<std::int64_t>(entry->second, 0);
}

UsageHistory parseUsageHistory(const std::string &json, const std::string &name) {
    simdjson::dom::parser parser;
    simdjson::dom::element root;
    if (auto error = parser.parse(json).get(root))
        refuse(name, std::string("not JSON: ") + simdjson::error_message(error));
    simdjson::dom::object object;
    if (root.get_object().get(object))
        refuse(name, "not a JSON object");
    UsageHistory history;
    bool demo = false;
    if (!object["demo"].get_bool().get(demo))
        history.demo = demo;
    refuseRepeated(object, "rows", "the document", name);
    refuseRepeated(object, "demo", "the document", name);
    refuseRepeated(object, "host", "the document", name);
    std::string_view host;
    if (!object["host"].get_string().get(host))
        history.host = host;
    simdjson::dom::array rows;
    if (object["rows"].get_array().get(rows))
        refuse(name, "no \"rows\" array");
    for (simdjson::dom::element row : rows) {
        simdjson::dom::object rowObject;
        if (row.get_object().get(rowObject))
            refuse(name, "a row that is not an object");
        std::string_view dayText;
        if (rowObject["day"].get_string().get(dayText))
            refuse(name, "a row without a day");
        const auto day = parseDay(dayText);
        if (!day)
            refuse(name, "the day \"" + std::string(dayText) + "\" is not yyyy-MM-dd");
        const std::string where = "the row of " + std::string(dayText);
        refuseRepeated(rowObject, "day", where, name);
        refuseRepeated(rowObject, "providers", where, name);
        if (history.days.contains(*day))
            refuse(name, "the day " + std::string(dayText) + " has two rows");
        simdjson::dom::object providers;
        if (rowObject["providers"].get_object().get(providers))
            refuse(name, where + " has no providers");
        auto &entry = history.days[*day];
        for (auto [key, value] : providers) {
            std::int64_t tokens;
            if (value.get_int64().get(tokens))
                refuse(name,
                       "a provider figure of " + std::string(dayText) + " is not a whole number");
            if (!entry.emplace(std::string(key), tokens).second)
                refuse(name, "the provider \"" + std::string(key) + "\" appears twice in " + where);
        }
    }
    return history;
}

std::optional<UsageHistory> readUsageHistory(const std::string &path, const UsageFileRead &how) {
    std::string text;
    try {
        text = readWholeFile(path, how.maxBytes, Links::refuse);
    } catch (const FileError &) {
        std::error_code error;
        if (!std::filesystem::exists(std::filesystem::symlink_status(path, error)))
            return std::nullopt;
        throw;
    }
    return parseUsageHistory(text, how.name.empty()
                                       ? std::filesystem::path(path).lexically_normal().string()
                                       : how.name);
}

std::string renderUsageHistory(const UsageHistory &history) {
    std::string out = "{\n";
    if (history.demo)
        out += "  \"demo\": true,\n";
    if (!history.host.empty())
        out += "  \"host\": \"" + jsonEscaped(history.host) + "\",\n";
    out += "  \"rows\": [";
    bool first = true;
    for (const auto &[day, stored] : history.days) {
        std::map<std::string, std::int64_t> providers = stored;
        for (const Provider provider : originalProviders)
            providers.try_emplace(std::string(providerId(provider)), 0);
        std::int64_t total = 0;
        std::string members;
        for (const auto &[provider, tokens] : providers) {
            total = saturatingAdd(total, tokens);
            if (!members.empty())
                members += ", ";
            members += '"';
            members += jsonEscaped(provider);
            members += "\": ";
            members += std::to_string(tokens);
        }
        out += first ? "\n" : ",\n";
        first = false;
        out += "    {\"day\": \"";
        out += formatDay(day) + "\", \"total_tokens\": " + std::to_string(total) +
               ", \"providers\": {" + members + "}}";
    }
    out += first ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}
