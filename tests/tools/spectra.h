#pragma once
// Spectrum and settings files for the command line's tests.

#include <cmath>
#include <algorithm>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "../model/test_dir.h"
#include "model/reg_file_store.h"
#include "model/settings.h"
#include "model/spectrum.h"
#include "model/spectrum_file.h"
#include "qel/qel_cli.h"

namespace qel::test {

struct CliResult {
  int status;
  std::string out, err;
};

inline CliResult RunQel(const std::vector<std::string>& args, const cli::Environment& env = {}) {
  std::ostringstream out, err;
  const int status = cli::Run(args, out, err, env);
  return {status, out.str(), err.str()};
}

// A first-derivative line: its shape f(u) with u the distance from the centre
// in units of the half peak-to-peak width, normalised to +-1 at the extremes
// (u = -1 is the maximum, on the low-field side).
inline double DerivativeLorentzian(double u) {
  // Absorption 1/(1 + (x/g)^2) has its derivative's extremes at x = +-g/sqrt(3).
  const double x = u / std::sqrt(3.0);
  const double peak = 2 * (1 / std::sqrt(3.0)) / std::pow(1 + 1.0 / 3, 2);
  return -2 * x / std::pow(1 + x * x, 2) / peak;
}
inline double DerivativeGaussian(double u) {
  // Absorption exp(-x^2/2) has them at x = +-1.
  return -u * std::exp(-u * u / 2) / std::exp(-0.5);
}

struct Line {
  std::function<double(double)> Shape;
  double CentreCode = 30000.3;
  double WidthCodes = 800;      // peak to peak
  double AmplitudeCodes = 1000;  // each extreme's distance from the zero line
  int First = 0, Last = 65519;
};

// Writes the line as a .qel file with gain index `gain`, and the field range
// fieldLow..fieldHigh Oe recorded when fieldLow < fieldHigh.
inline void SaveWithParameters(SpectrumStore& store, const std::string& path, std::uint8_t gain, double fieldLow,
                               double fieldHigh) {
  Settings s;
  SetDefaults(s);
  s.Amplifying = gain;
  s.RazvUnits[3].X1 = fieldLow;
  s.RazvUnits[3].X2 = fieldHigh;
  RunValues run;
  run.PassesAveraged = 4;
  StampParameters(store, s, run);
  if (!(fieldLow < fieldHigh)) {
    store.CurrentSpectrum[65531] = EmptyPoint;
    store.CurrentSpectrum[65530] = EmptyPoint;
  }
  SaveSpectrum(store, path);
}

inline void WriteLine(const std::string& path, const Line& line, std::uint8_t gain = 0, double fieldLow = 3200,
                      double fieldHigh = 3500) {
  SpectrumStore store;
  for (int i = line.First; i <= line.Last; ++i) {
    const double u = (i - line.CentreCode) / (line.WidthCodes / 2);
    const double v = 2048 + std::nearbyint(line.AmplitudeCodes * line.Shape(u));
    store.CurrentSpectrum[static_cast<std::size_t>(i)] = {static_cast<std::uint16_t>(i), static_cast<std::uint16_t>(v)};
  }
  SaveWithParameters(store, path, gain, fieldLow, fieldHigh);
}

// Several lines (their First and Last unused) over codes first..last, with
// white noise of `sigma` codes from a fixed random stream; 3200..3500 Oe recorded.
inline void WriteLines(const std::string& path, const std::vector<Line>& lines, double sigma = 0, int first = 0,
                       int last = 65519, unsigned stream = 1) {
  SpectrumStore store;
  std::mt19937 rng(stream);
  std::normal_distribution<double> noise(0, sigma > 0 ? sigma : 1);
  for (int i = first; i <= last; ++i) {
    double v = 2048;
    for (const Line& l : lines) v += l.AmplitudeCodes * l.Shape((i - l.CentreCode) / (l.WidthCodes / 2));
    if (sigma > 0) v += noise(rng);
    v = std::clamp(std::nearbyint(v), 0.0, 4095.0);
    store.CurrentSpectrum[static_cast<std::size_t>(i)] = {static_cast<std::uint16_t>(i), static_cast<std::uint16_t>(v)};
  }
  SaveWithParameters(store, path, 0, 3200, 3500);
}

// The operator's settings file, written as the window writes it.
inline void WriteSettings(const std::string& path, const std::function<void(Settings&)>& change) {
  Settings s;
  SetDefaults(s);
  change(s);
  RegFileStore store(path);
  SaveSettings(s, {}, store);
}

}  // namespace qel::test
