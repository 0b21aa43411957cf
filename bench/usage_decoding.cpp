// Decoding throughput of the usage file: 100,000 rows with three providers each, the size a
// file reaches after a few centuries of daily rows, or a tool that writes one row per hour.
#include "cli/ReportFormats.h"
#include "cli/UsageFile.h"

#include <QDate>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

QByteArray makeUsageDocument(int rows) {
    QByteArray json;
    json.reserve(rows * 128);
    json.append("{\"generated_at\":\"2026-12-06T10:00:00Z\",\"rows\":[");
    const QDate first(1800, 1, 1);
    for (qint64 i = 0; i < rows; ++i) {
        const qint64 codex = 1000 + (i * 7919) % 5000000;
        const qint64 claude = 500 + (i * 104729) % 90000000;
        const qint64 opencode = (i * 31) % 40000;
        json.append(i ? ",{\"day\":\"" : "{\"day\":\"")
            .append(first.addDays(i).toString(u"yyyy-MM-dd").toLatin1())
            .append("\",\"total_tokens\":")
            .append(QByteArray::number(codex + claude + opencode))
            .append(",\"providers\":{\"codex\":")
            .append(QByteArray::number(codex))
            .append(",\"claude\":")
            .append(QByteArray::number(claude))
            .append(",\"opencode\":")
            .append(QByteArray::number(opencode))
            .append("}}");
    }
    json.append("]}");
    return json;
}

void decodeInMemory(benchmark::State &state) {
    const QByteArray json = makeUsageDocument(100000);
    for (auto _ : state) {
        UsageReport report = UsageReport::decode(json);
        benchmark::DoNotOptimize(report.rows.size());
    }
    state.SetBytesProcessed(state.iterations() * json.size());
    state.counters["rows"] = 100000;
}
BENCHMARK(decodeInMemory)->Unit(benchmark::kMillisecond);

void readAndDecodeFile(benchmark::State &state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("usage.json"));
    const QByteArray json = makeUsageDocument(100000);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size()) {
        state.SkipWithError("cannot write the sample file");
        return;
    }
    file.close();
    for (auto _ : state) {
        UsageReport report = loadUsageFile(path);
        benchmark::DoNotOptimize(report.rows.size());
    }
    state.SetBytesProcessed(state.iterations() * json.size());
}
BENCHMARK(readAndDecodeFile)->Unit(benchmark::kMillisecond);

} // namespace
