// Pi session files: any bytes as a log file, read as collect reads it.
#include "LogInput.h"
#include "providers/pi/PiProvider.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size) {
    checkRead(piProvider(), data, size, readAsLog(piProvider(), data, size));
    return 0;
}
