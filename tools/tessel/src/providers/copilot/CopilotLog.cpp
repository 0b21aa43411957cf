#include "providers/copilot/CopilotLog.h"

#include "base/Clock.h"
#include "base/Errors.h"
#include "providers/JsonFields.h"
#include "providers/SqliteReading.h"

#include <algorithm>
#include <map>

namespace copilot {

namespace {

constexpr std::string_view store = "the Copilot session store";

// A figure of a row: NULL is 0 and so is a negative number (a damaged row); nullopt for text
// or a number beyond any real count.
std::optional<std::int64_t> figure(sqlite3_stmt *row, int column) {
    if (column < 0 || sqlite3_column_type(row, column) == SQLITE_NULL)
        return 0;
    const auto value = columnInteger(row, column);
    if (!value || *value > maxTokensPerField)
        return std::nullopt;
    return std::max<std::int64_t>(*value, 0);
}

std::map<std::string, std::string, std::less<>> sessionFolders(sqlite3 *database) {
    std::map<std::string, std::string, std::less<>> folders;
    if (!hasTable(database, "sessions"))
        return folders;
    const SqliteStatement rows = prepare(database, "SELECT id, cwd FROM sessions");
    if (!rows)
        return folders;
    while (sqlite3_step(rows.get()) == SQLITE_ROW) {
        const std::string_view id = columnText(rows.get(), 0), folder = columnText(rows.get(), 1);
        if (!id.empty() && !folder.empty())
            folders.emplace(id, folder);
    }
    return folders;
}

} // namespace

std::optional<std::int64_t> createdAt(std::string_view text) {
    size_t end = 19;
    if (end < text.size() && text[end] == '.')
        while (++end < text.size() && text[end] >= '0' && text[end] <= '9') {
        }
    if (text.size() < 19 || end != text.size() || end > 40)
        return parseTimestamp(text);
    // Without a zone it is SQLite's own UTC time.
    char utc[41];
    text.copy(utc, end);
    utc[end] = 'Z';
    return parseTimestamp(std::string_view(utc, end + 1));
}

DatabaseRead readDatabase(const std::string &path, LocalDays &days) {
    const SqliteDatabase database = openReadOnly(path, store);
    sqlite3 *raw = database.get();
    if (!hasTable(raw, "assistant_usage_events"))
        throw ToolError("cannot read " + std::string(store) + " " + path +
                        ": it has no assistant_usage_events table");
    const auto folders = sessionFolders(raw);
    // Only the columns read, of those this version of the store has.
    std::string columns;
    if (const SqliteStatement info = prepare(raw, "PRAGMA table_info(assistant_usage_events)"))
        while (sqlite3_step(info.get()) == SQLITE_ROW)
            for (const std::string_view wanted :
                 {"id", "session_id", "model", "copilot_usage_model", "input_tokens",
                  "output_tokens", "cache_read_tokens", "cache_write_tokens", "reasoning_tokens",
                  "created_at"})
                if (columnText(info.get(), 1) == wanted)
                    columns += (columns.empty() ? "\"" : ", \"") + std::string(wanted) + "\"";
    const SqliteStatement rows =
        prepare(raw, "SELECT " + (columns.empty() ? std::string("*") : columns) +
                         " FROM assistant_usage_events");
    if (!rows)
        throw ToolError("cannot read " + std::string(store) + " " + path + ": " +
                        sqliteReason(raw));
    sqlite3_stmt *row = rows.get();
    const int id = columnIndex(row, "id"), session = columnIndex(row, "session_id"),
              model = columnIndex(row, "model"), billed = columnIndex(row, "copilot_usage_model"),
              input = columnIndex(row, "input_tokens"), output = columnIndex(row, "output_tokens"),
              cacheRead = columnIndex(row, "cache_read_tokens"),
              cacheWrite = columnIndex(row, "cache_write_tokens"),
              reasoning = columnIndex(row, "reasoning_tokens"),
              created = columnIndex(row, "created_at");

    DatabaseRead read;
    // Rows come session by session: the last session's folder is looked up once.
    std::string lastSession;
    NameId lastProject = 0;
    std::string content;
    for (;;) {
        const int step = sqlite3_step(row);
        if (step == SQLITE_DONE)
            break;
        if (step != SQLITE_ROW) {
            read.problem = std::string(store) + " " + path + ": " + sqliteReason(raw);
            break;
        }
        const std::string_view sessionId = columnText(row, session);
        const auto eventId = columnInteger(row, id);
        std::optional<std::int64_t> time = createdAt(columnText(row, created));
        if (const auto number = columnInteger(row, created); !time && number)
            time = *number > 100'000'000'000 ? secondsOfMilliseconds(*number) : *number;
        const auto in = figure(row, input), out = figure(row, output),
                   cached = figure(row, cacheRead), written = figure(row, cacheWrite),
                   thought = figure(row, reasoning);
        if (sessionId.empty() || !eventId || !time || !in || !out || !cached || !written ||
            !thought)
            continue;
        std::string_view modelName = columnText(row, model);
        if (modelName.empty())
            modelName = columnText(row, billed);

        UsageRecord record;
        record.provider = Provider::copilot;
        // The cache is part of input, the reasoning part of output.
        record.split.cacheRead = std::min(*cached, *in);
        record.split.cacheWrite = std::min(*written, *in - record.split.cacheRead);
        record.split.input = *in - record.split.cacheRead - record.split.cacheWrite;
        record.split.reasoning = std::min(*thought, *out);
        record.split.output = *out - record.split.reasoning;
        record.tokens = record.split.sum();
        record.rank = record.tokens;
        record.day = days.dayOf(*time);
        record.model = read.names.add(modelName);
        if (sessionId != lastSession) {
            lastSession = sessionId;
            const auto folder = folders.find(sessionId);
            lastProject = folder == folders.end() ? 0 : read.names.add(folder->second);
        }
        record.project = lastProject;
        record.key = messageKey(Provider::copilot, sessionId, std::to_string(*eventId));
        content.assign(modelName);
        for (const std::int64_t value : {*time, *in, *out, *cached, *written, *thought})
            content.append(reinterpret_cast<const char *>(&value), sizeof value);
        content += '\x01';
        record.content = messageKey(Provider::copilot, sessionId, content);
        read.records.push_back(record);
    }
    return read;
}

} // namespace copilot
