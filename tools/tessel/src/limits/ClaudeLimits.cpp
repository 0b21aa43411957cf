#include "limits/ClaudeLimits.h"

#include "base/AtomicFile.h"
#include "base/Clock.h"
#include "base/Errors.h"
#include "base/JsonStructure.h"
#include "limits/LimitNumbers.h"
#include "limits/LimitRanges.h"
#include "providers/LogLocations.h"
#include "providers/claude/ClaudeProvider.h"

#include <algorithm>
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

// A reset time given as Unix seconds, milliseconds or an ISO-8601 text, in seconds; nullopt
// when none is given.
std::optional<double> readResetTime(ondemand::object &window) {
    ondemand::value value;
    if (window["resets_at"].get(value))
        return std::nullopt;
    std::string_view text;
    if (!value.get_string().get(text)) {
        const auto parsed = parseTimestamp(text);
        return parsed ? std::optional<double>(static_cast<double>(*parsed)) : std::nullopt;
    }
    double number = 0;
    if (value.get_double().get(number) || number == 0)
        return std::nullopt;
    return number > 1e11 ? number / 1000 : number;
}

std::optional<double> readPercent(ondemand::object &window) {
    for (const std::string_view name : {"used_percentage", "utilization", "used_percent"}) {
        double value = 0;
        if (!window[name].get_double().get(value))
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
            if (!day || *day < 1 || *day > 31)
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
                                              LimitSource source,
                                              std::vector<std::string> &warnings) {
    std::vector<LimitObservation> windows;
    for (const NamedWindow &named : namedWindows) {
        ondemand::object window;
        if (rateLimits[named.name].get_object().get(window))
            continue;
        const auto used = readPercent(window);
        if (!used)
            continue;
        RawWindow raw;
        raw.provider = Provider::claude;
        raw.source = source;
        raw.observedAt = observedAt;
        raw.usedPercent = *used;
        raw.windowMinutes = static_cast<double>(named.minutes);
        raw.resetsAt = readResetTime(window);
        if (auto checked = checkedWindow(raw, warnings))
            windows.push_back(std::move(*checked));
    }
    return windows;
}

std::optional<std::vector<LimitObservation>>
parseStatuslineInput(std::string_view input, std::int64_t now, std::vector<std::string> &warnings) {
    if (!hasSoundJsonStructure(input))
        return std::nullopt;
    const simdjson::padded_string padded(input);
    ondemand::parser parser;
    ondemand::document document;
    ondemand::object object, rateLimits;
    if (parser.iterate(padded).get(document) || document.get_object().get(object))
        return std::nullopt;
    if (object["rate_limits"].get_object().get(rateLimits))
        return std::vector<LimitObservation>{};
    return parseRateLimits(rateLimits, now, LimitSource::claudeStatusline, warnings);
}

std::string renderSnapshot(const std::vector<LimitObservation> &windows) {
    std::int64_t newest = 0;
    std::string members;
    for (const NamedWindow &named : namedWindows)
        for (const LimitObservation &window : windows) {
            if (window.windowMinutes != named.minutes || !window.bucket.empty())
                continue;
            newest = std::max(newest, window.observedAt);
            members += std::string(members.empty() ? "" : ",") + "\"" + std::string(named.name) +
                       "\":{\"used_percentage\":" + formatNumber(window.usedPercent);
            if (window.resetsAt)
                members += ",\"resets_at\":" + std::to_string(*window.resetsAt);
            members += ",\"observed_at\":" + std::to_string(window.observedAt) + "}";
            break;
        }
    // The time of the newest window as well, for readers that know only one time for all.
    return "{\"observed_at\":" + std::to_string(newest) + ",\"rate_limits\":{" + members + "}}\n";
}

std::vector<LimitObservation> parseSnapshot(std::string_view text) {
    if (!hasSoundJsonStructure(text))
        return {};
    const simdjson::padded_string padded(text);
    ondemand::parser parser;
    ondemand::document document;
    ondemand::object object, rateLimits;
    std::int64_t observedAt = 0;
    if (parser.iterate(padded).get(document) || document.get_object().get(object) ||
        object["observed_at"].get_int64().get(observedAt) ||
        object["rate_limits"].get_object().get(rateLimits))
        return {};
    // Each window's own time where it has one; its figures were checked when saved, and a
    // damaged snapshot is checked again here.
    std::vector<LimitObservation> windows;
    std::vector<std::string> ignored;
    for (const NamedWindow &named : namedWindows) {
        ondemand::object window;
        std::int64_t own = observedAt;
        if (rateLimits[named.name].get_object().get(window))
            continue;
        if (window["observed_at"].get_int64().get(own))
            own = observedAt;
        const auto used = readPercent(window);
        if (!used)
            continue;
        RawWindow raw;
        raw.provider = Provider::claude;
        raw.source = LimitSource::claudeStatusline;
        raw.observedAt = own;
        raw.usedPercent = *used;
        raw.windowMinutes = static_cast<double>(named.minutes);
        raw.resetsAt = readResetTime(window);
        if (auto checked = checkedWindow(raw, ignored))
            windows.push_back(std::move(*checked));
    }
    return windows;
}

namespace {

constexpr std::uint64_t maxSnapshotBytes = 64 << 10;
// Claude Code keeps its projects' history in .claude.json, which grows with use.
constexpr std::uint64_t maxConfigBytes = 64 << 20;

// A small file read whole without waiting on it; nullopt when it is missing, not a regular
// file or too large.
std::optional<std::string> readSmallFile(const std::string &path, std::uint64_t maxBytes,
                                         std::vector<std::string> *warnings) {
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(path, error)))
        return std::nullopt;
    try {
        return readWholeFile(path, maxBytes);
    } catch (const FileError &failure) {
        if (warnings)
            warnings->push_back(std::string(failure.what()) + "; its limits are not read");
        return std::nullopt;
    }
}

} // namespace

