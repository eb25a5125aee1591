#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>

#include "../tests/processing/line_spectra.h"
#include "processing/lines.h"
#include "processing/spectrum_ops.h"

namespace {

// A full spectrum of 65520 points: a noisy ESR-like line on a sloping base.
const qel::SpectrumBuffer& Pristine() {
  static const auto buffer = [] {
    auto v = std::make_unique<qel::SpectrumBuffer>();
    v->fill(qel::EmptyPoint);
    std::mt19937 rng(3);
    for (std::uint16_t i = 0; i <= qel::MaxFieldCode; ++i) {
      const double x = (i - 32760) / 800.0;
      const double y = 2048 + i / 100.0 - 900 * x / ((1 + x * x) * (1 + x * x)) + static_cast<int>(rng() % 41) - 20;
      (*v)[i] = {i, static_cast<std::uint16_t>(std::lround(y))};
    }
    return v;
  }();
  return *buffer;
}

template <typename Op>
void RunOn(benchmark::State& state, Op op) {
  auto v = std::make_unique<qel::SpectrumBuffer>();
  for (auto _ : state) {
    state.PauseTiming();
    *v = Pristine();
    state.ResumeTiming();
    op(*v);
    benchmark::DoNotOptimize(v->data());
  }
  state.SetItemsProcessed(state.iterations() * 65520);
}

void BM_smoothing(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  RunOn(state, [n](qel::SpectrumBuffer& v) { qel::GlissSpectrum(v, n); });
}
BENCHMARK(BM_smoothing)->Name("smoothing")->Arg(10)->Arg(2000)->Unit(benchmark::kMicrosecond);

void BM_filter(benchmark::State& state) {
  RunOn(state, [](qel::SpectrumBuffer& v) { qel::FilterSpectrum(v, 10); });
}
BENCHMARK(BM_filter)->Name("filter")->Unit(benchmark::kMicrosecond);

void BM_levelling(benchmark::State& state) {
  RunOn(state, [](qel::SpectrumBuffer& v) { qel::EqualizeSpectrum(v, 0, 65519); });
}
BENCHMARK(BM_levelling)->Name("levelling")->Unit(benchmark::kMicrosecond);

void BM_minmax(benchmark::State& state) {
  RunOn(state, [](qel::SpectrumBuffer& v) {
    std::int32_t mx = -1, mn = -1;
    qel::MinMaxSpectrum(v, 0, 65519, mx, mn);
    benchmark::DoNotOptimize(mx + mn);
  });
}
BENCHMARK(BM_minmax)->Name("minmax")->Unit(benchmark::kMicrosecond);

// The value and the integrated curve, as one "Интеграл" computes them.
void BM_integral(benchmark::State& state) {
  RunOn(state, [](qel::SpectrumBuffer& v) {
    benchmark::DoNotOptimize(qel::IntegralValue(v, 0, 65519, 1));
    qel::IntegrateSpectrum(v, 0, 65519);
  });
}
BENCHMARK(BM_integral)->Name("integral")->Unit(benchmark::kMicrosecond);

void BM_integral_value(benchmark::State& state) {
  RunOn(state, [](qel::SpectrumBuffer& v) { benchmark::DoNotOptimize(qel::IntegralValue(v, 0, 65519, 1)); });
}
BENCHMARK(BM_integral_value)->Name("integral/value")->Unit(benchmark::kMicrosecond);

void BM_integral_curve(benchmark::State& state) {
  RunOn(state, [](qel::SpectrumBuffer& v) { qel::IntegrateSpectrum(v, 0, 65519); });
}
BENCHMARK(BM_integral_curve)->Name("integral/curve")->Unit(benchmark::kMicrosecond);

// Lines of a full spectrum: the demo's 1:2:1 triplet of Lorentzian lines
// 1.4 Oe wide, 25 Oe apart on 300 Oe, with noise of 3 codes.
// The same of Gaussian lines too.
const qel::test::Synthetic& Triplet(qel::test::Shape shape = qel::test::Shape::Lorentz) {
  auto make = [](qel::test::Shape shape) {
    const double w = 1.4 * 65520 / 300, step = 25 * 65520 / 300.0;
    return qel::test::MakeSpectrum(
        {{shape, 32760 - step, w, 500}, {shape, 32760, w, 1000}, {shape, 32760 + step, w, 500}}, 3.0);
  };
  static const auto lorentz = make(qel::test::Shape::Lorentz);
  static const auto gauss = make(qel::test::Shape::Gauss);
  return shape == qel::test::Shape::Lorentz ? lorentz : gauss;
}

void BM_find_lines(benchmark::State& state) {
  const auto& s = Triplet();
  for (auto _ : state) {
    const qel::LineSearch r = qel::FindLines(s.X, s.Y);
    if (r.Lines.size() != 3) state.SkipWithError("not three lines");
    benchmark::DoNotOptimize(r.Lines.data());
  }
}
BENCHMARK(BM_find_lines)->Name("lines/find")->Unit(benchmark::kMicrosecond);

// One fit of one line (the middle one) and one shape: of the line's own
// shape, and of the other (as --fit auto does too), which converges slower.
void BM_fit_line(benchmark::State& state) {
  const auto& s = Triplet(state.range(0) ? qel::test::Shape::Gauss : qel::test::Shape::Lorentz);
  qel::LineSearch r = qel::FindLines(s.X, s.Y);
  r.Lines = {r.Lines.at(1)};
  const auto shape = state.range(1) ? qel::LineShape::Gauss : qel::LineShape::Lorentz;
  for (auto _ : state) {
    const auto fits = qel::FitLines(s.X, s.Y, r, shape);
    if (!fits[0]) state.SkipWithError("no fit");
    benchmark::DoNotOptimize(fits.data());
  }
}
// What the window's thread does for the line table at a pass's end: the
// points of the view range copied out (the search runs on another thread).
void BM_points_of(benchmark::State& state) {
  const qel::SpectrumBuffer& v = Pristine();
  std::vector<double> x, y;
  for (auto _ : state) {
    qel::PointsOf(v, 0, 65519, x, y);
    benchmark::DoNotOptimize(x.data());
  }
}
BENCHMARK(BM_points_of)->Name("lines/window_thread_copy")->Unit(benchmark::kMicrosecond);

BENCHMARK(BM_fit_line)
    ->Name("lines/fit_one")
    ->ArgNames({"gauss_line", "gauss_fit"})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
