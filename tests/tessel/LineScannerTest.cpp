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

// The bytes a scan remembers before where it stopped are the file's own, whatever the blocks,
// the start and the lines it skipped; a scan from the start always knows them.
TEST(LineScanner, RemembersTheLastBytesBeforeWhereItStopped) {
    const QTemporaryDir temp;
    const std::string path = temp.filePath("log").toStdString();
    const std::string overlong = std::string(40, 'o') + "\n";
    std::string text;
    for (int i = 0; i < 12; ++i)
        text += "line " + std::to_string(i) + (i % 3 ? " KEY" : "") + "\n";
    const std::string shapes[] = {text + "tail KEY", text + overlong + "x KEY\n", "KEY\n", ""};
    for (const std::string &content : shapes) {
        writeText(path, content);
        for (const std::uint64_t offset : {size_t{0}, size_t{9}, content.size() / 2})
            for (const std::string_view needle : {std::string_view("KEY"), std::string_view()})
                for (const bool accept : {false, true}) {
                    SCOPED_TRACE(content + " @" + std::to_string(offset) + " " +
                                 std::string(needle) + (accept ? " accept" : ""));
                    const LineScanner::Result result =
                        scanFile(path, offset, needle, accept).result;
                    const std::uint64_t end = result.endOffset;
                    const std::uint64_t from =
                        end > LineScanner::tailSpan ? end - LineScanner::tailSpan : 0;
                    EXPECT_TRUE(result.tailKnown || offset != 0 || result.overlongLines != 0);
                    if (result.tailKnown) {
                        EXPECT_EQ(result.lastBytes(), content.substr(from, end - from));
                    }
                }
    }
}

} // namespace
