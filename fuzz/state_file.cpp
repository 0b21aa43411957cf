// docs/.tessel-state: any bytes are taken or refused, and a state that was taken is written
// back so that it reads again to the same bytes.
#include "collect/CollectorState.h"
#include "providers/codex/CodexLog.h"

#include <cstdint>
#include <cstdlib>

namespace {

// A Codex session goes on from the progress the state remembers.
void readOn(const LogSession &remembered) {
    static constexpr std::string_view text =
        R"({"timestamp":"2026-03-14T10:00:00Z","type":"event_msg","payload":{"type":)"
        R"("token_count","info":{"total_token_usage":{"input_tokens":7,"output_tokens":3,)"
        R"("total_tokens":10}}}})";
    static simdjson::dom::parser parser;
    static const simdjson::dom::object line =
        parser.parse(text.data(), text.size()).get_object().value_unsafe();
    LocalDays days;
    NameTable names;
    ReadContext context{days, names, "rollout.jsonl"};
    LogSession session = remembered;
    std::vector<UsageRecord> records;
    codex::parseLine(context, session, line, records);
    for (const UsageRecord &record : records)
        if (record.tokens < 0)
            std::abort();
}

void useAndWriteBack(std::optional<CollectorState> state) {
    if (!state)
        return;
    state->files.forEach([](std::uint64_t, const FileState &file) { readOn(file.session); });
    // Merging and taking back decode the stored message index, which a state with nothing new
    // never does.
    static const Pricing pricing{
        "fuzz", [](Provider, std::string_view, const TokenSplit &split, DayNumber) {
            return RequestCost{split.sum(), split.input % 2 == 0};
        }};
    MessageIndex::Counting counting{state->totals, state->names, pricing};
    state->index.merge({UsageRecord{.key = 1,
                                    .tokens = 5,
                                    .rank = 5,
                                    .content = 9,
                                    .split = {5, 0, 0, 0, 0, 0},
                                    .source = 1,
                                    .day = 20000,
                                    .provider = Provider::claude},
                        // Absurd figures are held to what the state can store.
                        UsageRecord{.key = 2,
                                    .tokens = INT64_MAX,
                                    .rank = INT64_MIN,
                                    .split = {INT64_MAX, -1, 0, 0, 0, 0},
                                    .source = 3,
                                    .day = 20001,
                                    .provider = Provider::codex}},
                       counting);
    state->index.retract({2}, counting);
    Breakdown breakdown;
    const std::string written = serializeState(*state, &breakdown);
    auto back = deserializeState(written, nullptr);
    if (!back || serializeState(*back) != written)
        std::abort();
    for (const auto &[key, figures] : breakdown.rows)
        if (figures.tokens != figures.split.sum() || figures.tokens < 0)
            std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size) {
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    useAndWriteBack(deserializeState(input, nullptr));

    // The input as the body of a state file: after the writer's own magic, format and rules
    // versions and the empty price table version (the first 20 bytes) and before a correct
    // checksum, so that fuzzing reaches past all of them.
    static const std::string header = [] {
        CollectorState empty;
        return serializeState(empty).substr(0, 20);
    }();
    std::string bytes = header;
    bytes += input;
    const std::uint64_t sum = stateChecksum(bytes);
    bytes.append(reinterpret_cast<const char *>(&sum), sizeof sum);
    useAndWriteBack(deserializeState(bytes, nullptr));
    return 0;
}
