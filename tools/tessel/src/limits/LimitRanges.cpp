#include "limits/LimitRanges.h"

#include <cctype>
#include <cmath>
#include <cstdio>

namespace {

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

bool inRange(double value, double low, double high) {
    return std::isfinite(value) && value >= low && value <= high;
}

std::string dropped(const RawWindow &raw, const std::string &what) {
    const std::int64_t minutes =
        inRange(raw.windowMinutes, 1, maxWindowMinutes) ? std::llround(raw.windowMinutes) : 0;
    return describeWindow(raw.source, minutes, raw.bucket) + ": " + what +
           " is out of range; the window is left out";
}

} // namespace

std::string describeWindow(LimitSource source, std::int64_t minutes, std::string_view bucket) {
    std::string text(limitSourceId(source));
    if (!bucket.empty())
        text.append(" ").append(bucket);
    if (minutes > 0)
        text.append(" ").append(std::to_string(minutes)).append("-minute");
    return text + " window";
}

bool isSafeBucketId(std::string_view id) {
    if (id.empty() || id.size() > maxBucketIdSize)
        return false;
    for (const char c : id)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.' &&
            c != ':')
            return false;
    return true;
}

std::string bucketDisplayName(std::string_view name, std::string_view id) {
    std::string text;
    for (const char c : name)
        text += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? ' ' : c;
    if (text.size() > maxBucketNameSize) {
        size_t cut = maxBucketNameSize;
        // Back to the first byte of a character, so the name stays valid UTF-8.
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xc0) == 0x80)
            --cut;
        text.resize(cut);
    }
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::string(id);
    text.erase(0, first);
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

std::optional<LimitObservation> checkedWindow(const RawWindow &raw,
                                              std::vector<std::string> &warnings) {
    if (!inRange(raw.windowMinutes, 1, maxWindowMinutes)) {
        warnings.push_back(dropped(raw, "its length of " + number(raw.windowMinutes) + " minutes"));
        return std::nullopt;
    }
    if (!inRange(raw.usedPercent, 0, maxUsedPercent)) {
        warnings.push_back(dropped(raw, "its used share of " + number(raw.usedPercent) + "%"));
        return std::nullopt;
    }
    LimitObservation reading;
    reading.provider = raw.provider;
    reading.source = raw.source;
    reading.bucket = raw.bucket;
    reading.bucketName = raw.bucketName;
    reading.observedAt = raw.observedAt;
    reading.usedPercent = raw.usedPercent;
    reading.windowMinutes = std::llround(raw.windowMinutes);
    if (raw.resetsAt || raw.resetsInSeconds) {
        const double reset = raw.resetsAt
                                 ? *raw.resetsAt
                                 : static_cast<double>(raw.observedAt) + *raw.resetsInSeconds;
        const double windowSeconds = static_cast<double>(reading.windowMinutes) * 60;
        const double at = static_cast<double>(raw.observedAt);
        if (!inRange(reset, at - windowSeconds - resetSlack, at + windowSeconds + resetSlack)) {
            warnings.push_back(dropped(
                raw, raw.resetsAt ? "its reset time " + number(reset)
                                  : "its reset in " + number(*raw.resetsInSeconds) + " seconds"));
            return std::nullopt;
        }
        reading.resetsAt = std::llround(reset);
    }
    if (const std::string problem = rangeProblem(reading); !problem.empty()) {
        warnings.push_back(describeWindow(raw.source, reading.windowMinutes, raw.bucket) + ": " +
                           problem + "; the window is left out");
        return std::nullopt;
    }
    return reading;
}

std::string rangeProblem(const LimitObservation &reading) {
    if (reading.windowMinutes < 1 || reading.windowMinutes > maxWindowMinutes)
        return "its length of " + std::to_string(reading.windowMinutes) +
               " minutes is out of range";
    if (!inRange(reading.usedPercent, 0, maxUsedPercent))
        return "its used share of " + number(reading.usedPercent) + "% is out of range";
    if (reading.observedAt < earliestReading || reading.observedAt > latestReading)
        return "its reading time " + std::to_string(reading.observedAt) + " is out of range";
    const std::int64_t reach = reading.windowMinutes * 60 + resetSlack;
    if (reading.resetsAt && (*reading.resetsAt < reading.observedAt - reach ||
                             *reading.resetsAt > reading.observedAt + reach))
        return "its reset time " + std::to_string(*reading.resetsAt) + " is out of range";
    if (!reading.bucket.empty() && !isSafeBucketId(reading.bucket))
        return "its limit id is not a plain name";
    return {};
}
