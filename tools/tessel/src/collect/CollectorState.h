#pragma once

#include "collect/FileTable.h"
#include "collect/MessageIndex.h"
#include "history/Breakdown.h"
#include "providers/ProviderDefinition.h"
#include "providers/UsageRecord.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// Everything collect remembers between runs, in docs/.tessel-state beside the history:
// the totals counted from logs so far, per file how far it was read, and the message index.
// Binary, little-endian, with a checksum; a file that fails any check, or that was written
// under other counting rules, is ignored and the logs are read again from the start (the
// history file itself keeps the figures of days whose logs are gone).
struct CollectorState {
    DayTotals totals;
    // Keyed by fileKey() of a provider prefix and the file's path: a hash keeps the table small
    // however long the paths are.
    FileTable files;
    MessageIndex index;
    // The models and projects counted usage was spent under.
    NameTable names;
    // The number the next newly seen file gets; numbers are never reused.
    std::uint32_t nextFileId = 1;
    // The price table the index's costs come from (Pricing::version).
    std::string priceVersion;
};

// The version of the counting rules. Raising it makes the first collect of the new version
// count every log again from its start and replace the figures of the days it can read.
inline constexpr std::uint32_t countingRules = 5;

// The key of a file in CollectorState::files.
std::uint64_t fileKey(std::string_view prefix, std::string_view name);
// fileKey(prefix, ...) to be continued with the name in pieces.
MessageKeyInProgress fileKeyStart(std::string_view prefix);

// The state file's bytes. Hands out the message index, which is unusable afterwards; with
// `breakdown`, also sums what its counted copies contributed per day, tool, model and project.
std::string serializeState(CollectorState &state, Breakdown *breakdown = nullptr);
class AtomicFileWriter;
// serializeState() into `file`, a MiB at a time, for the collector: a state of hundreds of
// thousands of files is never held in memory whole.
void writeState(AtomicFileWriter &file, CollectorState &state, Breakdown *breakdown);
// The checksum a state file ends with, over all of its bytes before it.
std::uint64_t stateChecksum(std::string_view bytes);
// nullopt when `bytes` is not a state file of this version. The message index refers to
// `bytes` until it is first used; `owner` keeps them alive.
// `done` is told of the stretches of `bytes` that were checked and are not needed again soon.
std::optional<CollectorState> deserializeState(std::string_view bytes,
                                               std::shared_ptr<const void> owner,
                                               const MessageIndex::BytesDone &done = {});
// nullopt when the file is missing or unusable.
std::optional<CollectorState> loadState(const std::string &path);
