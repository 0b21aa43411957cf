// The utility's decoder of the tool's breakdown report: any bytes decode or fail with
// ReportFormatError, never anything worse.
#include "cli/BreakdownFormat.h"
#include "cli/DescribedError.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    try {
        BreakdownReport::decode(bytes);
    } catch (const ReportFormatError &) {
    }
    return 0;
}
