#include "OpenCodeLog.h"

#include "Errors.h"
#include "JsonFields.h"
#include "JsonStructure.h"

#include <simdjson.h>
#include <sqlite3.h>

#include <memory>

namespace opencode {

namespace ondemand = simdjson::ondemand;

std::optional<UsageRecord> parseMessage(std::string_view json, std::string_view id,
                                        std::string_view fallbackId,
                                        std::optional<std::int64_t> fallbackTime, LocalDays &days) {
    if (!hasSoundJsonStructure(json))
        return std::nullopt;
    static thread_local ondemand::parser parser;
    const simdjson::padded_string padded(json);
    ondemand::document document;
    ondemand::object object;
    if (parser.iterate(padded).get(document) || document.get_object().get(object))
        return std::nullopt;
    std::string_view text;
    std::string ownId(id);
    if (ownId.empty() && readString(object, "id", text))
        ownId = text;
    if (ownId.empty())
        ownId = fallbackId;
    if (readString(object, "role", text) && text != "assistant")
        return std::nullopt;

    ondemand::object time;
    std::optional<std::int64_t> created = fallbackTime;
    if (!object["time"].get_object().get(time)) {
        std::int64_t milliseconds;
        if (!time["created"].get_int64().get(milliseconds))
            created = milliseconds;
    }
    ondemand::object tokens, cache;
    if (object["tokens"].get_object().get(tokens))
        return std::nullopt;
    std::int64_t input, output, reasoning, cacheRead = 0, cacheWrite = 0;
    if (!readTokenCount(tokens, "input", input) || !readTokenCount(tokens, "output", output) ||
        !readTokenCount(tokens, "reasoning", reasoning))
        return std::nullopt;
    if (!tokens["cache"].get_object().get(cache) &&
        (!readTokenCount(cache, "read", cacheRead) || !readTokenCount(cache, "write", cacheWrite)))
        return std::nullopt;
    if (!created || ownId.empty())
        return std::nullopt;

    UsageRecord record;
    record.provider = Provider::opencode;
    record.tokens = input + output + reasoning + cacheRead + cacheWrite;
    record.rank = record.tokens;
    // Rounded down to the second, without overflowing at the lowest value.
    record.day = days.dayOf(*created / 1000 - (*created % 1000 < 0 ? 1 : 0));
    record.key = messageKey(Provider::opencode, ownId);
    return record;
}

namespace {

struct DatabaseCloser {
    void operator()(sqlite3 *database) const { sqlite3_close_v2(database); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt *statement) const { sqlite3_finalize(statement); }
};

[[noreturn]] void fail(const std::string &path, sqlite3 *database) {
    throw ToolError("cannot read the OpenCode database " + path + ": " +
                    (database ? sqlite3_errmsg(database) : "out of memory"));
}

std::string_view columnText(sqlite3_stmt *statement, int column) {
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement, column));
    return text ? std::string_view(text,
                                   static_cast<size_t>(sqlite3_column_bytes(statement, column)))
                : std::string_view();
}

} // namespace

std::vector<UsageRecord> readDatabase(const std::string &path, LocalDays &days) {
    sqlite3 *raw = nullptr;
    // Read-only: never writes, never creates, and in WAL mode never blocks OpenCode's writes.
    const int opened =
        sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    std::unique_ptr<sqlite3, DatabaseCloser> database(raw);
    if (opened != SQLITE_OK)
        fail(path, raw);
    sqlite3_busy_timeout(raw, 2000);

    sqlite3_stmt *rawStatement = nullptr;
    if (sqlite3_prepare_v2(raw, "SELECT id, data, time_created FROM message", -1, &rawStatement,
                           nullptr) != SQLITE_OK)
        fail(path, raw);
    std::unique_ptr<sqlite3_stmt, StatementFinalizer> statement(rawStatement);

    std::vector<UsageRecord> records;
    for (;;) {
        const int step = sqlite3_step(rawStatement);
        if (step == SQLITE_DONE)
            break;
        if (step != SQLITE_ROW)
            fail(path, raw);
        std::optional<std::int64_t> created;
        if (sqlite3_column_type(rawStatement, 2) == SQLITE_INTEGER)
            created = sqlite3_column_int64(rawStatement, 2);
        if (auto record = parseMessage(columnText(rawStatement, 1), columnText(rawStatement, 0), {},
                                       created, days))
            records.push_back(*record);
    }
    return records;
}

} // namespace opencode
