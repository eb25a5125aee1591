#pragma once
// main() of a benchmark program that draws: the offscreen platform unless
// another is asked for, an application, then the benchmarks.

#include <benchmark/benchmark.h>

#include <QApplication>

#include <cstdlib>

#define QEL_QT_BENCHMARK_MAIN()                                                     \
  int main(int argc, char** argv) {                                                 \
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1); \
    QApplication app(argc, argv);                                                   \
    benchmark::Initialize(&argc, argv);                                             \
    benchmark::RunSpecifiedBenchmarks();                                            \
    benchmark::Shutdown();                                                          \
    return 0;                                                                       \
  }
