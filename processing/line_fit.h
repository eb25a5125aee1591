#pragma once
// The shapes of the lines the search found: Lorentzian or Gaussian
// derivatives on a straight baseline, fitted by least squares with
// standard errors.

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "processing/line_search.h"

namespace qel {

enum class LineShape { Lorentz, Gauss };

// "лоренц" / "гаусс", and "lorentz" / "gauss" for JSON and CSV.
const char* ShapeName(LineShape shape);
const char* ShapeKey(LineShape shape);

struct LineFit {
  LineShape Shape = LineShape::Lorentz;
  double Centre = 0, CentreError = 0;        // codes
  double Width = 0, WidthError = 0;          // ΔHpp, codes
  double Amplitude = 0, AmplitudeError = 0;  // peak to peak, codes; positive in the search's phase
  double ReducedChi2 = 0;  // residual / (sigma^2 (points - parameters)) of its group
  double Residual = 0;     // sum of squared residuals of its group, codes^2
  std::size_t Points = 0;  // points fitted (after binning a long window)
  // The group's residual is far above the noise (ReducedChi2 over
  // MaxNoiseChi2 times what the noise alone leaves): a line the search did
  // not tell apart (a neighbour too close, one of the other phase, a narrow
  // one on a broad one's flank) is hidden in the window.
  bool ResidualAboveNoise = false;
};

// Noise alone leaves a reduced chi-square near 1 (near min(bin, lag) where
// points are averaged in bins over correlated noise); four times that is a
// residual twice the noise.
inline constexpr double MaxNoiseChi2 = 4;

// Least-squares fits of the lines' first derivatives plus a straight
// baseline, by Levenberg-Marquardt from the search's measures; lines whose
// windows (FoundLine::From..To) meet are fitted together, so that an
// overlapping neighbour is part of the model rather than an error. Standard
// errors come from the covariance at the solution scaled by the residual:
// sqrt(diag((J'J)^-1) * residual / (N - parameters)), that is by the
// reduced chi-square, since the real-time filter, accumulation and smoothing
// correlate the noise. A window of more than 1024 points is averaged in bins
// of at most a twentieth of its narrowest line. An element is empty where
// the fit does not converge to a line of positive width inside its window.
// Why a line has no fit: fewer points in its group's window than twice
// the group's parameters, or a fit that did not converge to a line.
enum class FitProblem { None, TooFewPoints, NoConvergence };
// "мало точек для подгонки", "подгонка не сошлась"; "" for None.
const char* FitProblemText(FitProblem p);

// `problems`, where given, gets each line's problem (None where it has a fit).
std::vector<std::optional<LineFit>> FitLines(std::span<const double> x, std::span<const double> y,
                                             const LineSearch& search, LineShape shape,
                                             std::vector<FitProblem>* problems = nullptr);

// Both shapes; for each group of lines fitted together, the shape with the
// smaller residual.
std::vector<std::optional<LineFit>> FitLinesAuto(std::span<const double> x, std::span<const double> y,
                                                 const LineSearch& search,
                                                 std::vector<FitProblem>* problems = nullptr);

enum class FitChoice { None, Lorentz, Gauss, Auto };

struct LinesResult {
  std::vector<double> X, Y;  // the points analysed
  LineSearch Search;
  std::vector<std::optional<LineFit>> Fits;  // one per line; empty elements without a fit
  std::vector<FitProblem> Problems;          // one per line
};


// Finds the lines of the points and fits them as `fit` asks.
LinesResult AnalyseLines(std::vector<double> x, std::vector<double> y, FitChoice fit,
                         const LineSearchOptions& o = {});

}  // namespace qel
