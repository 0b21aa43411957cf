#include "base/LineScanner.h"

#include "base/NeedleSearch.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

LineScanner::LineScanner(size_t blockSize, size_t maxLineSize)
    : m_blockSize(blockSize), m_maxLineSize(maxLineSize < blockSize ? blockSize : maxLineSize) {}

LineScanner::Result LineScanner::scan(int fd, std::uint64_t offset, std::string_view needle,
                                      const LineHandler &handler, std::uint64_t stopAfter) {
    Result result;
    result.endOffset = offset;
    size_t capacity = m_blockSize;
    m_buffer.resize(capacity + padding);
    // Read-ahead advice costs a system call and starts work in the kernel: it is given only
    // once a file proves larger than one block, which most session files are not.
    bool advised = false;

    // The bytes before endOffset are known from the start of the file, and kept as they are
    // handled: [begin, end) is what was handled just before endOffset.
    result.tailKnown = offset == 0;
    const auto handled = [&result](const char *begin, const char *end) {
        const size_t size = static_cast<size_t>(end - begin);
        if (size >= tailSpan) {
            std::memcpy(result.tail, end - tailSpan, tailSpan);
            result.tailSize = tailSpan;
            result.tailKnown = true;
        } else if (result.tailKnown) {
            const size_t keep = std::min(result.tailSize, tailSpan - size);
            std::memmove(result.tail, result.tail + result.tailSize - keep, keep);
            std::memcpy(result.tail + keep, begin, size);
            result.tailSize = keep + size;
        }
    };

    std::uint64_t base = offset; // file offset of m_buffer[0]
    size_t length = 0;           // bytes held in the buffer
    bool skipping = false;       // inside a line longer than maxLineSize
    std::uint64_t filePos = offset;

    const NeedleSearch search(needle);
    const auto handleRegion = [&](const char *begin, const char *end) {
        // [begin, end) holds whole lines, each ending in '\n'.
        const char *const bufferEnd = m_buffer.data() + m_buffer.size();
        const char *p = begin;
        while (p < end) {
            const char *lineStart = p;
            const char *lineEnd;
            if (!needle.empty()) {
                const char *found = search.find(p, end);
                if (!found)
                    return;
                const void *before = ::memrchr(p, '\n', static_cast<size_t>(found - p));
                lineStart = before ? static_cast<const char *>(before) + 1 : p;
                lineEnd = static_cast<const char *>(
                    ::memchr(found, '\n', static_cast<size_t>(end - found)));
            } else {
                lineEnd =
                    static_cast<const char *>(::memchr(p, '\n', static_cast<size_t>(end - p)));
            }
            handler(std::string_view(lineStart, static_cast<size_t>(lineEnd - lineStart)),
                    static_cast<size_t>(bufferEnd - lineStart), false);
            p = lineEnd + 1;
        }
    };

    // A read that returns less than asked has met the end of the (regular) file: the file is
    // not asked again, so a file that fits the buffer costs one read.
    for (bool atEnd = false; !atEnd;) {
        if (length == capacity) {
            // A single line fills the whole buffer: grow up to the limit, then skip the line.
            if (capacity < m_maxLineSize) {
                capacity = std::min(capacity * 2, m_maxLineSize);
                m_buffer.resize(capacity + padding);
            } else {
                skipping = true;
                ++result.overlongLines;
                base += length;
                length = 0;
                result.tailKnown = false;
            }
        }
        const size_t wanted = capacity - length;
        const ssize_t got =
            ::pread(fd, m_buffer.data() + length, wanted, static_cast<off_t>(filePos));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            result.readError = std::strerror(errno);
            return result;
        }
        if (got == 0)
            break;
        atEnd = static_cast<size_t>(got) < wanted;
        if (!atEnd && !advised) {
            ::posix_fadvise(fd, static_cast<off_t>(filePos), 0, POSIX_FADV_SEQUENTIAL);
            advised = true;
        }
        filePos += static_cast<std::uint64_t>(got);
        result.bytesRead += static_cast<std::uint64_t>(got);
        size_t fresh = length;
        length += static_cast<size_t>(got);

        size_t start = 0;
        if (skipping) {
            const void *newline = ::memchr(m_buffer.data() + fresh, '\n', length - fresh);
            if (!newline) {
                base += length;
                length = 0;
                continue;
            }
            skipping = false;
            start = static_cast<size_t>(static_cast<const char *>(newline) - m_buffer.data()) + 1;
            result.endOffset = base + start;
            handled(m_buffer.data(), m_buffer.data() + start);
        }
        const void *lastNewline = ::memrchr(m_buffer.data() + start, '\n', length - start);
        if (!lastNewline) {
            if (start > 0) {
                std::memmove(m_buffer.data(), m_buffer.data() + start, length - start);
                base += start;
                length -= start;
            }
            continue;
        }
        const size_t regionEnd =
            static_cast<size_t>(static_cast<const char *>(lastNewline) - m_buffer.data()) + 1;
        handleRegion(m_buffer.data() + start, m_buffer.data() + regionEnd);
        result.endOffset = base + regionEnd;
        handled(m_buffer.data() + start, m_buffer.data() + regionEnd);
        std::memmove(m_buffer.data(), m_buffer.data() + regionEnd, length - regionEnd);
        base += regionEnd;
        length -= regionEnd;
        if (stopAfter > 0 && !atEnd && result.endOffset - offset >= stopAfter) {
            // The start of a line after endOffset is read again by the next scan.
            result.bytesRead -= length;
            result.stopped = true;
            return result;
        }
    }

    if (!skipping && length > 0) {
        const std::string_view tail(m_buffer.data(), length);
        const bool wanted = needle.empty() || tail.find(needle) != std::string_view::npos;
        if (wanted && handler(tail, m_buffer.size(), true)) {
            result.endOffset = base + length;
            handled(tail.data(), tail.data() + tail.size());
        }
    }
    return result;
}
