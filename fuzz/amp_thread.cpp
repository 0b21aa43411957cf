// Amp thread documents, in either of their shapes, as collect reads them.
#include "DocumentInput.h"
#include "providers/amp/AmpProvider.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size) {
    checkDocument(ampProvider(), data, size, "/home/me/.local/share/amp/threads/T-1.json");
    return 0;
}
