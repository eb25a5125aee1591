#include <benchmark/benchmark.h>

#include "qt_bench_main.h"

#include <QApplication>

#include <cmath>
#include <cstdlib>

#include "display/screen_box.h"
#include "model/units.h"

namespace {

struct Plot {
  Plot() {
    qel::SetDefaults(s);
    for (std::uint16_t i = 0; i <= qel::MaxFieldCode; ++i) {
      const double x = (i - 32760) / 900.0;
      store.CurrentSpectrum[i] = {i, static_cast<std::uint16_t>(2048 - std::lround(1500 * x / ((1 + x * x) * (1 + x * x))))};
    }
    box = std::make_unique<qel::ScreenBox>(s, store, run, ",");
    box->resize(1920, 1080);
    box->ScreenBoxPaint();
  }
  qel::Settings s;
  qel::SpectrumStore store;
  qel::RunValues run;
  std::unique_ptr<qel::ScreenBox> box;
};

void BM_repaint(benchmark::State& state) {
  Plot p;
  for (auto _ : state) p.box->ScreenBoxPaint();
  state.SetItemsProcessed(state.iterations() * 65520);
}
BENCHMARK(BM_repaint)->Name("repaint/65520 points 1920x1080")->Unit(benchmark::kMillisecond);

void BM_PlotPoint(benchmark::State& state) {
  Plot p;
  std::uint16_t i = 0;
  for (auto _ : state) {
    p.box->PlotPoint(i, p.s.DisplayColors.Graph);
    i = static_cast<std::uint16_t>(i == qel::MaxFieldCode ? 0 : i + 1);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PlotPoint)->Name("PlotPoint")->Unit(benchmark::kNanosecond);

}  // namespace

QEL_QT_BENCHMARK_MAIN()
