// The utility's decoders of the tool's documents (usage, today and limits): any bytes decode
// or fail with ReportFormatError, never anything worse, and the limits keep the account's
// windows and the buckets' apart.
#include "cli/DescribedError.h"
#include "cli/LimitsFormat.h"
#include "cli/ReportFormats.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    try {
        UsageReport::decode(bytes);
    } catch (const ReportFormatError &) {
    }
    try {
        TodayReportResponse::decode(bytes);
    } catch (const ReportFormatError &) {
    }
    try {
        const LimitsResponse limits = LimitsResponse::decode(bytes);
        for (const LimitWindow &window : limits.windows)
            if (window.bucket)
                std::abort();
        for (const LimitWindow &window : limits.buckets)
            if (!window.bucket || window.bucket->id.isEmpty() || window.bucket->name.isEmpty())
                std::abort();
        // One line in the menu: the description of what was left out holds no line break.
        if (const auto skipped = limits.skippedDescription();
            skipped && skipped->contains(QLatin1Char('\n')))
            std::abort();
    } catch (const ReportFormatError &) {
    }
    return 0;
}
