// ~/.claude.json: any bytes as the file whose cachedUsageUtilization report limits reads; the
// tray utility takes what the tool prints of it.
#include "LimitsCheck.h"

#include "limits/ClaudeLimits.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size) {
    std::vector<std::string> warnings;
    checkPrintedLimits(claude::parseUsageCache(
        std::string_view(reinterpret_cast<const char *>(data), size), warnings));
    return 0;
}
