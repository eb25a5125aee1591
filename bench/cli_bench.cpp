// `qel analyse` on 1,000 full spectra (65520 points each), files on the disk
// (read through the page cache), with one and with two threads.

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>

#include "model/spectrum_file.h"
#include "qel/qel_cli.h"

namespace {

constexpr int kFiles = 1000;

// A folder of full spectra: a first-derivative line with noise, each at its own centre.
class Spectra {
 public:
  Spectra() {
    dir_ = (std::filesystem::temp_directory_path() / ("qel-cli-bench-" + std::to_string(::getpid()))).string();
    std::filesystem::create_directories(dir_);
    std::mt19937 rng(1);
    std::normal_distribution<double> noise(0, 3);
    qel::Settings s;
    qel::SetDefaults(s);
    for (int f = 0; f < kFiles; ++f) {
      qel::SpectrumStore store;
      const double centre = 20000 + 20 * f;
      for (int i = 0; i <= qel::MaxFieldCode; ++i) {
        const double u = (i - centre) / 400;
        const double v = 2048 - 1000 * u * std::exp(-u * u / 2) / std::exp(-0.5) + noise(rng);
        store.CurrentSpectrum[static_cast<std::size_t>(i)] = {static_cast<std::uint16_t>(i),
                                                              static_cast<std::uint16_t>(std::lround(v))};
      }
      qel::StampParameters(store, s, qel::RunValues{});
      files_.push_back(dir_ + "/s" + std::to_string(f) + ".qel");
      qel::SaveSpectrum(store, files_.back());
    }
  }
  ~Spectra() { std::filesystem::remove_all(dir_); }
  const std::vector<std::string>& Files() const { return files_; }

 private:
  std::string dir_;
  std::vector<std::string> files_;
};

void BM_analyse(benchmark::State& state) {
  static Spectra spectra;
  std::vector<std::string> args{"analyse", "--settings", "/nonexistent/1.0.reg", "--frequency", "9.4", "--jobs",
                                std::to_string(state.range(0)), "--json"};
  args.insert(args.end(), spectra.Files().begin(), spectra.Files().end());
  for (auto _ : state) {
    std::ostringstream out, err;
    if (qel::cli::Run(args, out, err) != 0) state.SkipWithError(err.str().c_str());
    benchmark::DoNotOptimize(out.str().size());
  }
  state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_analyse)->Name("analyse_1000_full_spectra")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
