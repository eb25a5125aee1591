#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <unistd.h>

#include "model/spectrum_file.h"

namespace {

// A full spectrum: 65520 data points and the ten parameter records.
void FillFull(qel::SpectrumStore& store) {
  std::mt19937 rng(1);
  for (std::uint16_t x = 0; x <= qel::MaxFieldCode; ++x)
    store.CurrentSpectrum[x] = {x, static_cast<std::uint16_t>(rng() % 4096)};
  qel::Settings s;
  qel::SetDefaults(s);
  qel::StampParameters(store, s, qel::RunValues{});
}

std::string ShmPath(const char* name) {
  const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(base) + "/qel-bench-" + std::to_string(::getpid()) + "-" + name;
}

void BM_save(benchmark::State& state) {
  qel::SpectrumStore store;
  FillFull(store);
  const std::string path = ShmPath("save.qel");
  for (auto _ : state) qel::SaveSpectrum(store, path);
  ::unlink(path.c_str());
}
BENCHMARK(BM_save)->Name("save")->Unit(benchmark::kMillisecond);

void BM_load(benchmark::State& state) {
  qel::SpectrumStore store;
  FillFull(store);
  const std::string path = ShmPath("load.qel");
  qel::SaveSpectrum(store, path);
  for (auto _ : state) benchmark::DoNotOptimize(qel::LoadSpectrum(store, path));
  ::unlink(path.c_str());
}
BENCHMARK(BM_load)->Name("load")->Unit(benchmark::kMillisecond);

}  // namespace
