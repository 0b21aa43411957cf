#include "providers/SqliteReading.h"

#include "base/Errors.h"

#include <cmath>

std::string sqliteReason(sqlite3 *database) {
    return database ? sqlite3_errmsg(database) : "out of memory";
}

SqliteDatabase openReadOnly(const std::string &path, std::string_view what) {
    sqlite3 *raw = nullptr;
    const int opened =
        sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    SqliteDatabase database(raw);
    const auto fail = [&] {
        throw ToolError("cannot read " + std::string(what) + " " + path + ": " + sqliteReason(raw));
    };
    if (opened != SQLITE_OK)
        fail();
    sqlite3_busy_timeout(raw, 2000);
    // Opening is lazy: a file that is not a database only says so when first read.
    const SqliteStatement check = prepare(raw, "SELECT count(*) FROM sqlite_master");
    if (!check || sqlite3_step(check.get()) != SQLITE_ROW)
        fail();
    return database;
}

SqliteStatement prepare(sqlite3 *database, const std::string &sql) {
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(database, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        return nullptr;
    }
    return SqliteStatement(raw);
}

bool hasTable(sqlite3 *database, const char *table) {
    const SqliteStatement statement =
        prepare(database, "SELECT 1 FROM sqlite_master WHERE type='table' AND name=?");
    if (!statement)
        return false;
    sqlite3_bind_text(statement.get(), 1, table, -1, SQLITE_STATIC);
    return sqlite3_step(statement.get()) == SQLITE_ROW;
}

int columnIndex(sqlite3_stmt *statement, std::string_view name) {
    for (int column = 0; column < sqlite3_column_count(statement); ++column)
        if (const char *own = sqlite3_column_name(statement, column); own && name == own)
            return column;
    return -1;
}

std::string_view columnText(sqlite3_stmt *statement, int column) {
    if (column < 0 || sqlite3_column_type(statement, column) != SQLITE_TEXT)
        return {};
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement, column));
    return text ? std::string_view(text,
                                   static_cast<size_t>(sqlite3_column_bytes(statement, column)))
                : std::string_view();
}

std::optional<std::int64_t> columnInteger(sqlite3_stmt *statement, int column) {
    if (column < 0)
        return std::nullopt;
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
        return sqlite3_column_int64(statement, column);
    case SQLITE_FLOAT: {
        const double real = sqlite3_column_double(statement, column);
        if (!std::isfinite(real) || std::fabs(real) > 9e18)
            return std::nullopt;
        return static_cast<std::int64_t>(std::floor(real));
    }
    default:
        return std::nullopt;
    }
}
