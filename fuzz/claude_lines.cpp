// Claude Code session logs: any bytes as a log file, read as collect reads it.
#include "LogInput.h"
#include "providers/claude/ClaudeProvider.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size) {
    checkRead(claudeProvider(), data, size, readAsLog(claudeProvider(), data, size));
    return 0;
}
