// Running the tool: what counts as success, which stream carries a failure, and the ways a
// run can go wrong before, during and after the child.
#include "AwaitTask.h"
#include "CliFixture.h"

#include "cli/DescribedError.h"
#include "cli/TesselCLIError.h"

#include <QElapsedTimer>
#include <QFile>

#include <csignal>

using namespace std::chrono_literals;

namespace {

class RunnerTest : public CliTest {
protected:
    // `collect` discards output, so success/failure rules are watched through the status
    // command, which hands back stdout's content as a truth value, and through failures.
    TesselCLIError commandFailure(const FakeTool::Response &response) {
        tool.respond(QStringLiteral("collect"), response);
        const auto error = errorAs<TesselCLIError>(awaitTask(cli().collect()));
        EXPECT_TRUE(error.has_value());
        EXPECT_EQ(error->kind(), TesselCLIError::Kind::commandFailed);
        return *error;
    }
};

TEST_F(RunnerTest, FailureMessageComesFromStandardErrorThenStandardOutputTrimmed) {
    const std::pair<FakeTool::Response, QString> cases[] = {
        {{.standardOutput = "usage: tessel collect\n", .exitCode = 1}, "usage: tessel collect"},
        {{.standardOutput = "other text", .standardError = "  \t denied \n", .exitCode = 2},
         "denied"},
        // Standard error is chosen before trimming: a lone newline wins over standard output.
        {{.standardOutput = "ignored", .standardError = "\n", .exitCode = 3}, ""},
        {{.exitCode = 1}, ""},
        {{.standardError = "interrupted\n", .signal = SIGTERM}, "interrupted"},
        // Invalid UTF-8 becomes replacement characters.
        {{.standardError = "bad \xff\xfe byte \xc3", .exitCode = 1},
         "bad \uFFFD\uFFFD byte \uFFFD"},
    };
    for (const auto &[response, message] : cases)
        EXPECT_EQ(commandFailure(response).errorDescription(), message) << message.toStdString();
}

TEST_F(RunnerTest, MissingOrNonExecutableToolIsMissingCliAndStartsNothing) {
    const QString missing = temp.filePath(QStringLiteral("nowhere/tessel"));
    const QString notExecutable = temp.filePath(QStringLiteral("plain"));
    writeFile(notExecutable, "#!/bin/sh\necho hi\n");
    const QString directory = temp.filePath(QStringLiteral("dir"));
    QDir().mkpath(directory);

    for (const QString &path : {missing, notExecutable, directory, QString()}) {
        const auto outcome = awaitTask(makeCli(path, repoDir).collect());
        const auto error = errorAs<TesselCLIError>(outcome);
        ASSERT_TRUE(error.has_value()) << path.toStdString();
        EXPECT_EQ(error->kind(), TesselCLIError::Kind::missingCLI);
        EXPECT_EQ(error->errorDescription(), QStringLiteral("找不到 tessel CLI：") + path);
    }
    EXPECT_EQ(tool.runCount(), 0);
}

TEST_F(RunnerTest, MissingWorkingDirectoryOrAnUnrunnableExecutableIsALaunchError) {
    const QString gone = temp.filePath(QStringLiteral("no-such-repo"));
    const auto outcome = awaitTask(makeCli(tool.path(), gone).collect());
    const auto error = errorAs<ProcessLaunchError>(outcome);
    ASSERT_TRUE(error.has_value());
    EXPECT_TRUE(error->description().contains(gone));
    EXPECT_FALSE(errorAs<TesselCLIError>(outcome).has_value());
    EXPECT_EQ(tool.runCount(), 0);

    const QString garbage = temp.filePath(QStringLiteral("garbage"));
    writeFile(garbage, QByteArray("\x7f\x45\x4c\x46 not really", 15));
    QFile::setPermissions(garbage, QFile::permissions(garbage) | QFileDevice::ExeOwner);
    EXPECT_TRUE(errorAs<ProcessLaunchError>(awaitTask(makeCli(garbage, repoDir).collect())));
}

TEST_F(RunnerTest, RunsInTheRepositoryFolderWithArgumentsUnaltered) {
    const QStringList awkward = {"with space", "\"quoted\" 'single'", "$HOME", "", "*", "`id`;|&"};
    for (const QString &value : awkward) {
        const QString repo = temp.filePath(QStringLiteral("repo ") + QString::number(qHash(value)));
        QDir().mkpath(repo);
        ASSERT_FALSE(
            awaitTask(makeCli(tool.path(), repo, {{"TesselProfileRepoDir", value}}).runDaily())
                .failed());
        const auto last = tool.invocations().constLast();
        EXPECT_EQ(last.workingDirectory, repo);
        EXPECT_EQ(last.arguments,
                  QStringList({"run", "daily", "--repo-dir", repo, "--profile-repo-dir", value}));
    }
}

TEST_F(RunnerTest, LargeOutputOnBothStreamsAtOnceIsCapturedWhole) {
    QByteArray out(8 * 1024 * 1024, 'o');
    QByteArray err(8 * 1024 * 1024, 'e');
    out.replace(0, 14, "loaded: true\n ");
    err[123] = 'E';
    tool.respond(QStringLiteral("schedule-status"), {.standardOutput = out, .standardError = err});
    EXPECT_TRUE(*awaitTask(cli().scheduleInstalled()).value);

    const TesselCLIError error =
        commandFailure({.standardOutput = out, .standardError = err, .exitCode = 1});
    EXPECT_EQ(error.errorDescription().size(), err.size());
    EXPECT_EQ(error.errorDescription().toLatin1(), err);
}

TEST_F(RunnerTest, ChildPastTheTimeLimitIsKilledAndReported) {
    tool.respond(QStringLiteral("collect"), {.standardOutput = "late", .delay = 20});
    QElapsedTimer clock;
    clock.start();
    const auto outcome = awaitTask(cli().withRunTimeout(300ms).collect());
    EXPECT_LT(clock.elapsed(), 10000);
    const auto error = errorAs<TesselCLIError>(outcome);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->kind(), TesselCLIError::Kind::commandFailed);
    EXPECT_EQ(error->errorDescription(), QStringLiteral("tessel 命令超时，已终止"));
}

} // namespace
