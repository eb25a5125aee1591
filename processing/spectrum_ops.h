#pragma once
// Operations that transform or measure the spectrum in place.
//
// Shared rules of every operation:
// - The data range is the first..last valid point, and the cursor range the
//   first..last valid point between the two cursor codes (in either order).
//   Both end at 65522 at the most: points above it are never written (the
//   four-point fill of a telegram at 65519 reaches 65522; the parameter
//   records lie above).
// - A slot holding a parameter or reserved record (0xFFF0..0xFFFE) is neither
//   read as a point nor written, wherever it lies.
// - Every computed value is clamped into 0..65519 before it is stored, so a
//   processed point always stays a point; a point an operation gives a value
//   to carries its own index as Code.
// - Empty points (0xFFFF) inside a range: smoothing averages the valid points
//   of each window and gives an empty point the mean of its window; the
//   filter's start block is the mean of its valid points, and the recursion
//   gives an empty point the filter's current output; levelling leaves it
//   empty. Empty points outside the data range never get a value.

#include <cmath>
#include <cstdint>
#include <cstring>

#include "model/spectrum.h"

namespace qel {

struct PointRange {
  std::uint16_t First = 0;
  std::uint16_t Last = 0;
  bool Empty = true;  // no valid point
};

inline constexpr std::uint16_t LastWritableIndex = 65522;

PointRange DataRange(const SpectrumBuffer& v);
PointRange CursorRange(const SpectrumBuffer& v, std::uint16_t a, std::uint16_t b);

// Sample-and-hold over the data range: each empty point takes the value of
// the last valid point before it.
void FillGaps(SpectrumBuffer& v);

// Moving average of 2N+1 points; the N first and N last points of the data
// range become empty. Integer sums, truncating division.
void GlissSpectrum(SpectrumBuffer& v, int n);

// First-order low-pass with time constant K points, float32 state.
void FilterSpectrum(SpectrumBuffer& v, int k);

// One step of the filter's recursion: y + (v - y) / K formed in extended
// precision and narrowed to float32. Taken on a faster path that gives the
// same float whenever it can prove so, and exactly otherwise.
class FilterStep {
 public:
  explicit FilterStep(int k);
  float operator()(float y, std::uint16_t v) const;
  float Exact(float y, std::uint16_t v) const;

 private:
  long double k_;
  double reciprocal_;
};

// Subtracts the straight line through the ends of the cursor range and puts
// the result on the zero line. A range of one point stays unchanged.
void EqualizeSpectrum(SpectrumBuffer& v, std::uint16_t a, std::uint16_t b);

// Fills the gaps, then searches the cursor range; writes an index only when
// it finds an extreme (maximum above 1, minimum below 4095; the first of
// equal extremes wins).
void MinMaxSpectrum(SpectrumBuffer& v, std::uint16_t a, std::uint16_t b, std::int32_t& maxIndex,
                    std::int32_t& minIndex);

// Fills the gaps, then the double integral of the mean-free signal between
// the cursors, divided by the gain factor; 0 with no valid point.
double IntegralValue(SpectrumBuffer& v, std::uint16_t a, std::uint16_t b, int gainFactor);

// Fills the gaps, then replaces the cursor range by its first integral,
// scaled to stay within about 1024 codes of the zero line.
void IntegrateSpectrum(SpectrumBuffer& v, std::uint16_t a, std::uint16_t b);

inline float FilterStep::operator()(float y, std::uint16_t v) const {
  // y + (v - y)/K in double with a reciprocal lies within 2^-51 of the true
  // value (|v - y|/K never exceeds the result, both being non-negative), and
  // so does the extended-precision value. Unless that puts it within reach of
  // a midpoint between two floats, both narrow to the same float.
  const double s = y + (static_cast<double>(v) - y) * reciprocal_;
  const float r = static_cast<float>(s);
  const double d = s - static_cast<double>(r);
  std::uint32_t bits;
  std::memcpy(&bits, &r, sizeof bits);
  // Half the float's unit in the last place, built from its exponent field;
  // at a power of two the grid below is finer, so half of that again.
  const std::uint32_t exponent = (bits >> 23) & 0xFF;
  const std::uint64_t halfUlpBits = static_cast<std::uint64_t>(exponent + (1023 - 151) - ((bits & 0x7FFFFF) == 0))
                                    << 52;
  double halfUlp;
  std::memcpy(&halfUlp, &halfUlpBits, sizeof halfUlp);
  const bool hard = (exponent < 64) | (halfUlp - std::fabs(d) < s * 0x1p-46);
  return hard ? Exact(y, v) : r;
}

}  // namespace qel
