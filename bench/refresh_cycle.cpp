// What the state object adds to a refresh: one whole refresh cycle against a tool that
// answers at once and a usage file of ten years, compared with only running that tool's four
// commands the same way (collect, then three at once) and reading the file. The cycle is
// measured twice: with the file as the last refresh left it (the tool rewrites it only when
// figures change), and with a file changed before every cycle.
#include "cli/TesselCLI.h"
#include "state/MenuBarViewModel.h"

#include <QDate>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

struct Fixture {
    QTemporaryDir dir;
    QString repo = dir.filePath(QStringLiteral("repo"));

    Fixture() {
        QDir().mkpath(repo + QStringLiteral("/docs"));
        writeUsage(0);
    }

    // Replaces the usage file as the tool does, with figures that differ by `variant`.
    void writeUsage(int variant) const {
        QByteArray json = "{\"rows\":[";
        const QDate last(2026, 12, 6);
        for (int i = 0; i < 3650; ++i) {
            if (i)
                json += ',';
            const qint64 claude = 100000 + (i * 7919) % 9000000 + variant;
            const qint64 codex = (i * 104729) % 3000000;
            json += "{\"day\":\"" + last.addDays(i - 3649).toString(u"yyyy-MM-dd").toLatin1() +
                    "\",\"total_tokens\":" + QByteArray::number(claude + codex) +
                    ",\"providers\":{\"claude\":" + QByteArray::number(claude) +
                    ",\"codex\":" + QByteArray::number(codex) + "}}";
        }
        json += "]}";
        QSaveFile file(repo + QStringLiteral("/docs/usage.json"));
        if (file.open(QIODevice::WriteOnly))
            file.write(json);
        file.commit();
    }

    TesselCLI cli() const {
        Bundle bundle;
        bundle.info.insert(QStringLiteral("TesselCLIPath"), QStringLiteral(FAKE_TESSEL));
        bundle.info.insert(QStringLiteral("TesselRepoDir"), repo);
        return TesselCLI(bundle);
    }
};

Fixture &fixture() {
    static Fixture instance;
    return instance;
}

void startTool(QProcess &process, const QStringList &arguments) {
    process.setProgram(QStringLiteral(FAKE_TESSEL));
    process.setArguments(arguments);
    process.setWorkingDirectory(fixture().repo);
    process.start();
}

void toolOnly(benchmark::State &state) {
    for (auto _ : state) {
        QProcess collect;
        startTool(collect, {QStringLiteral("collect")});
        collect.waitForFinished(-1);

        QProcess report, status;
        startTool(report,
                  {QStringLiteral("report"), QStringLiteral("today"), QStringLiteral("--json")});
        startTool(status, {QStringLiteral("schedule"), QStringLiteral("status")});
        QFile file(fixture().repo + QStringLiteral("/docs/usage.json"));
        file.open(QIODevice::ReadOnly);
        benchmark::DoNotOptimize(file.readAll().size());
        report.waitForFinished(-1);
        status.waitForFinished(-1);
        benchmark::DoNotOptimize(report.readAllStandardOutput().size());
        benchmark::DoNotOptimize(status.readAllStandardOutput().size());
    }
}
BENCHMARK(toolOnly)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void refreshCycle(benchmark::State &state, bool changeFileEachTime) {
    const QString settings = fixture().dir.filePath(QStringLiteral("settings.conf"));
    MenuBarViewModel model(
        fixture().cli(), std::make_unique<SettingsStore>(settings, fixture().dir.path()), Clock());
    int variant = 0;
    for (auto _ : state) {
        if (changeFileEachTime) {
            state.PauseTiming();
            fixture().writeUsage(++variant);
            state.ResumeTiming();
        }
        QEventLoop loop;
        QObject::connect(&model, &MenuBarViewModel::objectWillChange, &loop, [&] {
            QMetaObject::invokeMethod(
                &loop,
                [&] {
                    if (!model.isRefreshing())
                        loop.quit();
                },
                Qt::QueuedConnection);
        });
        model.refresh();
        loop.exec();
        if (model.lastError())
            state.SkipWithError(model.lastError()->toUtf8().constData());
    }
    benchmark::DoNotOptimize(model.weeklyTokens());
}
BENCHMARK_CAPTURE(refreshCycle, unchangedFile, false)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK_CAPTURE(refreshCycle, changedFile, true)->Unit(benchmark::kMillisecond)->MinTime(3.0);

} // namespace
