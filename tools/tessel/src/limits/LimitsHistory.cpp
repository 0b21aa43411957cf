#include "limits/LimitsHistory.h"

#include "base/AtomicFile.h"
#include "limits/LimitNumbers.h"
#include "limits/LimitRanges.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>

namespace {

// Each window keeps at most a hundred readings, each a short line.
constexpr std::uint64_t maxHistoryBytes = 4 << 20;

std::optional<Provider> providerNamed(const std::string &id) {
    return providerWithId(id);
}

std::optional<LimitSource> sourceNamed(const std::string &id) {
    for (const LimitSource source : {LimitSource::codexLog, LimitSource::claudeStatusline,
                                     LimitSource::claudeCache, LimitSource::claudeLimitReached})
        if (limitSourceId(source) == id)
            return source;
    return std::nullopt;
}

} // namespace

std::string limitsStateFolder(const Environment &environment) {
    if (const auto state = environment.get("XDG_STATE_HOME"))
        return *state + "/tessel";
    return environment.home() + "/.local/state/tessel";
}

std::vector<LimitObservation> readLimitHistory(const std::string &path) {
    std::vector<LimitObservation> history;
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        return history;
    std::istringstream lines(readWholeFile(path, maxHistoryBytes));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string provider, source;
        LimitObservation reading;
        std::int64_t resetsAt = 0;
        if (!(fields >> provider >> reading.windowMinutes >> resetsAt >> reading.observedAt >>
              reading.usedPercent >> source) ||
            !std::isfinite(reading.usedPercent) || reading.windowMinutes <= 0)
            continue;
        // A bucket's readings are written "provider:bucket", which older versions skip.
        if (const size_t colon = provider.find(':'); colon != std::string::npos) {
            reading.bucket = provider.substr(colon + 1);
            reading.bucketName = reading.bucket;
            provider.resize(colon);
        }
        const auto knownProvider = providerNamed(provider);
        const auto knownSource = sourceNamed(source);
        if (!knownProvider || !knownSource)
            continue;
        reading.provider = *knownProvider;
        reading.source = *knownSource;
        reading.resetsAt = resetsAt;
        if (rangeProblem(reading).empty())
            history.push_back(reading);
    }
    return history;
}

std::vector<LimitObservation> mergeLimitHistory(std::vector<LimitObservation> history,
                                                const std::vector<LimitObservation> &fresh,
                                                std::int64_t now, size_t perWindow) {
    for (const LimitObservation &reading : fresh)
        if (reading.resetsAt)
            history.push_back(reading);
    std::erase_if(history, [now](const LimitObservation &reading) {
        return !reading.resetsAt || *reading.resetsAt <= now;
    });
    std::stable_sort(history.begin(), history.end(),
                     [](const LimitObservation &a, const LimitObservation &b) {
                         if (a.provider != b.provider)
                             return a.provider < b.provider;
                         if (a.bucket != b.bucket)
                             return a.bucket < b.bucket;
                         if (a.windowMinutes != b.windowMinutes)
                             return a.windowMinutes < b.windowMinutes;
                         return a.observedAt < b.observedAt;
                     });
    history.erase(std::unique(history.begin(), history.end(),
                              [](const LimitObservation &a, const LimitObservation &b) {
                                  return a.provider == b.provider && a.bucket == b.bucket &&
                                         a.windowMinutes == b.windowMinutes &&
                                         a.observedAt == b.observedAt;
                              }),
                  history.end());
    // Per window (provider, bucket and length), keep the first reading and the latest ones.
    std::vector<LimitObservation> kept;
    for (size_t start = 0; start < history.size();) {
        size_t end = start;
        while (end < history.size() && history[end].provider == history[start].provider &&
               history[end].bucket == history[start].bucket &&
               history[end].windowMinutes == history[start].windowMinutes)
            ++end;
        const size_t count = end - start;
        if (count <= perWindow || perWindow < 2) {
            kept.insert(kept.end(), history.begin() + static_cast<std::ptrdiff_t>(start),
                        history.begin() + static_cast<std::ptrdiff_t>(end));
        } else {
            kept.push_back(history[start]);
            kept.insert(kept.end(),
                        history.begin() + static_cast<std::ptrdiff_t>(end - perWindow + 1),
                        history.begin() + static_cast<std::ptrdiff_t>(end));
        }
        start = end;
    }
    return kept;
}

void writeLimitHistory(const std::string &path, const std::vector<LimitObservation> &history) {
    std::string text;
    for (const LimitObservation &reading : history)
        text += std::string(providerId(reading.provider)) +
                (reading.bucket.empty() ? "" : ":" + reading.bucket) + ' ' +
                std::to_string(reading.windowMinutes) + ' ' +
                std::to_string(reading.resetsAt.value_or(0)) + ' ' +
                std::to_string(reading.observedAt) + ' ' + formatNumber(reading.usedPercent) + ' ' +
                std::string(limitSourceId(reading.source)) + '\n';
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    writeFileAtomically(path, text);
}
