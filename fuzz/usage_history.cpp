// docs/usage.json: any text is read or refused; what is read is written back in a form that
// reads again to the same text.
#include "base/Errors.h"
#include "history/UsageHistory.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size) {
    UsageHistory history;
    try {
        history = parseUsageHistory(std::string(reinterpret_cast<const char *>(data), size));
    } catch (const HistoryFormatError &) {
        return 0;
    }
    const std::string written = renderUsageHistory(history);
    try {
        if (renderUsageHistory(parseUsageHistory(written)) != written)
            std::abort();
    } catch (const HistoryFormatError &) {
        std::abort(); // the writer wrote what the reader refuses
    }
    return 0;
}