std::vector<LimitObservation> readSnapshot(const std::string &path) {
    const auto text = readSmallFile(path, maxSnapshotBytes, nullptr);
    return text ? parseSnapshot(*text) : std::vector<LimitObservation>{};
}

std::vector<LimitObservation> mergeSnapshot(const std::vector<LimitObservation> &saved,
                                            const std::vector<LimitObservation> &incoming) {
    const auto find = [](const std::vector<LimitObservation> &windows, std::int64_t minutes) {
        const auto found =
            std::find_if(windows.begin(), windows.end(), [minutes](const LimitObservation &window) {
                return window.windowMinutes == minutes && window.bucket.empty();
            });
        return found == windows.end() ? nullptr : &*found;
    };
    std::vector<LimitObservation> merged;
    for (const NamedWindow &named : namedWindows) {
        const LimitObservation *before = find(saved, named.minutes);
        const LimitObservation *now = find(incoming, named.minutes);
        if (now && before && before->sameWindowAs(*now) && before->usedPercent > now->usedPercent)
            merged.push_back(*before);
        else if (now)
            merged.push_back(*now);
        else if (before)
            merged.push_back(*before);
    }
    return merged;
}

std::vector<LimitObservation> parseUsageCache(std::string_view text,
                                              std::vector<std::string> &warnings) {
    if (!hasSoundJsonStructure(text))
        return {};
    const simdjson::padded_string padded(text);
    ondemand::parser parser;
    ondemand::document document;
    ondemand::object object, cache, utilization;
    double fetchedAtMs = 0;
    if (parser.iterate(padded).get(document) || document.get_object().get(object) ||
        object["cachedUsageUtilization"].get_object().get(cache) ||
        cache["fetchedAtMs"].get_double().get(fetchedAtMs) ||
        cache["utilization"].get_object().get(utilization))
        return {};
    const double fetchedAt = fetchedAtMs / 1000;
    if (!std::isfinite(fetchedAt) || fetchedAt < static_cast<double>(earliestReading) ||
        fetchedAt > static_cast<double>(latestReading)) {
        warnings.emplace_back("claude-cache: its fetch time is out of range; it is left out");
        return {};
    }
    return parseRateLimits(utilization, std::llround(fetchedAt), LimitSource::claudeCache,
                           warnings);
}

std::vector<LimitObservation> readUsageCache(const std::string &path,
                                             std::vector<std::string> &warnings) {
    const auto text = readSmallFile(path, maxConfigBytes, &warnings);
    if (!text)
        return {};
    std::vector<std::string> found;
    auto windows = parseUsageCache(*text, found);
    for (std::string &warning : found)
        warnings.push_back(path + ": " + warning);
    return windows;
}

