// What the state object adds to a refresh. Each iteration runs the refresh's four commands
// against a tool that answers at once, first the cheapest way a program can (posix_spawn,
// blocking waits, the same working folder and captured output, the usage file read as bytes),
// then as one whole refresh cycle of the state object, and times both. Reported per cycle:
// the floor, the refresh, the refresh's own cost over the floor in percent (medians) and the
// CPU the refresh takes on the GUI thread. Measured with the usage file (ten years of days) as
// the last refresh left it, the common case since the tool rewrites it only when figures
// change, and with today's figures changed before every cycle (and before every floor).
#include "cli/TesselCLI.h"
#include "state/MenuBarViewModel.h"

#include <QDate>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

struct Fixture {
    QTemporaryDir dir;
    QString repo = dir.filePath(QStringLiteral("repo"));
    QByteArray repoPath = QFile::encodeName(repo);
    QByteArray usagePath = QFile::encodeName(repo + QStringLiteral("/docs/usage.json"));
    // Every day but today: ten years of rows as the tool writes them.
    QByteArray earlierDays;

    Fixture() {
        QDir().mkpath(repo + QStringLiteral("/docs"));
        earlierDays = "{\n  \"rows\": [";
        for (int i = 0; i < 3649; ++i)
            earlierDays += (i ? ",\n" : "\n") + row(i, 0);
        writeUsage(0);
    }

    static QByteArray row(int index, int variant) {
        const qint64 claude = 100000 + (index * 7919) % 9000000 + variant;
        const qint64 codex = (index * 104729) % 3000000;
        return "    {\"day\": \"" +
               QDate(2026, 12, 6).addDays(index - 3649).toString(u"yyyy-MM-dd").toLatin1() +
               "\", \"total_tokens\": " + QByteArray::number(claude + codex) +
               ", \"providers\": {\"claude\": " + QByteArray::number(claude) +
               ", \"codex\": " + QByteArray::number(codex) + ", \"opencode\": 0}}";
    }

    // Replaces the usage file as the tool does after a collect that found new usage today,
    // today's figures differing by `variant`: by rename, without the tool's sync to disk,
    // whose work would land on whatever runs next and tell nothing about the refresh.
    void writeUsage(int variant) const {
        const QString path = repo + QStringLiteral("/docs/usage.json");
        QFile file(path + QStringLiteral(".tmp"));
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(earlierDays + ",\n" + row(3649, variant) + "\n  ]\n}\n");
        file.close();
        std::rename(QFile::encodeName(file.fileName()).constData(),
                    QFile::encodeName(path).constData());
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

// One command started the cheapest way, its standard output captured in an in-memory file.
class CheapRun {
public:
    explicit CheapRun(std::vector<const char *> words)
        : m_output(memfd_create("floor", MFD_CLOEXEC)) {
        words.insert(words.begin(), FAKE_TESSEL);
        words.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, m_output, STDOUT_FILENO);
        posix_spawn_file_actions_addchdir_np(&actions, fixture().repoPath.constData());
        if (posix_spawn(&m_pid, FAKE_TESSEL, &actions, nullptr,
                        const_cast<char *const *>(words.data()), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~CheapRun() { ::close(m_output); }
    CheapRun(const CheapRun &) = delete;
    CheapRun &operator=(const CheapRun &) = delete;

    // Waits for the command's end and returns how much it printed; -1 when it failed.
    qint64 finish() {
        int status = 0;
        if (m_pid < 0 || waitpid(m_pid, &status, 0) != m_pid || status != 0)
            return -1;
        char buffer[4096];
        const ssize_t got = pread(m_output, buffer, sizeof buffer, 0);
        return got;
    }

private:
    int m_output;
    pid_t m_pid = -1;
};

// The refresh's commands in the refresh's order: collect; then today's report, the schedule
// status and the usage file at once; then the limits. False when a command failed.
bool floorCycle() {
    if (CheapRun({"collect"}).finish() < 0)
        return false;
    CheapRun today({"report", "today", "--json"});
    CheapRun status({"schedule", "status"});
    QFile file(QString::fromLocal8Bit(fixture().usagePath));
    const bool read = file.open(QIODevice::ReadOnly) && !file.readAll().isEmpty();
    const bool answered = today.finish() > 0 && status.finish() > 0;
    return read && answered && CheapRun({"report", "limits", "--json"}).finish() > 0;
}

// Refreshes and returns once the refresh has ended, with its error if it failed.
std::optional<QString> refreshCycle(MenuBarViewModel &model) {
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
        return model.lastError();
    if (model.limitsError())
        return model.limitsError();
    return std::nullopt;
}

double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double wallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

void refreshAgainstFloor(benchmark::State &state, bool changeFileEachTime) {
    const QString settings = fixture().dir.filePath(QStringLiteral("settings.conf"));
    MenuBarViewModel model(
        fixture().cli(), std::make_unique<SettingsStore>(settings, fixture().dir.path()), Clock());
    // The first refresh decodes the file whatever follows; it is not measured.
    refreshCycle(model);
    std::vector<double> floors, refreshes, guiCpu, floorCpu;
    int variant = 0;
    for (auto _ : state) {
        // Each of the two follows a write of its own, so that both find a file they have not
        // read yet.
        if (changeFileEachTime)
            fixture().writeUsage(++variant);
        const double floorStart = wallSeconds(), floorCpuStart = threadSeconds();
        if (!floorCycle()) {
            state.SkipWithError("the tool failed when started directly");
            break;
        }
        const double floorEnd = wallSeconds(), floorCpuEnd = threadSeconds();
        if (changeFileEachTime)
            fixture().writeUsage(++variant);
        const double refreshStart = wallSeconds(), cpuStart = threadSeconds();
        if (const auto error = refreshCycle(model)) {
            state.SkipWithError(error->toUtf8().constData());
            break;
        }
        const double end = wallSeconds(), cpuEnd = threadSeconds();
        floors.push_back(floorEnd - floorStart);
        floorCpu.push_back(floorCpuEnd - floorCpuStart);
        refreshes.push_back(end - refreshStart);
        guiCpu.push_back(cpuEnd - cpuStart);
        state.SetIterationTime(end - refreshStart);
    }
    benchmark::DoNotOptimize(model.weeklyTokens());
    const double floor = median(floors), refresh = median(refreshes);
    state.counters["floor_ms"] = floor * 1e3;
    state.counters["refresh_ms"] = refresh * 1e3;
    state.counters["own_cost_%"] = floor > 0 ? (refresh / floor - 1) * 100 : 0;
    state.counters["gui_cpu_ms"] = median(guiCpu) * 1e3;
    state.counters["floor_cpu_ms"] = median(floorCpu) * 1e3;
}
BENCHMARK_CAPTURE(refreshAgainstFloor, unchangedFile, false)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->MinTime(3.0);
BENCHMARK_CAPTURE(refreshAgainstFloor, changedFile, true)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->MinTime(3.0);

} // namespace
