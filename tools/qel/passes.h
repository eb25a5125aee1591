#pragma once
// The archive of passes (.qelpass) from the command line: the passes listed
// with how far each stands from the others, the mean replayed without chosen
// passes, the passes as one two-dimensional BES3T dataset.

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "as_shown.h"
#include "qel_cli.h"
#include "model/pass_archive.h"

namespace qel::cli {

// "3,7-9" -> {3, 7, 8, 9}; throws std::runtime_error naming what is wrong.
std::set<std::uint32_t> ParsePassList(const std::string& text);

// The archive, its whole passes; a damaged chunk or a missing pass is an
// error (the passes after it cannot be replayed), a torn end only a warning
// written to `warning`.
PassArchive ReadArchiveForUse(const std::string& path, std::string& warning);

struct PassScore {
  std::uint32_t Number = 0;
  std::size_t Points = 0;      // data points logged (rejected ones not counted)
  std::int64_t StartMs = 0;
  bool Cut = false;
  std::optional<double> Score;  // the greatest |z| over the pass's codes
  std::uint16_t AtCode = 0;     // where it is
};

// Per field code the pass's value against the median of all passes there,
// divided by 1.4826 times their median absolute deviation (at least 0.5
// count); each pass's score is the greatest of these. No scores with fewer
// than 3 passes. In pass order.
// `valuesHeld` bounds the codes' values held at once (the passes times the
// codes of a block).
std::vector<PassScore> ScorePasses(const std::vector<PassRecord>& passes, std::size_t valuesHeld = std::size_t{32} << 20);

// What the plot of the passes shows: the codes any pass reached, and as
// outliers the passes whose score is at least 10 and three times the median
// score.
PassesPlotRequest PassesPlotOf(const PassArchive& archive, const std::vector<PassScore>& scores,
                               const std::string& output);

// The rows as text, CSV or JSON. CSV goes to `csvPath` ("-": the text
// returned); the text returned is for standard output.
enum class PassesFormat { Text, Csv, Json };
std::string PassesReport(const std::vector<PassScore>& scores, PassesFormat format, const std::string& csvPath,
                         const std::string& file);

// The mean of the passes left (renumbered as if the excluded ones had never
// come), written to `output` as a .qel spectrum. Returns what was used, for
// standard output. Throws on an excluded number the archive does not hold or
// when nothing is left.
std::string AverageArchive(const PassArchive& archive, const std::set<std::uint32_t>& excluded,
                           const std::string& output);

// The passes as a BES3T 1.2 pair: field fastest, one row per pass (its own
// values, the last write winning), NaN where a pass has no value; the rows'
// pass numbers in the .YGF. Amplitudes and field as `qel export` gives them.
struct Bes3tSet {
  std::string Dsc, Dta, Ygf;
};
Bes3tSet MakePassesBes3t(const PassArchive& archive, const std::set<std::uint32_t>& excluded, const Settings& op,
                         const std::string& title);

}  // namespace qel::cli
