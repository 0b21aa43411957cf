// Streaming line reading: block boundaries, over-long lines and half-written last lines.
#include "LogFixture.h"

#include "base/LineScanner.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

struct Scan {
    std::vector<std::string> lines;
    LineScanner::Result result;
};

Scan scanFile(const std::string &path, std::uint64_t offset, std::string_view needle,
              bool acceptUnterminated) {
    // Tiny blocks, so that every line crosses block boundaries.
    LineScanner scanner(8, 32);
    Scan scan;
    const int fd = ::open(path.c_str(), O_RDONLY);
    scan.result = scanner.scan(fd, offset, needle,
                               [&](std::string_view line, size_t capacity, bool unterminated) {
                                   EXPECT_GE(capacity, line.size() + LineScanner::padding);
                                   scan.lines.emplace_back(line);
                                   return !unterminated || acceptUnterminated;
                               });
    ::close(fd);
    return scan;
}

TEST(LineScanner, FindsNeedleLinesAcrossBlocksSkipsOverlongOnesAndStopsBeforeAHalfLine) {
    const QTemporaryDir temp;
    const std::string path = temp.filePath("log").toStdString();
    const std::string overlong = "x" + std::string(100, 'u') + " KEY tail";
    writeText(path, "aa KEY 1\nbb\n" + overlong + "\ncc KEY 2 with more text\n\nKEY\ndd");
    const Scan scan = scanFile(path, 0, "KEY", false);
    EXPECT_EQ(scan.lines, (std::vector<std::string>{"aa KEY 1", "cc KEY 2 with more text", "KEY"}));
    EXPECT_EQ(scan.result.overlongLines, 1u);
    // Stops before the unterminated "dd", which is read again next time.
    EXPECT_EQ(scan.result.endOffset, readText(path).size() - 2);

    const Scan all = scanFile(path, 9, {}, true);
    EXPECT_EQ(all.lines,
              (std::vector<std::string>{"bb", "cc KEY 2 with more text", "", "KEY", "dd"}));
    EXPECT_EQ(all.result.endOffset, readText(path).size());
    EXPECT_TRUE(scanFile(path, all.result.endOffset, {}, true).lines.empty());
    // An unterminated line the reader does not take is read again next time.
    EXPECT_EQ(scanFile(path, 9, {}, false).result.endOffset, readText(path).size() - 2);
}

} // namespace
