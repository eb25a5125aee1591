#include "spectrum_ops.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "model/number_format.h"

namespace qel {

namespace {

// A slot that holds a parameter or reserved record.
inline bool IsRecordSlot(SpectrumPoint p) { return p.Value >= 0xFFF0 && p.Value != EmptyValue; }

inline std::uint16_t Clamped(long long v) {
  return static_cast<std::uint16_t>(std::clamp<long long>(v, 0, MaxValidValue));
}

inline void Put(SpectrumBuffer& v, std::size_t i, long long value) {
  v[i] = SpectrumPoint{static_cast<std::uint16_t>(i), Clamped(value)};
}

inline void MakeEmpty(SpectrumBuffer& v, std::size_t i) {
  if (!IsRecordSlot(v[i])) v[i].Value = EmptyValue;
}

PointRange RangeBetween(const SpectrumBuffer& v, std::uint16_t lo, std::uint16_t hi) {
  PointRange r;
  hi = std::min(hi, LastWritableIndex);
  std::uint32_t i = lo;
  while (i <= hi && !IsValid(v[i])) ++i;
  if (i > hi) return r;
  std::uint32_t j = hi;
  while (!IsValid(v[j])) --j;
  r.First = static_cast<std::uint16_t>(i);
  r.Last = static_cast<std::uint16_t>(j);
  r.Empty = false;
  return r;
}

}  // namespace

PointRange DataRange(const SpectrumBuffer& v) { return RangeBetween(v, 0, 65535); }

PointRange CursorRange(const SpectrumBuffer& v, std::uint16_t a, std::uint16_t b) {
  return RangeBetween(v, std::min(a, b), std::max(a, b));
}

void FillGaps(SpectrumBuffer& v) {
  const PointRange r = DataRange(v);
  if (r.Empty) return;
  std::uint16_t held = v[r.First].Value;
  for (std::size_t i = r.First + 1u; i <= r.Last; ++i) {
    if (v[i].Value == EmptyValue) {
      v[i] = SpectrumPoint{static_cast<std::uint16_t>(i), held};
    } else if (IsValid(v[i])) {
      held = v[i].Value;
    }
  }
}

void GlissSpectrum(SpectrumBuffer& v, int n) {
  const PointRange r = DataRange(v);
  if (r.Empty || n < 1) return;
  const long first = r.First, last = r.Last;
  // The averages read only this copy; a value above 65519 marks "no point".
  auto copy = std::make_unique<std::uint16_t[]>(SpectrumSize);
  for (long i = first; i <= last; ++i) copy[static_cast<std::size_t>(i)] = IsValid(v[static_cast<std::size_t>(i)]) ? v[static_cast<std::size_t>(i)].Value : EmptyValue;

  for (long i = first; i <= std::min(first + n - 1, last); ++i) MakeEmpty(v, static_cast<std::size_t>(i));
  for (long i = std::max(last - n + 1, first); i <= last; ++i) MakeEmpty(v, static_cast<std::size_t>(i));
  if (last - first + 1 <= 2L * n) return;

  // Running window sum over copy[i-N .. i+N], the same integers as summing
  // each window afresh.
  std::int64_t sum = 0;
  std::int32_t count = 0;
  auto add = [&](long j, int sign) {
    const std::uint16_t c = copy[static_cast<std::size_t>(j)];
    if (c <= MaxValidValue) {
      sum += sign * static_cast<std::int64_t>(c);
      count += sign;
    }
  };
  for (long j = first; j <= first + 2L * n; ++j) add(j, +1);
  for (long i = first + n; i <= last - n; ++i) {
    if (i > first + n) {
      add(i - n - 1, -1);
      add(i + n, +1);
    }
    const auto idx = static_cast<std::size_t>(i);
    if (IsRecordSlot(v[idx]) || count == 0) continue;
    Put(v, idx, sum / count);
  }
}

FilterStep::FilterStep(int k) : k_(k), reciprocal_(1.0 / k) {}

float FilterStep::Exact(float y, std::uint16_t v) const {
  return static_cast<float>(y + (static_cast<long double>(v) - y) / k_);
}

void FilterSpectrum(SpectrumBuffer& v, int k) {
  const PointRange r = DataRange(v);
  if (r.Empty || k < 1) return;
  const std::size_t first = r.First, last = r.Last;
  // The start block: the K first points of the range (fewer when the range is
  // shorter) take the mean of their valid points.
  const std::size_t blockEnd = std::min(first + static_cast<std::size_t>(k) - 1, last);
  float s = 0.0f;
  int valid = 0;
  for (std::size_t i = first; i <= blockEnd; ++i) {
    if (!IsValid(v[i])) continue;
    s = static_cast<float>(s + static_cast<float>(v[i].Value));
    ++valid;
  }
  // Only a gap-free block of K points divides by K itself; otherwise by the
  // number of points averaged.
  const int divisor = (valid == k) ? k : valid;
  float y = static_cast<float>(static_cast<long double>(s) / divisor);
  const long long start = RoundEven(y);
  for (std::size_t i = first; i <= blockEnd; ++i)
    if (!IsRecordSlot(v[i])) Put(v, i, start);

  const FilterStep step(k);
  for (std::size_t i = blockEnd + 1; i <= last; ++i) {
    std::uint16_t x = v[i].Value;
    if (x > MaxValidValue) {
      if (x != EmptyValue) continue;  // a record
      x = Clamped(RoundEven(y));
      v[i] = SpectrumPoint{static_cast<std::uint16_t>(i), x};
    }
    y = step(y, x);
    v[i].Value = Clamped(RoundEven(y));
  }
}

void EqualizeSpectrum(SpectrumBuffer& v, std::uint16_t a, std::uint16_t b) {
  const PointRange r = CursorRange(v, a, b);
  if (r.Empty || r.First == r.Last) return;
  const long lo = r.First, hi = r.Last;
  const long A = v[r.First].Value, B = v[r.Last].Value;
  const float slope = static_cast<float>(static_cast<long double>(B - A) / (hi - lo));
  for (long i = lo; i <= hi; ++i) {
    const auto idx = static_cast<std::size_t>(i);
    if (!IsValid(v[idx])) continue;  // an empty point stays empty
    const long bracket = v[idx].Value + 2048L - A;
    v[idx].Value = Clamped(RoundEven(bracket - static_cast<long double>(i - lo) * slope));
  }
}

void MinMaxSpectrum(SpectrumBuffer& v, std::uint16_t a, std::uint16_t b, std::int32_t& maxIndex,
                    std::int32_t& minIndex) {
  FillGaps(v);
  const PointRange r = CursorRange(v, a, b);
  if (r.Empty) return;
  std::uint16_t mx = 1, mn = 4095;
  for (std::size_t i = r.First; i <= r.Last; ++i) {
    if (!IsValid(v[i])) continue;
    const std::uint16_t x = v[i].Value;
    if (x > mx) {
      mx = x;
      maxIndex = static_cast<std::int32_t>(i);
    }
    if (x < mn) {
      mn = x;
      minIndex = static_cast<std::int32_t>(i);
    }
  }
}

namespace {
// Sum and count of the valid points of a range.
double MeanOf(const SpectrumBuffer& v, const PointRange& r) {
  double sum = 0;
  long count = 0;
  for (std::size_t i = r.First; i <= r.Last; ++i) {
    if (!IsValid(v[i])) continue;
    sum += v[i].Value;
    ++count;
  }
  return static_cast<double>(static_cast<long double>(sum) / count);
}
}  // namespace

double IntegralValue(SpectrumBuffer& v, std::uint16_t a, std::uint16_t b, int gainFactor) {
  FillGaps(v);
  const PointRange r = CursorRange(v, a, b);
  if (r.Empty) return 0;
  const long long m = RoundEven(MeanOf(v, r));
  const double g = gainFactor == 0 ? 1 : gainFactor;
  double f = 0, t = 0;
  for (std::size_t i = r.First; i <= r.Last; ++i) {
    if (!IsValid(v[i])) continue;
    const long long d = v[i].Value - m;
    f += static_cast<double>(d) / g;
    t += f;
  }
  return std::fabs(t);
}

void IntegrateSpectrum(SpectrumBuffer& v, std::uint16_t a, std::uint16_t b) {
  FillGaps(v);
  const PointRange r = CursorRange(v, a, b);
  if (r.Empty) return;
  const double mean = MeanOf(v, r);
  const double rounded = static_cast<double>(RoundEven(mean));
  double run = 0, top = 0, bottom = 0;
  for (std::size_t i = r.First; i <= r.Last; ++i) {
    if (!IsValid(v[i])) continue;
    run = (v[i].Value + run) - rounded;
    if (run >= top) top = run;
    if (run < bottom) bottom = run;
  }
  double k = 1;
  if (top > 1024 && std::fabs(top) >= std::fabs(bottom)) k = 1024 / top;
  if (std::fabs(bottom) > 1024 && std::fabs(bottom) > std::fabs(top)) k = 1024 / std::fabs(bottom);
  double y = 2048;
  for (std::size_t i = r.First; i <= r.Last; ++i) {
    if (!IsValid(v[i])) continue;
    y = static_cast<double>((v[i].Value - static_cast<long double>(mean)) * k + y);
    v[i].Value = Clamped(RoundEven(y));
  }
}

}  // namespace qel
