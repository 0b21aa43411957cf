// Streaming line reading: block boundaries, over-long lines and half-written last lines.
#include "LogFixture.h"

#include "base/LineScanner.h"
#include "base/NeedleSearch.h"

#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace {

struct Scan {
    std::vector<std::string> lines;
    LineScanner::Result result;
};

Scan scanFile(const std::string &path, std::uint64_t offset, std::string_view needle,
              bool acceptUnterminated, std::uint64_t stopAfter = 0) {
    // Tiny blocks, so that every line crosses block boundaries.
    LineScanner scanner(8, 32);
    Scan scan;
    const int fd = ::open(path.c_str(), O_RDONLY);
    scan.result = scanner.scan(
        fd, offset, needle,
        [&](std::string_view line, size_t capacity, bool unterminated) {
            EXPECT_GE(capacity, line.size() + LineScanner::padding);
            scan.lines.emplace_back(line);
            return !unterminated || acceptUnterminated;
        },
        stopAfter);
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

namespace {

// Scans that stop after a few bytes and go on from where they stopped hand out every line
// once, end where one whole scan ends and read each byte once, whatever the limit.
TEST(LineScanner, ScansInPiecesGiveWhatOneWholeScanGives) {
    const QTemporaryDir temp;
    const std::string path = temp.filePath("log").toStdString();
    std::string text;
    for (int i = 0; i < 30; ++i)
        text += (i % 7 == 3 ? std::string(40, 'o') : "line " + std::to_string(i)) +
                (i % 2 ? " KEY" : "") + "\n";
    writeText(path, text + "tail KEY");
    for (const std::string_view needle : {std::string_view("KEY"), std::string_view()})
        for (const std::uint64_t stopAfter : {1, 20, 100}) {
            SCOPED_TRACE(std::string(needle) + " " + std::to_string(stopAfter));
            const Scan whole = scanFile(path, 0, needle, true);
            std::vector<std::string> lines;
            std::uint64_t offset = 0, bytes = 0;
            int scans = 0;
            for (bool more = true; more; ++scans) {
                const Scan piece = scanFile(path, offset, needle, true, stopAfter);
                lines.insert(lines.end(), piece.lines.begin(), piece.lines.end());
                EXPECT_TRUE(!piece.result.stopped || piece.result.endOffset > offset);
                offset = piece.result.endOffset;
                bytes += piece.result.bytesRead;
                more = piece.result.stopped;
            }
            EXPECT_EQ(lines, whole.lines);
            EXPECT_EQ(offset, whole.result.endOffset);
            EXPECT_EQ(bytes, whole.result.bytesRead);
            EXPECT_GT(scans, stopAfter < 100 ? 2 : 1);
        }
}

} // namespace

namespace {

// Every width of the needle search finds what std::string_view::find finds, over every start
// and end of texts thick with near misses: the needle's own bytes and pieces of it.
TEST(NeedleSearch, EveryWidthFindsTheFirstOccurrenceAsAPlainSearchDoes) {
    std::mt19937 random(7);
    for (const std::string_view needle :
         {std::string_view("\"usage\""), std::string_view("KEY"),
          std::string_view("\"usageMetadata\""), std::string_view("ab"), std::string_view("q")}) {
        const NeedleSearch search(needle);
        const std::string pieces[] = {std::string(needle),
                                      std::string(needle.substr(0, needle.size() - 1)),
                                      std::string(needle.substr(1)),
                                      "\"",
                                      " ",
                                      "ge",
                                      "x\n"};
        for (int round = 0; round < 40; ++round) {
            std::string text;
            while (text.size() < 150)
                text += pieces[random() % std::size(pieces)];
            for (const auto lanes : {NeedleSearch::Lanes::one, NeedleSearch::Lanes::sse2,
                                     NeedleSearch::Lanes::avx2, NeedleSearch::Lanes::widest}) {
                if (!NeedleSearch::supports(lanes))
                    continue;
                for (size_t from = 0; from < 40; from += 3)
                    for (size_t to = from; to <= text.size(); to += 7) {
                        const std::string_view within(text.data() + from, to - from);
                        const size_t expected = within.find(needle);
                        const char *found =
                            search.find(within.data(), within.data() + within.size(), lanes);
                        ASSERT_EQ(found ? static_cast<size_t>(found - within.data())
                                        : std::string_view::npos,
                                  expected)
                            << needle << " in " << within << " lanes " << static_cast<int>(lanes);
                    }
            }
        }
    }
}

} // namespace
