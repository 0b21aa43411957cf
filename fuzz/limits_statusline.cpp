// What Claude Code hands the status line: any bytes as its input, then the snapshot it keeps,
// merged into the one before and read back. The snapshot is always JSON that reads back to
// what it says (shares are kept to two decimals), and the tray utility takes what the tool
// prints of them.
#include "LimitsCheck.h"

#include "base/JsonStructure.h"
#include "limits/ClaudeLimits.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size) {
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    std::vector<std::string> warnings;
    constexpr std::int64_t now = 1773489600;
    const auto windows = claude::parseStatuslineInput(input, now, warnings);
    if (!windows)
        return 0;
    static std::vector<LimitObservation> saved;
    saved = claude::mergeSnapshot(saved, *windows);
    const std::string snapshot = claude::renderSnapshot(saved);
    if (!hasSoundJsonStructure(snapshot) ||
        claude::renderSnapshot(claude::parseSnapshot(snapshot)) != snapshot)
        std::abort();
    std::vector<LimitObservation> readings = *windows;
    readings.insert(readings.end(), saved.begin(), saved.end());
    checkPrintedLimits(readings);
    return 0;
}
