#include "collect/LogReader.h"

#include "base/AtomicFile.h"
#include "base/Errors.h"
#include "base/JsonStructure.h"
#include "providers/claude/ClaudeLog.h"
#include "providers/codex/CodexLog.h"
#include "providers/opencode/OpenCodeLog.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

ReadResult LogReader::read(const ReadJob &job) {
    ReadResult result;
    result.state = job.file->current;
    result.state.offset = job.startOffset;
    result.state.session = job.session;
    if (job.file->kind == LogKind::openCodeMessage) {
        readMessageFile(job, result);
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
    readLines(job, start, fd, result);
    result.state.tailHash = tailHash(fd, result.state.offset);
    ::close(fd);
    for (UsageRecord &record : result.records)
        record.source = job.id;
    return result;
}

std::uint64_t LogReader::tailHash(int fd, std::uint64_t offset) {
    constexpr std::uint64_t span = 64;
    if (offset == 0)
        return 0;
    const std::uint64_t from = offset > span ? offset - span : 0;
    char bytes[span];
    const auto wanted = static_cast<size_t>(offset - from);
    ssize_t got;
    do
        got = ::pread(fd, bytes, wanted, static_cast<off_t>(from));
    while (got < 0 && errno == EINTR);
    if (got != static_cast<ssize_t>(wanted))
        return 0;
    std::uint64_t hash = 14695981039346656037ull ^ offset;
    for (size_t i = 0; i < wanted; ++i)
        hash = (hash ^ static_cast<unsigned char>(bytes[i])) * 1099511628211ull;
    return hash == 0 ? 1 : hash;
}

void LogReader::readLines(const ReadJob &job, std::uint64_t startOffset, int fd,
                          ReadResult &result) {
    LineScanner::Result scanned;
    if (job.file->kind == LogKind::claude) {
        scanned = m_scanner.scan(
            fd, startOffset, claude::usageNeedle,
            [&](std::string_view line, size_t capacity, bool unterminated) {
                // A broken line is never handed to the lazy parser.
                const auto parsed = hasSoundJsonStructure(line)
                                        ? claude::parseLine(m_parser, m_days, line, capacity)
                                        : claude::ParsedLine{claude::LineKind::malformed, {}, {}};
                if (parsed.kind == claude::LineKind::usage) {
                    result.records.push_back(parsed.record);
                    if (parsed.mainChainMark)
                        result.records.push_back(*parsed.mainChainMark);
                } else if (parsed.kind == claude::LineKind::malformed && !unterminated)
                    ++result.malformedLines;
                return parsed.kind != claude::LineKind::malformed;
            });
    } else {
        codex::Session &session = result.state.session;
        scanned = m_scanner.scan(
            fd, startOffset, {}, [&](std::string_view line, size_t capacity, bool unterminated) {
                if (!codex::mayMatter(line))
                    return !unterminated; // an unfinished line is read again next time
                if (!hasSoundJsonStructure(line)) {
                    if (!unterminated)
                        ++result.malformedLines;
                    return false;
                }
                // A half-written last line must leave the session as it was.
                codex::Session before = session;
                codex::LineKind kind;
                const auto record =
                    codex::parseLine(m_parser, m_days, session, line, capacity, kind);
                if (kind == codex::LineKind::malformed) {
                    session = before;
                    if (!unterminated)
                        ++result.malformedLines;
                    return false;
                }
                if (record)
                    result.records.push_back(*record);
                return true;
            });
    }
    result.state.offset = scanned.endOffset;
    result.bytesRead = scanned.bytesRead;
    result.overlongLines = scanned.overlongLines;
    if (!scanned.readError.empty())
        result.problem = job.file->path + ": " + scanned.readError;
}

void LogReader::readMessageFile(const ReadJob &job, ReadResult &result) {
    // One message is a few kilobytes; a huge file here is not one, and is not read into memory.
    constexpr std::uint64_t largestMessage = 16 << 20;
    if (job.file->current.size > largestMessage) {
        result.problem = job.file->path + ": larger than 16 MiB, not an OpenCode message";
        return;
    }
    std::string json;
    try {
        json = readWholeFile(job.file->path);
    } catch (const FileError &error) {
        result.problem = error.what();
        return;
    }
    result.bytesRead = json.size();
    result.state.offset = json.size();
    // The file name is the message id (msg_....json) when the document does not say.
    const std::string id = std::filesystem::path(job.file->path).stem().string();
    if (auto record = opencode::parseMessage(json, {}, id, std::nullopt, m_days)) {
        result.records.push_back(*record);
    } else if (json.find("\"tokens\"") != std::string::npos) {
        ++result.malformedLines;
    }
}
