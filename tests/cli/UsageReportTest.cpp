// Reading docs/usage.json from the repository folder, and the errors that name the file.
#include "AwaitTask.h"
#include "CliFixture.h"

#include "cli/DescribedError.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class UsageReportTest : public CliTest {
protected:
    QString usagePath() const { return repoDir + QStringLiteral("/docs/usage.json"); }
};

// An unchanged file is not decoded again, so a changed one must never be taken for it: not
// when it is replaced by rename, nor rewritten in place with the same size and times.
TEST_F(UsageReportTest, EveryChangeOfTheFileIsReadAgain) {
    const TesselCLI reader = cli();
    const auto totalOfFirstRow = [&] {
        const auto outcome = awaitTask(reader.usageReport());
        return outcome.failed() || outcome.value->rows.isEmpty()
                   ? -1
                   : outcome.value->rows.front().totalTokens;
    };
    const auto usage = [](char digit) {
        return QByteArray(R"({"rows":[{"day":"2026-12-06","total_tokens":)") + digit +
               R"(,"providers":{}}]})";
    };
    const auto keepTimes = [&](const std::function<void()> &change) {
        struct stat before {};
        ASSERT_EQ(::stat(QFile::encodeName(usagePath()), &before), 0);
        change();
        const timespec times[2] = {before.st_atim, before.st_mtim};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(usagePath()), times, 0), 0);
    };

    writeUsage(usage('1'));
    EXPECT_EQ(totalOfFirstRow(), 1);
    EXPECT_EQ(totalOfFirstRow(), 1);

    keepTimes([&] {
        writeFile(usagePath() + ".new", usage('2'));
        ASSERT_TRUE(QFile::remove(usagePath()));
        ASSERT_TRUE(QFile::rename(usagePath() + ".new", usagePath()));
    });
    EXPECT_EQ(totalOfFirstRow(), 2);

    keepTimes([&] { writeUsage(usage('3')); });
    EXPECT_EQ(totalOfFirstRow(), 3);

    // A file that failed to decode is tried afresh once it is mended.
    writeUsage("{\"rows\":[{}]}");
    EXPECT_EQ(totalOfFirstRow(), -1);
    writeUsage(usage('4'));
    EXPECT_EQ(totalOfFirstRow(), 4);
    EXPECT_EQ(tool.runCount(), 0) << "the file is read without running the tool";
}

TEST_F(UsageReportTest, RelativeRepositoryFolderIsResolvedAgainstTheCurrentDirectory) {
    writeUsage(R"({"rows":[]})");
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(temp.path()));
    const auto outcome = awaitTask(makeCli(tool.path(), QStringLiteral("repo")).usageReport());
    QDir::setCurrent(previous);
    EXPECT_FALSE(outcome.failed());
}

TEST_F(UsageReportTest, FailuresNameTheFileAndTheProblem) {
    const QString docs = repoDir + QStringLiteral("/docs");
    const std::pair<std::function<void()>, QString> cases[] = {
        {[] {}, QStringLiteral("文件不存在")},
        {[&] { QDir().mkpath(usagePath()); }, QStringLiteral("这是一个文件夹，不是文件")},
        // A FIFO is refused at once rather than waited on for a writer.
        {[&] {
             QDir().rmdir(usagePath());
             ASSERT_EQ(::mkfifo(QFile::encodeName(usagePath()).constData(), 0600), 0);
         },
         QStringLiteral("这不是普通文件")},
        // A device that never ends, and a file far past any real usage file: refused unread.
        {[&] {
             QFile::remove(usagePath());
             ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), usagePath()));
         },
         QStringLiteral("这不是普通文件")},
        {[&] {
             QFile::remove(usagePath());
             writeUsage(R"({"rows":[]})");
             ASSERT_EQ(::truncate(QFile::encodeName(usagePath()).constData(), 40 << 20), 0);
         },
         QStringLiteral("文件过大（40 MiB，上限 32 MiB）")},
        {[&] {
             QFile::remove(usagePath());
             QDir(docs).removeRecursively();
             writeFile(docs, "a file where the folder should be");
         },
         QString()},
        {[&] {
             QFile::remove(docs);
             writeUsage(R"({"rows":[{"day":"2026-12-06","totalTokens":5,"providers":{}}]})");
         },
         QStringLiteral("total_tokens")},
    };
    for (const auto &[arrange, problem] : cases) {
        arrange();
        const auto error = errorAs<UsageFileError>(awaitTask(cli().usageReport()));
        ASSERT_TRUE(error.has_value()) << problem.toStdString();
        EXPECT_TRUE(error->description().startsWith(
            QStringLiteral("无法读取用量文件 %1：").arg(usagePath())))
            << error->what();
        EXPECT_TRUE(error->description().contains(problem)) << error->what();
        EXPECT_STREQ(error->what(), error->description().toUtf8().constData());
    }
}

} // namespace
