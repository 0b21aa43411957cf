#include "providers/opencode/OpenCodeLog.h"

#include "base/Errors.h"
#include "base/JsonStructure.h"
#include "providers/JsonFields.h"
#include "providers/SqliteReading.h"

#include <simdjson.h>
#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>

namespace opencode {

namespace ondemand = simdjson::ondemand;

namespace {

// Milliseconds from a whole or floating-point number; nullopt for anything else or for a
// number too large to be a time.
std::optional<std::int64_t> milliseconds(ondemand::value value) {
    std::int64_t whole;
    if (!value.get_int64().get(whole))
        return whole;
    double real;
    if (value.get_double().get(real) || !std::isfinite(real) || std::fabs(real) > 1e17)
        return std::nullopt;
    return static_cast<std::int64_t>(std::floor(real));
}

// The model a message names: modelID (with providerID), or the newer nested model object.
std::string modelOf(ondemand::object &object) {
    std::string model;
    std::string_view text;
    if (readString(object, "providerID", text))
        model = text;
    model += '/';
    if (readString(object, "modelID", text)) {
        model += text;
        return model;
    }
    ondemand::object nested;
    if (!object["model"].get_object().get(nested)) {
        if (readString(nested, "providerID", text))
            model = std::string(text) + '/';
        if (readString(nested, "modelID", text))
            model += text;
    } else if (readString(object, "model", text)) {
        model += text;
    }
    return model;
}

// The folder a message was written in: path.root, else path.cwd.
std::string projectOf(ondemand::object &object) {
    ondemand::object path;
    std::string_view text;
    if (object["path"].get_object().get(path))
        return {};
    if (readString(path, "root", text) || readString(path, "cwd", text))
        return std::string(text);
    return {};
}

// A token figure: missing or null is 0, and so is a negative one (damaged rows have them); a
// value that is not a whole number, or one no message comes near, makes the row unreadable.
bool readFigure(ondemand::object &object, std::string_view name, std::int64_t &count) {
    count = 0;
    ondemand::value value;
    const auto error = object[name].get(value);
    if (error == simdjson::NO_SUCH_FIELD)
        return true;
    ondemand::json_type type;
    if (error || value.type().get(type))
        return false;
    if (type == ondemand::json_type::null)
        return true;
    if (value.get_int64().get(count) || count > maxTokensPerField)
        return false;
    count = std::max<std::int64_t>(count, 0);
    return true;
}

// The model's own name, without the provider it was reached through.
std::string_view modelName(std::string_view model) {
    const size_t slash = model.find('/');
    return slash == std::string_view::npos ? model : model.substr(slash + 1);
}

} // namespace

std::optional<UsageRecord> parseMessage(std::string_view json, std::string_view id,
                                        std::string_view fallbackId,
                                        std::optional<std::int64_t> fallbackTime, LocalDays &days,
                                        NameTable &names, std::string_view fallbackProject) {
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
    const std::string model = modelOf(object);
    std::string project = projectOf(object);
    if (project.empty())
        project = fallbackProject;

    ondemand::object time;
    std::optional<std::int64_t> created = fallbackTime;
    ondemand::value createdValue;
    if (!object["time"].get_object().get(time) && !time["created"].get(createdValue))
        if (const auto ms = milliseconds(createdValue))
            created = ms;
    ondemand::object tokens, cache;
    if (object["tokens"].get_object().get(tokens))
        return std::nullopt;
    std::int64_t input, output, reasoning, cacheRead = 0, cacheWrite = 0;
    if (!readFigure(tokens, "input", input) || !readFigure(tokens, "output", output) ||
        !readFigure(tokens, "reasoning", reasoning))
        return std::nullopt;
    if (!tokens["cache"].get_object().get(cache) &&
        (!readFigure(cache, "read", cacheRead) || !readFigure(cache, "write", cacheWrite)))
        return std::nullopt;
    if (!created || ownId.empty())
        return std::nullopt;

    UsageRecord record;
    record.provider = Provider::opencode;
    record.split = {input, output, cacheRead, cacheWrite, reasoning, 0};
    record.tokens = record.split.sum();
    record.rank = record.tokens;
    record.model = names.add(modelName(model));
    record.project = names.add(project);
    // Rounded down to the second, without overflowing at the lowest value.
    record.day = days.dayOf(*created / 1000 - (*created % 1000 < 0 ? 1 : 0));
    record.key = messageKey(Provider::opencode, ownId);
    std::string content = model;
    for (const std::int64_t value : {*created, input, output, reasoning, cacheRead, cacheWrite})
        content.append(reinterpret_cast<const char *>(&value), sizeof value);
    record.content = messageKey(Provider::opencode, "\x01content", content);
    return record;
}

namespace {

using Statement = SqliteStatement;

[[noreturn]] void fail(const std::string &path, sqlite3 *database) {
    throw ToolError("cannot read the OpenCode database " + path + ": " + sqliteReason(database));
}

std::optional<std::int64_t> columnTime(sqlite3_stmt *statement, int column) {
    // A real this large is no time in milliseconds.
    if (column >= 0 && sqlite3_column_type(statement, column) == SQLITE_FLOAT &&
        std::fabs(sqlite3_column_double(statement, column)) > 1e17)
        return std::nullopt;
    return columnInteger(statement, column);
}

// The database copy of a message is the newer storage: it outranks a message file's copy
// whatever their figures, and among database copies the fuller one counts.
constexpr std::int64_t databaseRank = std::int64_t{1} << 46;

// The columns of a statement's result, by name.
struct Columns {
    std::map<std::string, int, std::less<>> index;

