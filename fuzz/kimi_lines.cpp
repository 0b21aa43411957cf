// Kimi CLI wire files: any bytes as a log file, read as collect reads it.
#include "LogInput.h"
#include "providers/kimi/KimiProvider.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size) {
    checkRead(kimiProvider(), data, size, readAsLog(kimiProvider(), data, size));
    return 0;
}
