#include "LogReader.h"

#include "AtomicFile.h"
#include "ClaudeLog.h"
#include "CodexLog.h"
#include "Errors.h"
#include "JsonStructure.h"
#include "OpenCodeLog.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

ReadResult LogReader::read(const ReadJob &job) {
    ReadResult result;
    result.state = job.file.current;
    result.state.offset = job.startOffset;
    result.state.session = job.session;
    if (job.file.kind == LogKind::openCodeMessage) {
        readMessageFile(job, result);
        return result;
    }
    const int fd = ::open(job.file.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        result.problem = job.file.path + ": " + systemReason(errno);
        return result;
    }
    readLines(job, fd, result);
    ::close(fd);
    return result;
}

void LogReader::readLines(const ReadJob &job, int fd, ReadResult &result) {
    LineScanner::Result scanned;
    if (job.file.kind == LogKind::claude) {
        scanned =
            m_scanner.scan(fd, job.startOffset, claude::usageNeedle,
                           [&](std::string_view line, size_t capacity, bool unterminated) {
                               // A broken line is never handed to the lazy parser.
                               const auto parsed =
                                   hasSoundJsonStructure(line)
                                       ? claude::parseLine(m_parser, m_days, line, capacity)
                                       : claude::ParsedLine{claude::LineKind::malformed, {}};
                               if (parsed.kind == claude::LineKind::usage)
                                   result.records.push_back(parsed.record);
                               else if (parsed.kind == claude::LineKind::malformed && !unterminated)
                                   ++result.malformedLines;
                               return parsed.kind != claude::LineKind::malformed;
                           });
    } else {
        codex::Session &session = result.state.session;
        scanned = m_scanner.scan(
            fd, job.startOffset, {},
            [&](std::string_view line, size_t capacity, bool unterminated) {
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
        result.problem = job.file.path + ": " + scanned.readError;
}

void LogReader::readMessageFile(const ReadJob &job, ReadResult &result) {
    // One message is a few kilobytes; a huge file here is not one, and is not read into memory.
    constexpr std::uint64_t largestMessage = 16 << 20;
    if (job.file.current.size > largestMessage) {
        result.problem = job.file.path + ": larger than 16 MiB, not an OpenCode message";
        return;
    }
    std::string json;
    try {
        json = readWholeFile(job.file.path);
    } catch (const FileError &error) {
        result.problem = error.what();
        return;
    }
    result.bytesRead = json.size();
    result.state.offset = json.size();
    // The file name is the message id (msg_....json) when the document does not say.
    const std::string id = std::filesystem::path(job.file.path).stem().string();
    if (auto record = opencode::parseMessage(json, {}, id, std::nullopt, m_days)) {
        result.records.push_back(*record);
    } else if (json.find("\"tokens\"") != std::string::npos) {
        ++result.malformedLines;
    }
}
