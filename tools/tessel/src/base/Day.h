#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A calendar day, counted in days since 1970-01-01 (negative before).
using DayNumber = std::int32_t;

// The days the tool counts and stores: 1970-01-01 to 9999-12-31, the years "yyyy-MM-dd"
// holds from the epoch on. A usage event dated outside them is a broken clock or a wrong
// unit, and would give a day no reader takes.
inline constexpr DayNumber firstCountedDay = 0;
inline constexpr DayNumber lastCountedDay = 2932896;

constexpr bool isCountedDay(DayNumber day) {
    return day >= firstCountedDay && day <= lastCountedDay;
}

struct CivilDate {
    int year;
    unsigned month;
    unsigned day;
};

DayNumber dayFromCivil(const CivilDate &date);
CivilDate civilFromDay(DayNumber day);

// "yyyy-MM-dd", the form of every day the tool writes.
std::string formatDay(DayNumber day);
// Only strict "yyyy-MM-dd" with a real date; anything else is nullopt.
std::optional<DayNumber> parseDay(std::string_view text);

// Maps points in time to local calendar days in the process's time zone (TZ). Log lines come
// in time order, so one remembered quarter hour spares most calls into the C library; every
// real UTC offset and DST change falls on a quarter-hour boundary. A time whose local day is
// not a counted day gives firstCountedDay - 1 or lastCountedDay + 1, whatever its size.
class LocalDays {
public:
    DayNumber dayOf(std::int64_t epochSeconds);

private:
    std::int64_t m_bucket = INT64_MIN;
    DayNumber m_day = 0;
};

// Seconds since the epoch of local midnight starting `day` (the first instant of that day).
std::int64_t localMidnight(DayNumber day);
