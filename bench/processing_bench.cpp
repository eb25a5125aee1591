#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>

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

}  // namespace
