#include "base/Clock.h"

#include "base/Errors.h"

#include <charconv>
#include <ctime>

namespace {

bool readDigits(std::string_view text, size_t at, size_t count, int &value) {
    if (at + count > text.size())
        return false;
    value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

} // namespace

std::optional<std::int64_t> parseTimestamp(std::string_view text) {
    int year, month, day, hour, minute, second;
    if (text.size() < 19 || text[4] != '-' || text[7] != '-' ||
        (text[10] != 'T' && text[10] != ' ') || text[13] != ':' || text[16] != ':')
        return std::nullopt;
    if (!readDigits(text, 0, 4, year) || !readDigits(text, 5, 2, month) ||
        !readDigits(text, 8, 2, day) || !readDigits(text, 11, 2, hour) ||
        !readDigits(text, 14, 2, minute) || !readDigits(text, 17, 2, second))
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return std::nullopt;
    size_t at = 19;
    if (at < text.size() && text[at] == '.') {
        ++at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9')
            ++at;
    }
    const std::int64_t clock = hour * 3600 + minute * 60 + second;
    if (at == text.size()) {
        std::tm local{};
        local.tm_year = year - 1900;
        local.tm_mon = month - 1;
        local.tm_mday = day;
        local.tm_hour = hour;
        local.tm_min = minute;
        local.tm_sec = second;
        local.tm_isdst = -1;
        return static_cast<std::int64_t>(std::mktime(&local));
    }
    std::int64_t offset = 0;
    if (text[at] == 'Z' || text[at] == 'z') {
        ++at;
    } else if (text[at] == '+' || text[at] == '-') {
        const int sign = text[at] == '-' ? -1 : 1;
        int offsetHours, offsetMinutes;
        if (!readDigits(text, at + 1, 2, offsetHours))
            return std::nullopt;
        size_t minutesAt = at + 3;
        if (minutesAt < text.size() && text[minutesAt] == ':')
            ++minutesAt;
        if (!readDigits(text, minutesAt, 2, offsetMinutes))
            return std::nullopt;
        offset = sign * (offsetHours * 3600 + offsetMinutes * 60);
        at = minutesAt + 2;
    } else {
        return std::nullopt;
    }
    if (at != text.size())
        return std::nullopt;
    const DayNumber date =
        dayFromCivil({year, static_cast<unsigned>(month), static_cast<unsigned>(day)});
    return static_cast<std::int64_t>(date) * 86400 + clock - offset;
}

std::int64_t currentTime(const Environment &environment) {
    if (const auto fixed = environment.get("TESSEL_NOW")) {
        std::int64_t seconds = 0;
        const auto [end, error] =
            std::from_chars(fixed->data(), fixed->data() + fixed->size(), seconds);
        if (error == std::errc() && end == fixed->data() + fixed->size())
            return seconds;
        if (const auto parsed = parseTimestamp(*fixed))
            return *parsed;
        throw ToolError("TESSEL_NOW is neither seconds since the epoch nor an ISO-8601 time: " +
                        *fixed);
    }
    return static_cast<std::int64_t>(std::time(nullptr));
}

DayNumber today(const Environment &environment) {
    LocalDays days;
    const DayNumber day = days.dayOf(currentTime(environment));
    if (!isCountedDay(day))
        throw ToolError("the clock's day lies outside the years 1970 to 9999");
    return day;
}
