#include "collect/LogReader.h"

#include "base/AtomicFile.h"
#include "base/Errors.h"
#include "base/JsonStructure.h"
#include "collect/RecordIdentity.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

ReadResult LogReader::read(const ReadJob &job) {
    ReadResult result;
    result.state = job.file->current;
    result.state.offset = job.startOffset;
    result.state.session = job.session;
    if (job.file->storage == LogStorage::document) {
        readDocument(job, result);
        for (UsageRecord &record : result.records)
            record.source = job.id;
        return result;
    }
    const int fd = ::open(job.file->path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        result.problem = job.file->path + ": " + systemReason(errno);
        return result;
    }
    std::uint64_t start = job.startOffset;
    if (start > 0 && tailHash(fd, start) != job.tailHash) {
        start = 0;
        result.state.offset = 0;
        result.state.session = {};
        result.restarted = true;
    }
    const bool tailKnown = readLines(job, start, fd, result);
    if (!tailKnown)
        result.state.tailHash = tailHash(fd, result.state.offset);
    ::close(fd);
    for (UsageRecord &record : result.records)
        record.source = job.id;
    return result;
}

std::uint64_t LogReader::tailHash(int fd, std::uint64_t offset) {
    if (offset == 0)
        return 0;
    const std::uint64_t from = offset > LineScanner::tailSpan ? offset - LineScanner::tailSpan : 0;
    char bytes[LineScanner::tailSpan];
    const auto wanted = static_cast<size_t>(offset - from);
    ssize_t got;
    do
        got = ::pread(fd, bytes, wanted, static_cast<off_t>(from));
    while (got < 0 && errno == EINTR);
    if (got != static_cast<ssize_t>(wanted))
        return 0;
    return tailHash(std::string_view(bytes, wanted), offset);
}

std::uint64_t LogReader::tailHash(std::string_view lastBytes, std::uint64_t offset) {
    if (offset == 0)
        return 0;
    std::uint64_t hash = 14695981039346656037ull ^ offset;
    for (const char byte : lastBytes)
        hash = (hash ^ static_cast<unsigned char>(byte)) * 1099511628211ull;
    return hash == 0 ? 1 : hash;
}

namespace {

constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

// A parser that met a very long line keeps buffers several times its size; past this it is
// replaced, so that one odd line does not hold that memory for the rest of the collect.
constexpr size_t largestKeptLine = 1 << 20;

} // namespace

simdjson::error_code LogReader::parseLine(std::string_view line, size_t capacity,
                                          simdjson::dom::object &object) {
    if (line.starts_with(byteOrderMark)) {
        line.remove_prefix(byteOrderMark.size());
        capacity -= byteOrderMark.size();
    }
    if (m_parser.capacity() > largestKeptLine && line.size() <= largestKeptLine)
        m_parser = simdjson::dom::parser();
    // The DOM parser checks the whole line against the grammar (strings, escapes, numbers,
    // literals, nesting, UTF-8) before any of it is handed out. The scanner leaves padding
    // after every line, so the bytes are parsed in place rather than copied.
    const bool padded = capacity >= line.size() + simdjson::SIMDJSON_PADDING;
    simdjson::dom::element root;
    if (const auto error = m_parser.parse(line.data(), line.size(), !padded).get(root)) {
        // The parser refuses a line for one number beyond 64 bits, even in a part no reader
        // looks at (a tool's input); a line sound but for such numbers is read without them.
        if (error != simdjson::NUMBER_ERROR || !hasSoundJsonStructure(line))
            return error;
        if (const auto again = m_parser.parse(withRepresentableNumbers(line)).get(root))
            return again;
    }
    return root.get_object().get(object);
}

bool LogReader::readLines(const ReadJob &job, std::uint64_t startOffset, int fd,
                          ReadResult &result) {
    const ProviderDefinition &provider = *job.file->provider;
    ReadContext context{m_days, result.names, job.file->path};
    LogSession &session = result.state.session;
    const LineScanner::Result scanned = m_scanner.scan(
        fd, startOffset, provider.needle,
        [&](std::string_view line, size_t capacity, bool unterminated) {
            if (provider.mayMatter && !provider.mayMatter(line))
                return !unterminated; // an unfinished line is read again next time
            // A broken line is never handed to a reader.
            simdjson::dom::object object;
            if (parseLine(line, capacity, object)) {
                if (!unterminated)
                    ++result.malformedLines;
                return false;
            }
            // A half-written last line must leave the session and the records as
            // they were.
            const LogSession before = session;
            const size_t recordsBefore = result.records.size();
            if (provider.parseLine(context, session, object, result.records) ==
                ParseOutcome::malformed) {
                session = before;
                result.records.resize(recordsBefore);
                if (!unterminated)
                    ++result.malformedLines;
                return false;
            }
            identifyByBytes(result.records, recordsBefore, line);
            return true;
        },
        pieceSize);
    result.state.offset = scanned.endOffset;
    result.more = scanned.stopped;
    result.bytesRead = scanned.bytesRead;
    result.overlongLines = scanned.overlongLines;
    if (!scanned.readError.empty())
        result.problem = job.file->path + ": " + scanned.readError;
    if (!scanned.tailKnown)
        return false;
    result.state.tailHash = tailHash(scanned.lastBytes(), scanned.endOffset);
    return true;
}

void LogReader::readDocument(const ReadJob &job, ReadResult &result) {
    // A usage document has a size its tool stays below; a huge file here is not one, and is not
    // read into memory.
    const std::uint64_t largestDocument = job.file->provider->largestDocument;
    if (job.file->current.size > largestDocument) {
        result.problem = job.file->path + ": larger than " + std::to_string(largestDocument >> 20) +
                         " MiB, not a " + std::string(job.file->provider->displayName) +
                         " usage document";
        return;
    }
    PaddedText json;
    try {
        json = readPaddedFile(job.file->path, documentPadding);
    } catch (const FileError &error) {
        result.problem = error.what();
        return;
    }
    result.bytesRead = json.size;
    result.state.offset = json.size;
    ReadContext context{m_days, result.names, job.file->path};
    const size_t recordsBefore = result.records.size();
    if (job.file->provider->parseDocument(context, json.text(), result.records) ==
        ParseOutcome::malformed) {
        result.records.resize(recordsBefore);
        ++result.malformedLines;
    }
    identifyByBytes(result.records, recordsBefore, json.text());
}
