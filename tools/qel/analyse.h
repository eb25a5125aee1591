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

namespace qel::cli {

struct AnalyseOptions {
  std::optional<std::uint16_t> From, To;  // field codes; the data range when not given
  std::optional<double> FrequencyGHz;
  int Jobs = 1;
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
};

// The g-factor of a line at `fieldG` gauss for a microwave frequency in GHz.
inline double GFactor(double frequencyGHz, double fieldG) { return 714.4773 * frequencyGHz / fieldG; }

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
};

// Every file, on o.Jobs threads, in the order given. `progress` (may be
// empty) is called with the number done after each file, from one thread at
// a time.
std::vector<FileAnalysis> AnalyseFiles(const std::vector<std::string>& files, const Settings& operatorSettings,
                                       const AnalyseOptions& o, const std::function<void(std::size_t)>& progress);

std::string AnalysisText(const std::vector<FileAnalysis>& r);
std::string AnalysisCsv(const std::vector<FileAnalysis>& r);
std::string AnalysisJson(const std::vector<FileAnalysis>& r);

}  // namespace qel::cli
