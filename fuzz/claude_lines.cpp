// Claude Code session logs: any bytes as a log file, read as collect reads it.
#include "LogInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size) {
    checkRead(LogKind::claude, data, size, readAsLog(LogKind::claude, data, size));
    return 0;
}
