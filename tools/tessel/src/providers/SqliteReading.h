#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// Reading another tool's SQLite database without ever getting in its way: opened read-only
// (never created, never written, in WAL mode never blocking the tool's writes), waiting a
// moment for a writer's lock rather than failing at once.
struct SqliteCloser {
    void operator()(sqlite3 *database) const { sqlite3_close_v2(database); }
};
struct SqliteFinalizer {
    void operator()(sqlite3_stmt *statement) const { sqlite3_finalize(statement); }
};
using SqliteDatabase = std::unique_ptr<sqlite3, SqliteCloser>;
using SqliteStatement = std::unique_ptr<sqlite3_stmt, SqliteFinalizer>;

// Opens `path` read-only. Throws ToolError naming `what` ("the Copilot session store") when it
// cannot be opened or is not a database.
SqliteDatabase openReadOnly(const std::string &path, std::string_view what);

// The statement for `sql`, or null when it cannot be prepared (a missing table or column).
SqliteStatement prepare(sqlite3 *database, const std::string &sql);

bool hasTable(sqlite3 *database, const char *table);

// The index of the result column named `name`, or -1.
int columnIndex(sqlite3_stmt *statement, std::string_view name);

// A text column's value; empty for NULL, numbers, blobs and a column of -1.
std::string_view columnText(sqlite3_stmt *statement, int column);

// An integer column's value (a whole real counts); nullopt for NULL, text, blobs, -1.
std::optional<std::int64_t> columnInteger(sqlite3_stmt *statement, int column);

// Why the last call on `database` failed.
std::string sqliteReason(sqlite3 *database);
