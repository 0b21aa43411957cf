// Claude Code's limit-reached messages: any bytes as a log line, and as the message's text
// written at a fixed moment; the tray utility takes what the tool prints of them.
#include "LimitsCheck.h"

#include "limits/ClaudeLimits.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    std::vector<LimitObservation> readings;
    std::vector<std::string> warnings;
    if (auto line = claude::parseLimitReachedLine(text, warnings))
        readings.push_back(*line);
    constexpr std::int64_t written = 1769198400;
    if (const auto reached = claude::parseLimitReached(text, written)) {
        RawWindow raw;
        raw.provider = Provider::claude;
        raw.source = LimitSource::claudeLimitReached;
        raw.bucket = reached->bucket;
        raw.bucketName = reached->bucketName;
        raw.observedAt = written;
        raw.usedPercent = 100;
        raw.windowMinutes = static_cast<double>(reached->windowMinutes);
        raw.resetsAt = static_cast<double>(reached->resetsAt);
        if (auto reading = checkedWindow(raw, warnings))
            readings.push_back(*reading);
    }
    checkPrintedLimits(readings);
    return 0;
}
