// `qel analyse` on 1,000 full spectra (65520 points each), files on the disk
// (read through the page cache), with one and with two threads: the single
// measure on one line, and every line found and fitted (--lines --fit auto)
// on spectra of three lines.

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

// A folder of full spectra: one first-derivative line with noise, each at
// its own centre, or three (a 1:2:1 Lorentzian triplet 1.4 Oe wide, 25 Oe
// apart on 300 Oe, as the demo's).
class Spectra {
 public:
  explicit Spectra(bool triplet) {
    dir_ = (std::filesystem::temp_directory_path() /
            ("qel-cli-bench-" + std::to_string(::getpid()) + (triplet ? "-3" : "-1")))
               .string();
    std::filesystem::create_directories(dir_);
    std::mt19937 rng(1);
    std::normal_distribution<double> noise(0, 3);
    qel::Settings s;
    qel::SetDefaults(s);
    for (int f = 0; f < kFiles; ++f) {
      qel::SpectrumStore store;
      const double centre = 20000 + 20 * f;
      for (int i = 0; i <= qel::MaxFieldCode; ++i) {
        double v = 2048 + noise(rng);
        if (triplet) {
          const double g = 1.4 * 65520 / 300 * std::sqrt(3.0) / 2;  // ΔHpp = 2 g / sqrt(3)
          for (int l = -1; l <= 1; ++l) {
            const double d = i - (centre + l * 25 * 65520 / 300.0);
            const double pp = l == 0 ? 1000 : 500;
            v += pp / 2 * (-2 * d * g * g / std::pow(g * g + d * d, 2)) / (3 * std::sqrt(3.0) / (8 * g));
          }
        } else {
          const double u = (i - centre) / 400;
          v -= 1000 * u * std::exp(-u * u / 2) / std::exp(-0.5);
        }
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
  static Spectra spectra(false);
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

void BM_analyse_lines(benchmark::State& state) {
  static Spectra spectra(true);
  std::vector<std::string> args{"analyse", "--settings", "/nonexistent/1.0.reg", "--frequency", "9.4", "--lines",
                                "--fit", "auto", "--jobs", std::to_string(state.range(0)), "--json"};
  args.insert(args.end(), spectra.Files().begin(), spectra.Files().end());
  for (auto _ : state) {
    std::ostringstream out, err;
    if (qel::cli::Run(args, out, err) != 0) state.SkipWithError(err.str().c_str());
    // Three lines in every file, each fitted.
    if (out.str().find("\"fit\": null") != std::string::npos) state.SkipWithError("a fit failed");
    benchmark::DoNotOptimize(out.str().size());
  }
  state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_analyse_lines)
    ->Name("analyse_lines_fit_auto_1000_triplets")
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
