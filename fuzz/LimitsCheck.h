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
        size_t account = 0;
        for (const LimitEntry &entry : report.windows)
            account += entry.observation.bucket.empty() ? 1 : 0;
        if (static_cast<size_t>(decoded.windows.size()) != account)
            std::abort();
        renderLimitsText(report, now);
    }
}
