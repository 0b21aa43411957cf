// Kilo CLI's databases (OpenCode's, in Kilo's folder): any bytes as the database file.
#include "DatabaseInput.h"
#include "providers/kilo/KiloProvider.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size) {
    checkDatabase(kiloProvider(), data, size);
    return 0;
}
