#pragma once
// The spectrum as a BES3T 1.2 pair (descriptor .DSC, data .DTA) that ESR
// analysis tools read: one real channel of big-endian doubles on an evenly
// spaced field axis in gauss.

#include <optional>
#include <string>

#include "as_shown.h"

namespace qel::cli {

struct Bes3tPair {
  std::string Dsc;             // the descriptor's text
  std::string Dta;             // XPTS big-endian IEEE doubles
  std::size_t FilledPoints = 0;  // empty points inside the data range given a value
};

// The data range first..last valid point, each point's amplitude as the
// window shows it (unit and gain factor applied). An empty point inside the
// range takes the value of the last valid point before it (sample and hold,
// as the window's minimum/maximum search and integral fill gaps); the
// descriptor says how many were filled. Throws std::runtime_error when the
// spectrum holds no point.
Bes3tPair MakeBes3t(const SpectrumBuffer& spectrum, const Shown& shown, const std::string& title,
                    std::optional<double> frequencyGHz);

// Sweep time in seconds of a speed table caption (" 1 мин", "30 сек");
// nothing for " СТОП".
std::optional<double> SweepSeconds(std::string_view caption);

}  // namespace qel::cli
