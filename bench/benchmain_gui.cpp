#include "benchratio.h"

#include <QApplication>

#include <benchmark/benchmark.h>

// Benchmarks of widgets run the same with or without a display: unless the caller picks
// a platform, they paint offscreen.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    BenchRatio::printReports();
    benchmark::Shutdown();
    return 0;
}
