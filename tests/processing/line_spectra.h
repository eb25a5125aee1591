#pragma once
// Synthetic first-derivative spectra with known lines, for the line search
// and fit tests and benchmarks: 12-bit codes around the zero line 2048,
// white Gaussian noise from a fixed random stream, rounded to whole codes.

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace qel::test {

enum class Shape { Lorentz, Gauss };

struct TrueLine {
  Shape Kind = Shape::Lorentz;
  double Centre = 30000;      // code
  double Width = 300;         // ΔHpp, codes
  double PeakToPeak = 1000;   // codes, maximum minus minimum
};

// The line's value at `x`, the maximum on the low-code side.
inline double LineValue(const TrueLine& l, double x) {
  if (l.Kind == Shape::Lorentz) {
    // Absorption g^2/(g^2 + d^2): derivative extremes at d = +-g/sqrt(3),
    // each 3 sqrt(3)/(8 g) from zero.
    const double g = l.Width * std::sqrt(3.0) / 2;
    const double d = x - l.Centre;
    const double v = -2 * d * g * g / std::pow(g * g + d * d, 2);
    return l.PeakToPeak / 2 * v / (3 * std::sqrt(3.0) / (8 * g));
  }
  // Absorption exp(-d^2/(2 s^2)): extremes at d = +-s, each exp(-1/2)/s.
  const double s = l.Width / 2;
  const double d = x - l.Centre;
  const double v = -d / (s * s) * std::exp(-d * d / (2 * s * s));
  return l.PeakToPeak / 2 * v / (std::exp(-0.5) / s);
}

struct Synthetic {
  std::vector<double> X, Y;
};

// Points at codes first..last; each the zero line plus the lines plus noise
// of `sigma` codes, rounded and kept within 0..4095.
inline Synthetic MakeSpectrum(const std::vector<TrueLine>& lines, double sigma, unsigned stream = 1, int first = 0,
                              int last = 65519, double baseline = 2048) {
  Synthetic s;
  std::mt19937 rng(stream);
  std::normal_distribution<double> noise(0, sigma > 0 ? sigma : 1);
  for (int i = first; i <= last; ++i) {
    double v = baseline;
    for (const TrueLine& l : lines) v += LineValue(l, i);
    if (sigma > 0) v += noise(rng);
    s.X.push_back(i);
    s.Y.push_back(std::clamp(std::nearbyint(v), 0.0, 4095.0));
  }
  return s;
}

}  // namespace qel::test
