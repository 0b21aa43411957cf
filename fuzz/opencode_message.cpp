// OpenCode message documents, as a message file or a database row holds them.
#include "providers/opencode/OpenCodeLog.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size) {
    const std::string_view json(reinterpret_cast<const char *>(data), size);
    LocalDays days;
    NameTable names;
    for (const auto fallbackTime :
         {std::optional<std::int64_t>(), std::optional<std::int64_t>(-1)}) {
        const auto record =
            opencode::parseMessage(json, {}, "msg_fallback", fallbackTime, days, names);
        if (record && (record->tokens < 0 || record->key == 0 ||
                       record->day < firstCountedDay - 1 || record->day > lastCountedDay + 1))
            std::abort();
    }
    return 0;
}
