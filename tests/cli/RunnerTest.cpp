// Running the tool: what counts as success, which stream carries a failure, and the ways a
// run can go wrong before, during and after the child.
#include "AwaitTask.h"
#include "CliFixture.h"

#include "cli/DescribedError.h"
#include "cli/TesselCLIError.h"

#include "cli/RunCanceller.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <fstream>
#include <string>

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

TEST_F(RunnerTest, AToolOrFolderThatCannotRunIsReportedAndStartsNothing) {
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

    // A missing working folder, or an executable the system cannot run, is a launch error.
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

// A tool that is a shell script of the test's own; `pids` names a file where it and its own
// children note their process ids.
class GroupTest : public RunnerTest {
protected:
    QString pids = temp.filePath(QStringLiteral("pids"));

    TesselCLI scriptTool(const QByteArray &body) {
        const QString path = temp.filePath(QStringLiteral("script-tool"));
        writeFile(path, "#!/bin/sh\n" + body);
        QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
        return makeCli(path, repoDir);
    }

    // True once every noted process is gone; waits a little for the kernel to reap them.
    bool notedProcessesGone() {
        QFile file(pids);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const QList<QByteArray> noted = file.readAll().split('\n');
        QElapsedTimer clock;
        clock.start();
        for (const QByteArray &pid : noted) {
            if (pid.trimmed().isEmpty())
                continue;
            while (::kill(pid.trimmed().toInt(), 0) == 0) {
                if (clock.elapsed() > 5000)
                    return false;
                QThread::msleep(20);
            }
        }
        return noted.size() > 1;
    }
};

TEST_F(GroupTest, EveryWayARunEndsLeavesNothingOfTheToolRunning) {
    struct Case {
        const char *name;
        QByteArray script;
        std::chrono::milliseconds timeout;
        QString error; // empty: the run succeeds
        bool cancel = false;
    };
    const QByteArray note = "echo $$ >> '" + pids.toUtf8() + "'\n";
    const QByteArray child = "sleep 30 & echo $! >> '" + pids.toUtf8() + "'\n";
    const QString tooMuch = QStringLiteral("tessel 输出过多，已终止");
    // Writes on past the output limit whatever the writes return; with the time limit far
    // off, only the output watch can end it in time.
    const auto stubborn = [](const char *stream) {
        return "s=$(head -c 65536 /dev/zero | tr '\\0' x)\ntrap '' TERM\nexec 3>&" +
               QByteArray(stream) + "\nwhile :; do printf '%s' \"$s\" >&3; done 2>/dev/null\n";
    };
    const Case cases[] = {
        // A child of the tool that keeps both streams open after the tool has ended.
        {"grandchild holds the pipes", note + child + "echo done\n", 10s, QString()},
        {"time limit", note + child + "sleep 30\n", 300ms,
         QStringLiteral("tessel 命令超时，已终止")},
        {"endless writer", note + child + "exec yes\n", 60s, tooMuch},
        {"writer ignoring write errors", note + child + stubborn("1"), 60s, tooMuch},
        {"writer ignoring write errors on standard error", note + stubborn("2"), 60s, tooMuch},
        {"cancelled", note + child + "wait\n", 60s, QString(), true},
    };
    for (const Case &run : cases) {
        QFile::remove(pids);
        auto canceller = std::make_shared<RunCanceller>();
        if (run.cancel)
            QTimer::singleShot(300ms, [canceller] { canceller->cancel(); });
        QElapsedTimer clock;
        clock.start();
        const auto outcome = awaitTask(
            scriptTool(run.script).withRunTimeout(run.timeout).withCanceller(canceller).collect());
        EXPECT_LT(clock.elapsed(), 8000) << run.name;
        EXPECT_EQ(outcome.failed(), run.cancel || !run.error.isEmpty()) << run.name;
        if (!run.error.isEmpty()) {
            const auto error = errorAs<TesselCLIError>(outcome);
            ASSERT_TRUE(error.has_value()) << run.name;
            EXPECT_EQ(error->kind(), TesselCLIError::Kind::commandFailed) << run.name;
            EXPECT_EQ(error->errorDescription(), run.error) << run.name;
        }
        EXPECT_TRUE(notedProcessesGone()) << run.name;
    }
}

// The main thread's sleeps so far: each is one wake-up of the event loop.
long mainThreadWakeUps() {
    std::ifstream status("/proc/thread-self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.starts_with("voluntary_ctxt_switches:"))
            return std::stol(line.substr(line.find(':') + 1));
    return -1;
}

// The idle cost of the tray is mostly the tool runs of each refresh, so a run must not wake
// the event loop for every piece of output the tool writes, nor look at its output while it
// is short.
TEST_F(GroupTest, ARunWakesTheEventLoopOnlyForTheChildsEnd) {
    const TesselCLI chatty =
        scriptTool("for i in 1 2 3 4 5 6; do echo loaded: true; echo note >&2; "
                   "sleep 0.01; done\n");
    const long before = mainThreadWakeUps();
    EXPECT_TRUE(*awaitTask(chatty.scheduleInstalled()).value);
    // The spawn's wait for the exec, the child's end, and one to spare.
    EXPECT_LE(mainThreadWakeUps() - before, 3);
}

} // namespace
