#include "base/Day.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

// Howard Hinnant's civil-date algorithms: exact for the whole proleptic Gregorian calendar.
// Worked in 64 bits, so no year or day number overflows on the way.
DayNumber dayFromCivil(const CivilDate &date) {
    const std::int64_t y = std::int64_t{date.year} - (date.month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t mp = date.month > 2 ? date.month - 3 : date.month + 9;
    const std::int64_t doy = (153 * mp + 2) / 5 + date.day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return static_cast<DayNumber>(era * 146097 + doe - 719468);
}

CivilDate civilFromDay(DayNumber day) {
    const std::int64_t z = std::int64_t{day} + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = yoe + era * 400;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const auto d = static_cast<unsigned>(doy - (153 * mp + 2) / 5 + 1);
    const auto m = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
    return {static_cast<int>(y + (m <= 2 ? 1 : 0)), m, d};
}

std::string formatDay(DayNumber day) {
    const CivilDate date = civilFromDay(day);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", date.year, date.month, date.day);
    return text;
}

std::optional<DayNumber> parseDay(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return std::nullopt;
    int fields[3] = {0, 0, 0};
    const int starts[3] = {0, 5, 8};
    const int lengths[3] = {4, 2, 2};
    for (int f = 0; f < 3; ++f) {
        for (int i = 0; i < lengths[f]; ++i) {
            const char c = text[static_cast<size_t>(starts[f] + i)];
            if (c < '0' || c > '9')
                return std::nullopt;
            fields[f] = fields[f] * 10 + (c - '0');
        }
    }
    const CivilDate date{fields[0], static_cast<unsigned>(fields[1]),
                         static_cast<unsigned>(fields[2])};
    if (date.month < 1 || date.month > 12 || date.day < 1 || date.day > 31)
        return std::nullopt;
    const DayNumber day = dayFromCivil(date);
    const CivilDate back = civilFromDay(day); // rejects 2025-02-30 and the like
    if (back.month != date.month || back.day != date.day)
        return std::nullopt;
    return day;
}

DayNumber LocalDays::dayOf(std::int64_t epochSeconds) {
    // No time zone is a day or more from UTC, so times further out need no calendar at all.
    constexpr std::int64_t margin = 2 * 86400;
    if (epochSeconds < std::int64_t{firstCountedDay} * 86400 - margin)
        return firstCountedDay - 1;
    if (epochSeconds > std::int64_t{lastCountedDay + 1} * 86400 + margin)
        return lastCountedDay + 1;
    const std::int64_t bucket = epochSeconds >= 0 ? epochSeconds / 900 : (epochSeconds - 899) / 900;
    if (bucket == m_bucket)
        return m_day;
    const std::time_t t = static_cast<std::time_t>(epochSeconds);
    std::tm local{};
    if (!localtime_r(&t, &local))
        return lastCountedDay + 1;
    m_bucket = bucket;
    m_day = std::clamp(dayFromCivil({local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                                     static_cast<unsigned>(local.tm_mday)}),
                       firstCountedDay - 1, lastCountedDay + 1);
    return m_day;
}

std::int64_t localMidnight(DayNumber day) {
    const CivilDate date = civilFromDay(day);
    std::tm local{};
    local.tm_year = date.year - 1900;
    local.tm_mon = static_cast<int>(date.month) - 1;
    local.tm_mday = static_cast<int>(date.day);
    local.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&local));
}
