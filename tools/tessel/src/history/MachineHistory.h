#pragma once

#include "base/Day.h"
#include "history/RepositoryFiles.h"
#include "history/UsageHistory.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Several machines publish to one repository. Each keeps its own history in
// docs/machines/<id>.json, which only that machine ever writes, and docs/usage.json is the sum
// of all of them, regenerated rather than merged.

std::string machineHistoryPath(const RepositoryFiles &files, const std::string &machineId);

// True when any machine keeps a history in the repository.
bool hasMachineHistories(const RepositoryFiles &files);

// Another machine's file is outside input: anyone who can push to the repository can write
// it. A file past these bounds is left out of the sum.
inline constexpr std::size_t machineFileLimit = std::size_t{4} << 20;
inline constexpr std::size_t machineFileRowLimit = 10'000;  // 27 years of days
inline constexpr std::size_t machineFileProviderLimit = 32; // distinct names in one file
inline constexpr std::size_t summedProviderLimit = 64;      // distinct names in the sum
// Of one provider on one day: no one comes near it, and thousands of machines' figures still add
// up exactly, far from overflowing.
inline constexpr std::int64_t maxDailyTokens = 1'000'000'000'000'000;
inline constexpr std::size_t providerNameLimit = 32;

// Letters, digits, "-" and "_", 1 to 32 of them: a name that is safe in every document.
bool isSafeProviderName(std::string_view name);

// Why `history` cannot be summed (a figure below zero or past maxDailyTokens, a day before
// 1970, an unsafe provider name, too many rows or providers), or nullopt when it can.
std::optional<std::string> unsoundMachineHistory(const UsageHistory &history);

// The sum of every machine's history, day by day and provider by provider, with days up to
// the one after `today` (another machine's clock may run a day ahead). A file that cannot be
// read or fails the bounds above is left out, and named with its host in `warnings`; so are
// later days. Throws FileError when docs/machines is a symbolic link.
UsageHistory summedHistory(const RepositoryFiles &files, DayNumber today,
                           std::vector<std::string> &warnings);

// Rewrites docs/usage.json as summedHistory() when its text changes.
void writeSummedUsage(const RepositoryFiles &files, DayNumber today,
                      std::vector<std::string> &warnings);

// `a` plus `b`, cell by cell; `a`'s host and demo mark.
UsageHistory addedHistories(UsageHistory a, const UsageHistory &b);
// `a` minus `b`, cell by cell and never below zero; a day `b` takes whole goes.
UsageHistory subtractedHistory(UsageHistory a, const UsageHistory &b);

// What this machine counted that stays published under an id it used before (the file of a
// copied home keeps the days counted before the copy): the collector's count minus this is
// what the machine's current file holds, so nothing is published twice. Kept beside the
// collector's state, for the current id only: docs/.tessel-state.inherited-<id>.json.
std::string inheritedPath(const RepositoryFiles &files, const std::string &machineId);
UsageHistory readInherited(const RepositoryFiles &files, const std::string &machineId);
void writeInherited(const RepositoryFiles &files, const std::string &machineId,
                    const UsageHistory &inherited);
