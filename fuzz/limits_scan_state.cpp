// The limits' scan state file: any bytes are taken or refused, and a state that was taken is
// written back so that it reads again to the same state.
#include "limits/LimitsScanState.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size) {
    const auto state =
        decodeScanState(std::string_view(reinterpret_cast<const char *>(data), size));
    if (!state)
        return 0;
    const auto again = decodeScanState(encodeScanState(*state));
    if (!again || *again != *state)
        std::abort();
    return 0;
}
