#include <benchmark/benchmark.h>

#include <QApplication>

#include <cstdlib>

#include "app/message_form.h"

namespace {

// Appending one line to the message log after `lines` lines: the same cost
// at a million lines as at ten, since the window keeps only the newest.
void BM_LogAppend(benchmark::State& state) {
  qel::TQelMessageForm log;
  log.ClearLines();
  const QString line = "Tm03. POLEmax=65519";
  for (long i = 0; i < state.range(0); ++i) log.AppendLine(line);
  for (auto _ : state) log.AppendLine(line);
  state.counters["lines kept"] = log.LineCount();
}
BENCHMARK(BM_LogAppend)->Name("log append")->Arg(10)->Arg(90000)->Arg(1000000)->Iterations(5000)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