    explicit Columns(sqlite3_stmt *statement) {
        for (int column = 0; column < sqlite3_column_count(statement); ++column)
            if (const char *name = sqlite3_column_name(statement, column))
                index.emplace(name, column);
    }
    int operator[](std::string_view name) const {
        const auto found = index.find(name);
        return found == index.end() ? -1 : found->second;
    }
};

// An integer column, or a text column that holds one.
std::optional<std::int64_t> integerOrText(sqlite3_stmt *statement, int column) {
    if (column < 0)
        return std::nullopt;
    if (sqlite3_column_type(statement, column) == SQLITE_INTEGER)
        return sqlite3_column_int64(statement, column);
    std::int64_t value = 0;
    const std::string_view text = columnText(statement, column);
    if (text.empty() || std::from_chars(text.data(), text.data() + text.size(), value).ptr !=
                            text.data() + text.size())
        return std::nullopt;
    return value;
}

// A session forked from another: its messages up to the boundary are copies of the parent's,
// which keep the parent's seq. The boundary is a seq, or the id of the parent's last copied
// message.
struct Fork {
    std::string parent;
    std::optional<std::int64_t> boundarySeq;
    std::string boundaryId;
};

struct Sessions {
    std::map<std::string, std::string, std::less<>> folders;
    std::map<std::string, Fork, std::less<>> forks;
};

// The folder each session ran in and the forks among them, from the session table where it
// has them. Without it (or when it cannot be read) messages only have the folder their own
// document names, and forks are known by their identical figures alone.
Sessions readSessions(sqlite3 *database) {
    Sessions sessions;
    if (!hasTable(database, "session"))
        return sessions;
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(database, "SELECT * FROM session", -1, &raw, nullptr) != SQLITE_OK)
        return sessions;
    const Statement statement(raw);
    const Columns columns(raw);
    const int id = columns["id"], folder = columns["directory"],
              parent = columns["fork_session_id"], boundary = columns["fork_boundary"];
    while (sqlite3_step(raw) == SQLITE_ROW) {
        const std::string_view session = columnText(raw, id);
        if (session.empty())
            continue;
        if (const std::string_view directory = columnText(raw, folder); !directory.empty())
            sessions.folders.emplace(session, directory);
        const std::string_view from = columnText(raw, parent);
        if (from.empty() || from == session)
            continue;
        Fork fork{std::string(from), integerOrText(raw, boundary), {}};
        if (!fork.boundarySeq)
            fork.boundaryId = columnText(raw, boundary);
        sessions.forks.emplace(session, std::move(fork));
    }
    return sessions;
}

// Which message each copied row of a forked session stands for: the row of the same seq in the
// session it was copied from, followed back through forks of forks.
class ForkCopies {
public:
    ForkCopies(sqlite3 *database, const std::string &table, const Sessions &sessions)
        : m_sessions(sessions) {
        if (sessions.forks.empty())
            return;
        sqlite3_stmt *raw = nullptr;
        if (sqlite3_prepare_v2(database, ("SELECT * FROM \"" + table + "\"").c_str(), -1, &raw,
                               nullptr) != SQLITE_OK)
            return;
        const Statement statement(raw);
        const Columns columns(raw);
        const int id = columns["id"], session = columns["session_id"], seq = columns["seq"];
        if (id < 0 || session < 0 || seq < 0)
            return;
        while (sqlite3_step(raw) == SQLITE_ROW) {
            const auto number = integerOrText(raw, seq);
            const std::string_view message = columnText(raw, id);
            if (!number || message.empty())
                continue;
            m_ids.emplace(std::pair(std::string(columnText(raw, session)), *number), message);
            m_seqs.emplace(message, *number);
        }
    }

