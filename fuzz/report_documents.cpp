// The utility's decoders of the tool's two documents: any bytes decode or fail with
// ReportFormatError, never anything worse.
#include "cli/DescribedError.h"
#include "cli/ReportFormats.h"

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
    return 0;
}
