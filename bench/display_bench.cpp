#include <benchmark/benchmark.h>

#include "qt_bench_main.h"

#include <QApplication>
#include <QPainter>

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

// The anchor, in the same run: the same 65,520 points drawn with a plain
// QPainter::drawPoint loop on an image of the same size (the repaint also
// fills the background, draws the grid, the labels and the cursors).
void BM_DrawPointLoop(benchmark::State& state) {
  Plot p;
  QImage image(1920, 1080, QImage::Format_RGB32);
  image.fill(Qt::black);
  for (auto _ : state) {
    QPainter painter(&image);
    painter.setPen(QColor(255, 0, 0));
    for (std::uint16_t i = 0; i <= qel::MaxFieldCode; ++i)
      painter.drawPoint(static_cast<int>(i * 1920L / 65519), 540 - (p.store.CurrentSpectrum[i].Value - 2048) * 1080 / 4096);
  }
  state.SetItemsProcessed(state.iterations() * 65520);
}
BENCHMARK(BM_DrawPointLoop)->Name("anchor: QPainter::drawPoint loop/65520 points 1920x1080")->Unit(benchmark::kMillisecond);

// What no repaint can go below: the image filled with one colour.
void BM_Fill(benchmark::State& state) {
  QImage image(1920, 1080, QImage::Format_RGB32);
  for (auto _ : state) {
    image.fill(Qt::black);
    benchmark::DoNotOptimize(image.constBits());
  }
}
BENCHMARK(BM_Fill)->Name("image fill 1920x1080")->Unit(benchmark::kMillisecond);

void BM_Background(benchmark::State& state) {
  Plot p;
  for (auto _ : state) p.box->DrawBackground();
}
BENCHMARK(BM_Background)->Name("background 1920x1080")->Unit(benchmark::kMillisecond);

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
