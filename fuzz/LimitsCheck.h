#pragma once

#include "cli/DescribedError.h"
#include "cli/LimitsFormat.h"
#include "limits/LimitRanges.h"
#include "limits/LimitsReport.h"

#include <QByteArray>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

// What the tool prints of any readings its readers gave: every figure in range, and the
// document taken whole by the tray utility's own decoder, window for window.
inline void checkPrintedLimits(const std::vector<LimitObservation> &readings) {
    for (const LimitObservation &reading : readings)
        if (!rangeProblem(reading).empty())
            std::abort();
    // At the time of the newest reading, and long after every reset.
    std::int64_t newest = earliestReading;
    for (const LimitObservation &reading : readings)
        newest = std::max(newest, reading.observedAt);
    for (const std::int64_t now : {newest, newest + std::int64_t{400 * 86400}}) {
        std::vector<std::string> warnings;
        const LimitsReport report = buildLimitsReport(readings, now, warnings);
        const std::string json = renderLimitsJson(report);
        LimitsResponse decoded;
        try {
            decoded = LimitsResponse::decode(
                QByteArray(json.data(), static_cast<qsizetype>(json.size())));
        } catch (const ReportFormatError &) {
            std::abort();
        }
        // Every window comes through, the account's among the windows and each bucket's among
        // the buckets under its own id and name.
        if (!decoded.skipped.isEmpty())
            std::abort();
        qsizetype account = 0, bucket = 0;
        for (const LimitEntry &entry : report.windows) {
            const LimitObservation &reading = entry.observation;
            if (reading.bucket.empty()) {
                ++account;
                continue;
            }
            if (bucket >= decoded.buckets.size())
                std::abort();
            const std::optional<LimitBucket> &decodedBucket = decoded.buckets[bucket++].bucket;
            if (!decodedBucket || decodedBucket->id != QString::fromStdString(reading.bucket) ||
                decodedBucket->name != QString::fromStdString(reading.bucketName))
                std::abort();
        }
        if (decoded.windows.size() != account || decoded.buckets.size() != bucket)
            std::abort();
        renderLimitsText(report, now);
    }
}
