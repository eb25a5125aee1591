#pragma once
// The `qel` command line: recorded spectra without the window.

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "model/settings.h"

namespace qel::cli {

// What `qel plot` asks for; drawn by a function that only a build with the
// toolkit provides.
struct PlotRequest {
  std::string Input;
  std::string Output;  // .png or .svg
  int Width = 1024;
  int Height = 600;
  std::optional<std::uint16_t> From, To;  // view in field codes; the data range when not given
  bool MinMax = false;                    // mark the minimum and maximum, with "A="
  int OrdScale = 0;                       // vertical scale step 0..6
};
// Throws std::exception (its text shown to the operator) on a failure.
using PlotFunction = std::function<void(const PlotRequest&, const Settings& operatorSettings)>;

// What `qel passes --plot` asks for: each pass's own values per field code
// (First..Last), drawn over each other, the outliers on top in the marker
// colour.
struct PassesPlotRequest {
  std::string Output;  // .png or .svg
  int Width = 1024;
  int Height = 600;
  std::uint16_t First = 0, Last = 0;
  std::vector<std::vector<std::optional<std::uint16_t>>> Passes;  // index: code - First
  std::vector<std::uint32_t> Numbers;
  std::vector<bool> Outlier;
};
using PassesPlotFunction = std::function<void(const PassesPlotRequest&, const Settings& operatorSettings)>;

struct Environment {
  bool ErrIsTerminal = false;  // progress lines go to `err` only then
  PlotFunction Plot;           // `qel plot` exists only when set
  PassesPlotFunction PlotPasses;  // and `qel passes --plot`
};

// Runs the command with its arguments (without the program name); returns the
// exit status: 0 success, 1 an error (a bad command line, a file that could
// not be read or written; with several files, some failed and the others
// were done). Normal output goes to `out`, errors and progress to `err`.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const Environment& env = {});

}  // namespace qel::cli
