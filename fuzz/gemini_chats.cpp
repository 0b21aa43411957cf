// Gemini CLI chat recordings: any bytes as a .jsonl log read as collect reads it, and as an
// older whole-session document.
#include "DocumentInput.h"
#include "LogInput.h"
#include "providers/gemini/GeminiProvider.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size) {
    checkRead(geminiProvider(), data, size, readAsLog(geminiProvider(), data, size));
    checkDocument(geminiProvider(), data, size, "/home/me/.gemini/tmp/app/chats/session-1.json");
    return 0;
}
