#ifndef BENCHMAIN_H
#define BENCHMAIN_H

// The main() of every benchmark program: a QCoreApplication, an optional
// set-up that runs after it, then Google Benchmark with the command line.

#include <QtCore/QCoreApplication>
#include <benchmark/benchmark.h>

#include <functional>

inline int runBenchmarks(int argc, char **argv, const std::function<void()> &setUp = {})
{
    QCoreApplication app(argc, argv);
    if (setUp)
        setUp();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

#endif // BENCHMAIN_H
