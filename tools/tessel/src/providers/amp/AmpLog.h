#pragma once

#include "providers/ProviderDefinition.h"

#include <string>
#include <string_view>
#include <vector>

// Amp keeps each thread as one JSON document, threads/T-<id>.json, rewritten whole as the
// thread grows. Two shapes occur: a usage ledger (usageLedger.events[], each with tokens
// {input, output} and, for a model call, the assistant message it produced as toMessageId),
// and the newer usage on the assistant messages themselves (messages[].usage with input,
// output, cache creation and cache read). A thread can hold both.
namespace amp {

// Reads a thread. Every ledger event counts its input + output, plus the cache figures of the
// message a model call produced, taken from that message's usage when its input and output are
// the call's; an event whose usage another thread of its own holds (a subagent's, marked by
// subagentThreadID) is left to that thread. Every assistant message with usage that no ledger
// event stands for counts input + output + cache creation + cache read. Each is known by its
// thread and event or message id, ranked by its tokens: a rewritten thread counts nothing twice
// and a grown figure replaces the old one. The time is the usage's (else the message's, else
// the last user message's, else the thread's creation); the project is the thread's first
// workspace tree.
ParseOutcome parseThread(ReadContext &context, std::string_view json,
                         std::vector<UsageRecord> &records);

// A file:// address as a path (percent escapes decoded); other addresses as they are.
std::string pathOfAddress(std::string_view address);

} // namespace amp
