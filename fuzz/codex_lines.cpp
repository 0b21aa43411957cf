// Codex rollout files: any bytes as a log file, read as collect reads it.
#include "LogInput.h"
#include "providers/codex/CodexProvider.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size) {
    checkRead(codexProvider(), data, size, readAsLog(codexProvider(), data, size));
    return 0;
}
