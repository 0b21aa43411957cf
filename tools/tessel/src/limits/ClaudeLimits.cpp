#include "limits/ClaudeLimits.h"

#include "base/Clock.h"
#include "base/JsonStructure.h"
#include "base/LogTail.h"
#include "limits/LimitNumbers.h"
#include "providers/LogLocations.h"
#include "providers/claude/ClaudeProvider.h"

#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>

namespace claude {

namespace ondemand = simdjson::ondemand;

namespace {

struct NamedWindow {
    std::string_view name;
    std::int64_t minutes;
};
constexpr std::array<NamedWindow, 2> namedWindows{
    {{"five_hour", fiveHourMinutes}, {"seven_day", weekMinutes}}};

// A reset time given as Unix seconds, milliseconds or an ISO-8601 text.
std::optional<std::int64_t> readResetTime(ondemand::object &window) {
    ondemand::value value;
    if (window["resets_at"].get(value))
        return std::nullopt;
    std::string_view text;
    if (!value.get_string().get(text))
        return parseTimestamp(text);
    double number = 0;
    if (value.get_double().get(number) || !std::isfinite(number) || number <= 0)
        return std::nullopt;
    return std::llround(number > 1e11 ? number / 1000 : number);
}

std::optional<double> readPercent(ondemand::object &window) {
    for (const std::string_view name : {"used_percentage", "utilization", "used_percent"}) {
        double value = 0;
        if (!window[name].get_double().get(value) && std::isfinite(value) && value >= 0)
            return value;
    }
    return std::nullopt;
}

std::string lowercase(std::string_view text) {
    std::string lower(text);
    for (char &c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

// Sets TZ for its lifetime; the tool is single-threaded, so nothing else sees the change.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const std::optional<std::string> &zone) {
        if (!zone)
            return;
        if (const char *old = std::getenv("TZ"))
            m_old = old;
        ::setenv("TZ", zone->c_str(), 1);
        ::tzset();
        m_changed = true;
    }
    ~ScopedTimeZone() {
        if (!m_changed)
            return;
        if (m_old)
            ::setenv("TZ", m_old->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    ScopedTimeZone(const ScopedTimeZone &) = delete;
    ScopedTimeZone &operator=(const ScopedTimeZone &) = delete;

private:
    bool m_changed = false;
    std::optional<std::string> m_old;
};

// A zone name such as "Asia/Hong_Kong" that the system's zone database knows. Anything else
// (or a name that tries to leave the database's folder) is ignored: local time is used then.
std::optional<std::string> knownZone(std::string_view name) {
    if (name.empty() || name.front() == '/' || name.find("..") != std::string_view::npos)
        return std::nullopt;
    for (const char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '/' && c != '_' && c != '-' &&
            c != '+')
            return std::nullopt;
    const char *folder = std::getenv("TZDIR");
    const std::string database = folder && *folder ? folder : "/usr/share/zoneinfo";
    std::error_code error;
    if (!std::filesystem::is_regular_file(database + "/" + std::string(name), error))
        return std::nullopt;
    return std::string(name);
}

class TextCursor {
public:
    explicit TextCursor(std::string_view text) : m_text(text) {}
    void skipSpaces() {
        while (m_at < m_text.size() && m_text[m_at] == ' ')
            ++m_at;
    }
    bool take(std::string_view word) {
        if (m_text.substr(m_at, word.size()) != word)
            return false;
        m_at += word.size();
        return true;
    }
    std::optional<int> number(size_t maxDigits) {
        size_t digits = 0;
        int value = 0;
        while (m_at < m_text.size() && digits < maxDigits &&
               std::isdigit(static_cast<unsigned char>(m_text[m_at]))) {
            value = value * 10 + (m_text[m_at++] - '0');
            ++digits;
        }
        return digits ? std::optional<int>(value) : std::nullopt;
    }
    std::string_view rest() const { return m_text.substr(m_at); }

private:
    std::string_view m_text;
    size_t m_at = 0;
};

constexpr std::array<std::string_view, 12> months{"jan", "feb", "mar", "apr", "may", "jun",
                                                  "jul", "aug", "sep", "oct", "nov", "dec"};

// "2am", "6:30pm", "14:00", optionally after "jan 24 at ", optionally before "(zone)"; `text`
// is lowercase except for the zone, which is taken from `original` at the same place.
std::optional<std::int64_t> parseResetClock(std::string_view text, std::string_view original,
                                            std::int64_t writtenAt) {
    TextCursor cursor(text);
    std::optional<int> month, day;
    for (size_t i = 0; i < months.size(); ++i)
        if (cursor.take(months[i])) {
            month = static_cast<int>(i);
            while (!cursor.rest().empty() &&
                   std::isalpha(static_cast<unsigned char>(cursor.rest().front())))
                cursor.take(cursor.rest().substr(0, 1));
            cursor.skipSpaces();
            day = cursor.number(2);
            if (!day)
                return std::nullopt;
            cursor.take(",");
            cursor.skipSpaces();
            cursor.take("at ");
            cursor.skipSpaces();
            break;
        }
    const auto hourValue = cursor.number(2);
    if (!hourValue)
        return std::nullopt;
    int hour = *hourValue, minute = 0;
    if (cursor.take(":")) {
        const auto minutes = cursor.number(2);
        if (!minutes || *minutes > 59)
            return std::nullopt;
        minute = *minutes;
    }
    cursor.skipSpaces();
    if (cursor.take("am") || cursor.take("a.m.")) {
        if (hour < 1 || hour > 12)
            return std::nullopt;
        hour %= 12;
    } else if (cursor.take("pm") || cursor.take("p.m.")) {
        if (hour < 1 || hour > 12)
            return std::nullopt;
        hour = hour % 12 + 12;
    } else if (hour > 23) {
        return std::nullopt;
    }
    cursor.skipSpaces();
    std::optional<std::string> zone;
    if (cursor.take("(")) {
        const size_t start = text.size() - cursor.rest().size();
        const size_t close = text.find(')', start);
        if (close != std::string_view::npos)
            zone = knownZone(original.substr(start, close - start));
    }

    const ScopedTimeZone scopedZone(zone);
    const std::time_t written = static_cast<std::time_t>(writtenAt);
    std::tm local{};
    ::localtime_r(&written, &local);
    const auto at = [&](int yearOffset, int dayOffset) {
        std::tm moment = local;
        moment.tm_year += yearOffset;
        if (month) {
            moment.tm_mon = *month;
            moment.tm_mday = *day;
        }
        moment.tm_mday += dayOffset;
        moment.tm_hour = hour;
        moment.tm_min = minute;
        moment.tm_sec = 0;
        moment.tm_isdst = -1;
        return static_cast<std::int64_t>(std::mktime(&moment));
    };
    // The message is written when the limit is hit, so its reset lies ahead; a minute of slack
    // for a reset that falls in the same minute.
    std::int64_t resetsAt = at(0, 0);
    if (resetsAt < writtenAt - 60)
        resetsAt = month ? at(1, 0) : at(0, 1);
    return resetsAt;
}

std::string textOfMessage(ondemand::object &message) {
    std::string text;
    ondemand::value content;
    if (message["content"].get(content))
        return text;
    std::string_view piece;
    if (!content.get_string().get(piece))
        return std::string(piece);
    ondemand::array items;
    if (content.get_array().get(items))
        return text;
    for (auto item : items) {
        ondemand::object object;
        if (item.get_object().get(object))
            continue;
        if (!object["text"].get_string().get(piece))
            text += std::string(piece) + "\n";
    }
    return text;
}

} // namespace

std::vector<LimitObservation> parseRateLimits(ondemand::object &rateLimits, std::int64_t observedAt,
                                              LimitSource source) {
    std::vector<LimitObservation> windows;
    for (const NamedWindow &named : namedWindows) {
        ondemand::object window;
        if (rateLimits[named.name].get_object().get(window))
            continue;
        const auto used = readPercent(window);
        if (!used)
            continue;
        LimitObservation observation;
        observation.provider = Provider::claude;
        observation.windowMinutes = named.minutes;
        observation.usedPercent = *used;
        observation.resetsAt = readResetTime(window);
        observation.observedAt = observedAt;
        observation.source = source;
        windows.push_back(observation);
    }
    return windows;
}

std::string renderSnapshot(const std::vector<LimitObservation> &windows, std::int64_t observedAt) {
    std::string json = "{\"observed_at\":" + std::to_string(observedAt) + ",\"rate_limits\":{";
    bool first = true;
    for (const NamedWindow &named : namedWindows)
        for (const LimitObservation &window : windows) {
            if (window.windowMinutes != named.minutes)
                continue;
            json += std::string(first ? "" : ",") + "\"" + std::string(named.name) +
                    "\":{\"used_percentage\":" + formatNumber(window.usedPercent);
            if (window.resetsAt)
                json += ",\"resets_at\":" + std::to_string(*window.resetsAt);
            json += "}";
            first = false;
            break;
        }
    return json + "}}\n";
}

namespace {

// Reads a small JSON file whole; false when it cannot be read or is not well formed, which is
// checked before any field of it is read.
bool loadSoundDocument(const std::string &path, simdjson::padded_string &text) {
    return !simdjson::padded_string::load(path).get(text) &&
           hasSoundJsonStructure(std::string_view(text.data(), text.size()));
}

} // namespace

std::vector<LimitObservation> readSnapshot(const std::string &path) {
    simdjson::padded_string text;
    if (!loadSoundDocument(path, text))
        return {};
    ondemand::parser parser;
    ondemand::document document;
    ondemand::object object, rateLimits;
    std::int64_t observedAt = 0;
    if (parser.iterate(text).get(document) || document.get_object().get(object) ||
        object["observed_at"].get_int64().get(observedAt) ||
        object["rate_limits"].get_object().get(rateLimits))
        return {};
    return parseRateLimits(rateLimits, observedAt, LimitSource::claudeStatusline);
}

std::vector<LimitObservation> readUsageCache(const std::string &path) {
    simdjson::padded_string text;
    if (!loadSoundDocument(path, text))
        return {};
    ondemand::parser parser;
    ondemand::document document;
    ondemand::object object, cache, utilization;
    double fetchedAtMs = 0;
    if (parser.iterate(text).get(document) || document.get_object().get(object) ||
        object["cachedUsageUtilization"].get_object().get(cache) ||
        cache["fetchedAtMs"].get_double().get(fetchedAtMs) || !std::isfinite(fetchedAtMs) ||
        fetchedAtMs <= 0 || cache["utilization"].get_object().get(utilization))
        return {};
    return parseRateLimits(utilization, std::llround(fetchedAtMs / 1000), LimitSource::claudeCache);
}

std::vector<std::string> configFiles(const Environment &environment) {
    std::vector<std::string> files;
    if (const auto configured = configuredClaudeFolders(environment))
        for (const std::string &folder : *configured)
            files.push_back(folder + "/.claude.json");
    files.push_back(environment.home() + "/.claude.json");
    return files;
}

std::optional<LimitReached> parseLimitReached(std::string_view text, std::int64_t writtenAt) {
    const std::string lower = lowercase(text);
    if (lower.find("limit reached") == std::string::npos &&
        lower.find("hit your limit") == std::string::npos)
        return std::nullopt;
    std::optional<std::int64_t> resetsAt;
    if (const size_t bar = lower.find('|'); bar != std::string::npos) {
        TextCursor cursor(std::string_view(lower).substr(bar + 1));
        std::int64_t epoch = 0;
        size_t digits = 0;
        for (const char c : cursor.rest()) {
            if (!std::isdigit(static_cast<unsigned char>(c)) || digits == 16)
                break;
            epoch = epoch * 10 + (c - '0');
            ++digits;
        }
        if (digits >= 9)
            resetsAt = epoch > 100'000'000'000 ? epoch / 1000 : epoch;
    } else if (const size_t resets = lower.find("resets "); resets != std::string::npos) {
        const size_t from = resets + 7;
        resetsAt =
            parseResetClock(std::string_view(lower).substr(from), text.substr(from), writtenAt);
    }
    if (!resetsAt)
        return std::nullopt;
    LimitReached reached;
    reached.resetsAt = *resetsAt;
    if (lower.find("5-hour") != std::string::npos)
        reached.windowMinutes = fiveHourMinutes;
    else if (lower.find("weekly") != std::string::npos || lower.find("7-day") != std::string::npos)
        reached.windowMinutes = weekMinutes;
    else // the wording names no window: a reset within five hours can only be the short one
        reached.windowMinutes =
            *resetsAt - writtenAt <= fiveHourMinutes * 60 + 60 ? fiveHourMinutes : weekMinutes;
    return reached;
}

std::optional<LimitObservation> parseLimitReachedLine(std::string_view line) {
    if (!hasSoundJsonStructure(line))
        return std::nullopt;
    const simdjson::padded_string padded(line);
    ondemand::parser parser;
    ondemand::document document;
    ondemand::object object, message;
    bool apiError = false;
    std::string_view text;
    if (parser.iterate(padded).get(document) || document.get_object().get(object) ||
        object["isApiErrorMessage"].get_bool().get(apiError) || !apiError ||
        object["timestamp"].get_string().get(text))
        return std::nullopt;
    const auto writtenAt = parseTimestamp(text);
    if (!writtenAt || object["message"].get_object().get(message) ||
        message["model"].get_string().get(text) || text != "<synthetic>")
        return std::nullopt;
    const auto reached = parseLimitReached(textOfMessage(message), *writtenAt);
    if (!reached)
        return std::nullopt;
    LimitObservation observation;
    observation.provider = Provider::claude;
    observation.windowMinutes = reached->windowMinutes;
    observation.usedPercent = 100;
    observation.resetsAt = reached->resetsAt;
    observation.observedAt = *writtenAt;
    observation.source = LimitSource::claudeLimitReached;
    return observation;
}

std::optional<LimitObservation> scanLimitReached(const LogLocations &locations, std::int64_t now) {
    constexpr std::int64_t lookBack = 8 * 86400;
    // The limit-reached line ends a session's work, so it sits near the end of its file.
    constexpr std::uint64_t tailBytesPerFile = 64 << 10;
    constexpr std::int64_t modificationSlack = 120;
    std::optional<LimitObservation> newest;
    for (const RecentFile &file :
         recentFiles(locations.claudeProjectFolders, ".jsonl", now - lookBack)) {
        if (newest && file.modifiedAt + modificationSlack < newest->observedAt)
            break;
        forEachLineFromEnd(file.path, "isApiErrorMessage", tailBytesPerFile,
                           [&](std::string_view line) {
                               const auto reached = parseLimitReachedLine(line);
                               if (!reached)
                                   return true;
                               if (!newest || reached->observedAt > newest->observedAt)
                                   newest = reached;
                               return false;
                           });
    }
    return newest;
}

} // namespace claude
