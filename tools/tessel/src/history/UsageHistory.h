#pragma once

#include "base/Day.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

// The stored history, docs/usage.json: tokens per day and provider id. Provider ids the tool
// does not know are kept as they were found, so nothing a user stored is dropped.
struct UsageHistory {
    std::map<DayNumber, std::map<std::string, std::int64_t>> days;
    // Marks a repository filled by `tessel demo`: collect then invents figures instead of
    // reading the user's logs.
    bool demo = false;
    // The host name of the machine whose own history this is (docs/machines/<id>.json); a
    // label for people reading the repository, empty in the summed docs/usage.json.
    std::string host;

    // Figures as shown: one below zero (never written by the tool) counts as none.
    std::int64_t dayTotal(DayNumber day) const;
    // The provider ids with figures on any of the days from `first` to `last`, the three
    // original ones first and always, the others in the order of their ids.
    std::vector<std::string> providersBetween(DayNumber first, DayNumber last) const;
    std::int64_t tokens(DayNumber day, const std::string &provider) const;

    friend bool operator==(const UsageHistory &, const UsageHistory &) = default;
};

// The largest usage file read: far more than decades of daily rows of every provider.
inline constexpr std::size_t usageFileLimit = std::size_t{32} << 20;

// Parses a usage file. Throws HistoryFormatError, naming the file as `name`, when the text is
// not one.
UsageHistory parseUsageHistory(const std::string &json,
                               const std::string &name = "docs/usage.json");

struct UsageFileRead {
    std::size_t maxBytes = usageFileLimit;
    // How messages name the file; the path when empty.
    std::string name;
};
// Reads `path`, never through a symbolic link; nullopt when it does not exist. Throws
// FileError or HistoryFormatError.
std::optional<UsageHistory> readUsageHistory(const std::string &path,
                                             const UsageFileRead &how = {});
// The usage file's text: rows ordered by day, each with the providers it holds (the three
// original ones always, zero or not) and a total equal to the sum of its providers.
std::string renderUsageHistory(const UsageHistory &history);
