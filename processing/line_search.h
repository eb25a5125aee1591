#pragma once
// The lines of a first-derivative spectrum: every maximum and minimum pair
// with a zero crossing between them that stands out of the noise, flagged
// where the range cuts it or a neighbour overlaps it.
//
// Everything here works in the spectrum's own units: positions in field
// codes, values in amplitude codes. The points need not be evenly spaced
// (a spectrum may have gaps), but they must be in increasing order of code.

#include <cstddef>
#include <span>
#include <vector>

#include "model/spectrum.h"

namespace qel {

// The noise of the points, in amplitude codes: the median absolute
// deviation of the second differences y[i+1] - 2 y[i] + y[i-1], times 1.4826
// (the MAD of normal noise is 0.6745 of its sigma), divided by sqrt(6) (the
// variance of a second difference of white noise). A line bends slowly from
// one point to the next, so the second differences hold the noise and almost
// nothing of the lines, not even of their steep slopes, which first
// differences would count as noise. Never below the quantisation noise of
// one code, 1/sqrt(12).
//
// Neighbouring points need not be independent: a sample the instrument
// writes to 2 or 4 codes at its slower sweeps, the real-time filter,
// accumulation and smoothing all correlate the noise, and second
// differences of neighbours then see almost none of it. So the lag L of
// y[i+2L] - 2 y[i+L] + y[i] doubles (1, 2, 4 ... 128) while the estimate still
// grows by more than 15 %; Lag is where it levelled off, about the length
// over which the noise is correlated.
struct NoiseEstimate {
  double Sigma = 0;
  int Lag = 1;
};
// `minLag`: the noise is known to be correlated over at least this many
// points (the real-time filter's constant times the codes of a sample).
NoiseEstimate EstimateNoise(std::span<const double> y, std::size_t minLag = 1);
double NoiseSigma(std::span<const double> y);

// A line needs a peak-to-peak amplitude of at least this many sigma.
inline constexpr double MinLineSnr = 5.0;

struct FoundLine {
  // The two extremes, the lower code first; values above the baseline.
  double FirstCode = 0, SecondCode = 0;
  double FirstValue = 0, SecondValue = 0;
  double CentreCode = 0;  // where the line crosses the baseline between them
  double Width = 0;       // SecondCode - FirstCode: ΔHpp in codes
  double PeakToPeak = 0;  // |FirstValue - SecondValue|, codes
  double Snr = 0;         // PeakToPeak / sigma
  bool CutLow = false;    // an extreme on the first point of the range
  bool CutHigh = false;   // an extreme on the last point of the range
  bool Overlaps = false;  // a neighbour's centre closer than twice the sum of the two widths
  // The points a fit of this line uses: indices into the series, inclusive.
  std::size_t From = 0, To = 0;
};

struct LineSearch {
  double Sigma = 0;  // the noise, codes
  int NoiseLag = 1;  // points over which the noise is correlated (NoiseEstimate::Lag)
  // The baseline: a parabola through the medians of 64 stretches of the
  // range, those that stand off it (the lobes of lines) left out, so that
  // lines do not move it and a drift, straight or curved, is no line.
  double Baseline = 0;           // codes at BaselineX
  double BaselineSlope = 0;      // codes per field code at BaselineX
  double BaselineCurvature = 0;  // codes per field code squared
  double BaselineX = 0;
  double BaselineAt(double x) const {
    const double d = x - BaselineX;
    return Baseline + (BaselineSlope + BaselineCurvature * d) * d;
  }
  double BaselineSlopeAt(double x) const { return BaselineSlope + 2 * BaselineCurvature * (x - BaselineX); }
  // +1: each line's maximum comes before its minimum (the usual phase of a
  // first-derivative absorption line); -1: the other way round.
  int Phase = 1;
  std::vector<FoundLine> Lines;  // in order of code
};

// Finds the lines among the points (x: field codes, increasing; y: amplitude
// codes). The extremes are looked for on box means of 55, 19, 7 and 3 points,
// each box taking the lines at least twice its width and too narrow for the
// box before it, so that noise neither splits the lobes of a weak broad line
// nor hides a narrow one. The pair's peak-to-peak on those means must reach
// 5 sigma. Each line's extremes and centre are then measured with a
// smoothing of at most a sixteenth of its width. Fewer than 8 points hold no
// line.
// What the spectrum's records say of its points: the codes one sample of
// the instrument fills (the speed's step), and the real-time filter's
// constant (0: no filter), which correlates the noise over that many samples.
struct LineSearchOptions {
  int SampleCodes = 1;
  int FilterConstant = 0;
};
LineSearchOptions SearchOptionsOf(const RecordedParameters& r);

// A line spans at least this many samples from extreme to extreme: a step
// in the data (one sample to the next) or a triangle wave is no line.
inline constexpr int MinLineSamples = 3;

LineSearch FindLines(std::span<const double> x, std::span<const double> y, const LineSearchOptions& o = {});

// The valid points of the spectrum between codes a and b (either order):
// field codes and amplitude codes.
void PointsOf(const SpectrumBuffer& v, std::uint16_t a, std::uint16_t b, std::vector<double>& x,
              std::vector<double>& y);

}  // namespace qel
