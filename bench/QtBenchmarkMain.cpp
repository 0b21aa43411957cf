// Benchmark entry point with a Qt application object, which the code under test needs for
// its event loop and worker threads.
#include <QCoreApplication>

#include <benchmark/benchmark.h>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
