#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Reads a log file from an offset in fixed-size blocks, never whole, and hands out its lines.
// With a needle, lines without it are skipped by searching the block for the needle rather
// than walking line by line, which is what makes multi-gigabyte scans cheap.
class LineScanner {
public:
    // Extra readable bytes after every line handed out, as simdjson's parsers require.
    static constexpr size_t padding = 64;
    // How many of the bytes before the end of a scan it remembers.
    static constexpr size_t tailSpan = 64;

    struct Result {
        // Offset just past the last line that was handled completely; the next scan starts here.
        std::uint64_t endOffset = 0;
        std::uint64_t bytesRead = 0;
        std::uint64_t overlongLines = 0;
        // Set when reading failed part-way; endOffset still marks what was handled.
        std::string readError;
        // The scan stopped after `stopAfter` bytes, before the end; the next goes on from
        // endOffset.
        bool stopped = false;
        // The last min(endOffset, tailSpan) bytes before endOffset, when the scan saw them all
        // (a scan from offset 0, or one that handled at least tailSpan bytes in a row).
        bool tailKnown = false;
        std::size_t tailSize = 0;
        char tail[tailSpan];

        std::string_view lastBytes() const { return {tail, tailSize}; }
    };

    // Receives a line without its newline and the readable bytes from its start (>= size +
    // padding). The last line of a file may lack its newline because it is still being
    // written: `unterminated` is then true, and the line only counts as handled when the
    // callback returns true (it understood the line), so a half-written line is read again.
    using LineHandler =
        std::function<bool(std::string_view line, size_t capacity, bool unterminated)>;

    explicit LineScanner(size_t blockSize = 4 << 20, size_t maxLineSize = 16 << 20);

    // With `stopAfter`, stops at the first end of a block's lines past that many bytes, so that
    // what one scan hands out stays bounded however large the file.
    Result scan(int fd, std::uint64_t offset, std::string_view needle, const LineHandler &handler,
                std::uint64_t stopAfter = 0);

private:
    size_t m_blockSize;
    size_t m_maxLineSize;
    std::vector<char> m_buffer;
};
