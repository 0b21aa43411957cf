// GitHub Copilot CLI's session store: any bytes as the database file.
#include "DatabaseInput.h"
#include "providers/copilot/CopilotProvider.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size) {
    checkDatabase(copilotProvider(), data, size);
    return 0;
}
