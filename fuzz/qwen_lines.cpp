// Qwen Code chat recordings: any bytes as a log file, read as collect reads it.
#include "LogInput.h"
#include "providers/qwen/QwenProvider.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size) {
    checkRead(qwenProvider(), data, size, readAsLog(qwenProvider(), data, size));
    return 0;
}
