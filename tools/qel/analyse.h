#pragma once
// Line parameters of recorded spectra: the extremes of a first-derivative
// line, its peak-to-peak amplitude and width, its centre, the double integral
// and the g-factor; many files on several threads.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "as_shown.h"
#include "processing/lines.h"

namespace qel::cli {

struct AnalyseOptions {
  std::optional<std::uint16_t> From, To;  // field codes; the data range when not given
  std::optional<double> FrequencyGHz;
  int Jobs = 1;
  bool Lines = false;  // every line of the range (--lines)
  FitChoice Fit = FitChoice::None;
};

// One line of the range, in the units the window shows.
struct LineReport {
  double CentreCode = 0, CentreField = 0;    // zero crossing
  double FirstField = 0, SecondField = 0;    // the extremes, the lower code first
  double WidthPP = 0;                        // ΔHpp, Oe
  double PeakToPeak = 0;                     // amplitude unit
  double Snr = 0;
  std::optional<double> G;
  bool CutLow = false, CutHigh = false, Overlaps = false;
  struct Fit {
    LineShape Shape = LineShape::Lorentz;
    bool Auto = false;  // chosen by --fit auto
    double CentreField = 0, CentreFieldError = 0;
    double WidthPP = 0, WidthPPError = 0;
    double PeakToPeak = 0, PeakToPeakError = 0;
    double ReducedChi2 = 0;
    std::size_t Points = 0;
    std::optional<double> G, GError;
    bool ResidualAboveNoise = false;  // another line hides in the window
  };
  std::optional<Fit> Fitted;  // with --fit, when the fit converged
  std::string FitError;       // with --fit, why there is none
};

struct Analysis {
  double MaxCode = 0, MinCode = 0;            // field codes, halves where a run of equal values has an even length
  double MaxField = 0, MinField = 0;          // Oe (= G)
  double MaxAmplitude = 0, MinAmplitude = 0;  // amplitude unit, as the labels show them
  double PeakToPeak = 0;                      // as "A=" shows it
  double WidthPP = 0;                         // |MaxField - MinField|
  double CentreCode = 0, CentreField = 0;     // zero crossing between the extremes
  double Integral = 0;                        // as "S=" shows it
  std::optional<double> G;
  std::string AmplitudeUnit, IntegralUnit;
  // The line search over the same range: how many lines, whether the
  // measured extremes lie on the range's first or last point, the noise.
  std::size_t LinesInRange = 0;
  bool MeasuredCut = false;
  bool HiddenLine = false;  // a line's fit leaves a residual above the noise
  double Sigma = 0;              // amplitude unit
  std::vector<LineReport> Lines;  // with --lines
};

// The g-factor of a line at `fieldG` gauss for a microwave frequency in GHz.
inline double GFactor(double frequencyGHz, double fieldG) { return 714.4773 * frequencyGHz / fieldG; }

// The lines of the loaded spectrum between codes a and b (the data range
// when both are absent), in the window's units. The spectrum must have its
// gaps filled. Fits each line when `fit` asks for it.
std::vector<LineReport> MeasureLines(const SpectrumBuffer& v, const Shown& shown, std::uint16_t a, std::uint16_t b,
                                     FitChoice fit, std::optional<double> frequencyGHz, double* sigma = nullptr);

// Measures the loaded spectrum (changed: its gaps are filled, as the window's
// search does). Extremes: the window's minimum/maximum search over the range;
// the position of each is the middle of the run of equal values that starts
// at the point the search found (a digitised peak is flat over a few codes,
// and the search takes the first of equal values).
// Centre: where the signal crosses the zero line (amplitude code 2048),
// linearly interpolated between codes, searched between the extremes (with
// several crossings, the middle of the first and the last). Throws
// std::runtime_error when the range holds no extreme or no crossing.
Analysis AnalyseSpectrum(SpectrumBuffer& v, const Shown& shown, const AnalyseOptions& o);

struct FileAnalysis {
  std::string File;
  std::optional<Analysis> Result;
  std::string Error;  // when Result is empty
  FitChoice Fit = FitChoice::None;  // the fit asked for
};

// Every file, on o.Jobs threads, in the order given. `progress` (may be
// empty) is called with the number done after each file, from one thread at
// a time.
std::vector<FileAnalysis> AnalyseFiles(const std::vector<std::string>& files, const Settings& operatorSettings,
                                       const AnalyseOptions& o, const std::function<void(std::size_t)>& progress);

std::string AnalysisText(const std::vector<FileAnalysis>& r);
// With --lines: one text line for each line, the file named on each.
std::string LinesText(const std::vector<FileAnalysis>& r);
std::string LinesCsv(const std::vector<FileAnalysis>& r);
std::string LinesJson(const std::vector<FileAnalysis>& r);
// The warnings of a measure without --lines (several lines, a cut line),
// one text line each, naming --lines; empty when there is none.
std::string AnalysisWarnings(const FileAnalysis& r);
std::string AnalysisCsv(const std::vector<FileAnalysis>& r);
std::string AnalysisJson(const std::vector<FileAnalysis>& r);

}  // namespace qel::cli