std::vector<std::string> configFiles(const Environment &environment) {
    std::vector<std::string> files;
    if (const auto configured = configuredClaudeFolders(environment))
        for (const std::string &folder : *configured)
            files.push_back(folder + "/.claude.json");
    files.push_back(environment.home() + "/.claude.json");
    return files;
}

namespace {

// "limit reached", or "hit your" shortly followed by "limit" ("You've hit your limit",
// "You’ve hit your weekly limit").
bool saysLimitHit(std::string_view lower) {
    if (lower.find("limit reached") != std::string_view::npos)
        return true;
    const size_t hit = lower.find("hit your");
    const size_t limit = hit == std::string_view::npos ? hit : lower.find("limit", hit);
    return limit != std::string_view::npos && limit - hit <= 48;
}

struct WindowWord {
    std::string_view word;
    std::int64_t minutes;
    std::string_view bucket;
    std::string_view bucketName;
};
// A model's own limit first: "Opus weekly limit" is Opus's, not the account's weekly one.
constexpr std::array<WindowWord, 8> windowWords{{
    {"opus", weekMinutes, "opus", "Opus"},
    {"sonnet", weekMinutes, "sonnet", "Sonnet"},
    {"session", fiveHourMinutes, "", ""},
    {"5-hour", fiveHourMinutes, "", ""},
    {"5 hour", fiveHourMinutes, "", ""},
    {"weekly", weekMinutes, "", ""},
    {"7-day", weekMinutes, "", ""},
    {"7 day", weekMinutes, "", ""},
}};

} // namespace

std::optional<LimitReached> parseLimitReached(std::string_view text, std::int64_t writtenAt) {
    const std::string lower = lowercase(text);
    if (!saysLimitHit(lower))
        return std::nullopt;
    std::optional<std::int64_t> resetsAt;
    const size_t bar = lower.find('|');
    const size_t resets = lower.find("resets");
    if (bar != std::string::npos) {
        std::int64_t epoch = 0;
        size_t digits = 0;
        for (const char c : std::string_view(lower).substr(bar + 1)) {
            if (!std::isdigit(static_cast<unsigned char>(c)) || digits == 16)
                break;
            epoch = epoch * 10 + (c - '0');
            ++digits;
        }
        if (digits >= 9)
            resetsAt = epoch > 100'000'000'000 ? epoch / 1000 : epoch;
    } else if (resets != std::string::npos) {
        size_t from = resets + 6;
        while (from < lower.size() && (lower[from] == ' ' || lower[from] == ':'))
            ++from;
        if (lower.compare(from, 3, "at ") == 0)
            from += 3;
        resetsAt =
            parseResetClock(std::string_view(lower).substr(from), text.substr(from), writtenAt);
    }
    if (!resetsAt)
        return std::nullopt;
    LimitReached reached;
    reached.resetsAt = *resetsAt;
    // The window is named before the reset time, whose zone may hold any word.
    const std::string_view described = std::string_view(lower).substr(0, std::min(bar, resets));
    for (const WindowWord &word : windowWords)
        if (described.find(word.word) != std::string_view::npos) {
            reached.windowMinutes = word.minutes;
            reached.bucket = word.bucket;
            reached.bucketName = word.bucketName;
            return reached;
        }
    // The wording names no window: a reset within five hours can only be the short one.
    reached.windowMinutes =
        *resetsAt - writtenAt <= fiveHourMinutes * 60 + 60 ? fiveHourMinutes : weekMinutes;
    return reached;
}

std::optional<LimitObservation> parseLimitReachedLine(std::string_view line,
                                                      std::vector<std::string> &warnings) {
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
    RawWindow raw;
    raw.provider = Provider::claude;
    raw.source = LimitSource::claudeLimitReached;
    raw.bucket = reached->bucket;
    raw.bucketName = reached->bucketName;
    raw.observedAt = *writtenAt;
    raw.usedPercent = 100;
    raw.windowMinutes = static_cast<double>(reached->windowMinutes);
    raw.resetsAt = static_cast<double>(reached->resetsAt);
    return checkedWindow(raw, warnings);
}

} // namespace claude