    // The id of the message a row of `session` with `seq` copies, or nullopt when it is no
    // copy. A copy whose original is gone gets a name of its origin, which its sibling forks'
    // copies share.
    std::optional<std::string> originalOf(std::string_view session, std::int64_t seq) const {
        std::string origin(session);
        // Bounded, should the marks form a loop.
        for (size_t step = 0; step <= m_sessions.forks.size(); ++step) {
            const auto fork = m_sessions.forks.find(origin);
            if (fork == m_sessions.forks.end())
                break;
            std::optional<std::int64_t> boundary = fork->second.boundarySeq;
            if (!boundary) {
                const auto known = m_seqs.find(fork->second.boundaryId);
                if (known != m_seqs.end())
                    boundary = known->second;
            }
            if (!boundary || seq > *boundary)
                break;
            origin = fork->second.parent;
        }
        if (origin == session)
            return std::nullopt;
        const auto original = m_ids.find(std::pair(origin, seq));
        if (original != m_ids.end())
            return original->second;
        return "\x03" + origin + ":" + std::to_string(seq);
    }

private:
    const Sessions &m_sessions;
    std::map<std::pair<std::string, std::int64_t>, std::string> m_ids;
    std::map<std::string, std::int64_t, std::less<>> m_seqs;
};

// The rows of one table; the columns are looked up by name, since versions differ in them.
// Returns why it stopped early, or an empty string.
std::string readTable(sqlite3 *database, const std::string &table, LocalDays &days,
                      const Sessions &sessions, DatabaseRead &read) {
    const ForkCopies copies(database, table, sessions);
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(database, ("SELECT * FROM \"" + table + "\"").c_str(), -1, &raw,
                           nullptr) != SQLITE_OK)
        return "table " + table + ": " + sqliteReason(database);
    const Statement statement(raw);
    const Columns columns(raw);
    const int id = columns["id"], data = columns["data"], created = columns["time_created"],
              session = columns["session_id"], type = columns["type"], seq = columns["seq"];
    if (data < 0)
        return "table " + table + " has no data column";
    for (;;) {
        const int step = sqlite3_step(raw);
        if (step == SQLITE_DONE)
            return {};
        if (step != SQLITE_ROW)
            return "table " + table + ": " + sqliteReason(database);
        // Newer tables say what a row is: user and synthetic rows never carry usage, whatever
        // their data holds. A type this reader does not know is judged by its data's role.
        if (const std::string_view kind = columnText(raw, type);
            kind == "user" || kind == "synthetic")
            continue;
        const std::string_view sessionId = columnText(raw, session);
        const auto folder = sessions.folders.find(sessionId);
        std::optional<std::string> original;
        if (const auto number = integerOrText(raw, seq))
            original = copies.originalOf(sessionId, *number);
        if (auto record = parseMessage(
                columnText(raw, data), original ? std::string_view(*original) : columnText(raw, id),
                {}, columnTime(raw, created), days, read.names,
                folder == sessions.folders.end() ? std::string_view() : folder->second)) {
            record->rank = saturatingAdd(record->rank, databaseRank);
            read.records.push_back(*record);
        }
    }
}

} // namespace

ParseOutcome parseMessageFile(ReadContext &context, std::string_view json,
                              std::vector<UsageRecord> &records) {
    const std::string id = std::filesystem::path(context.path).stem().string();
    if (auto record = parseMessage(json, {}, id, std::nullopt, context.days, context.names)) {
        records.push_back(*record);
        return ParseOutcome::usage;
    }
    return json.find("\"tokens\"") != std::string_view::npos ? ParseOutcome::malformed
                                                             : ParseOutcome::ignored;
}

DatabaseRead readDatabase(const std::string &path, LocalDays &days) {
    sqlite3 *raw = nullptr;
    // Read-only: never writes, never creates, and in WAL mode never blocks OpenCode's writes.
    const int opened =
        sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    SqliteDatabase database(raw);
    if (opened != SQLITE_OK)
        fail(path, raw);
    sqlite3_busy_timeout(raw, 2000);

    DatabaseRead read;
    const Sessions sessions = readSessions(raw);
    bool anyTable = false;
    for (const char *table : {"message", "session_message"}) {
        if (!hasTable(raw, table))
            continue;
        anyTable = true;
        const std::string problem = readTable(raw, table, days, sessions, read);
        if (!problem.empty()) {
            if (!read.problem.empty())
                read.problem += "; ";
            read.problem += problem;
        }
    }
    if (!anyTable) {
        // sqlite_master itself may be unreadable: a file that is not a database says so here.
        sqlite3_stmt *check = nullptr;
        if (sqlite3_prepare_v2(raw, "SELECT count(*) FROM sqlite_master", -1, &check, nullptr) !=
            SQLITE_OK)
            fail(path, raw);
        const Statement statement(check);
        if (sqlite3_step(check) != SQLITE_ROW)
            fail(path, raw);
        throw ToolError("cannot read the OpenCode database " + path + ": it has no message table");
    }
    if (!read.problem.empty())
        read.problem = "the OpenCode database " + path + ": " + read.problem;
    return read;
}

} // namespace opencode
