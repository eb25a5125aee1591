#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "model/number_format.h"
#include "processing/spectrum_ops.h"

namespace qel {

namespace {

std::unique_ptr<SpectrumBuffer> Empty() {
  auto v = std::make_unique<SpectrumBuffer>();
  v->fill(EmptyPoint);
  return v;
}

void Set(SpectrumBuffer& v, std::size_t i, std::uint16_t value) {
  v[i] = SpectrumPoint{static_cast<std::uint16_t>(i), value};
}

// Every slot from `from` to `to` holds its index as Code and a valid value.
void ExpectPoints(const SpectrumBuffer& v, std::size_t from, std::size_t to) {
  for (std::size_t i = from; i <= to; ++i) {
    ASSERT_TRUE(IsValid(v[i])) << i;
    ASSERT_EQ(v[i].Code, i) << i;
  }
}

}  // namespace

TEST(Ranges, DataAndCursorRangesEndAtTheLastWritablePoint) {
  auto v = Empty();
  Set(*v, 10, 100);
  Set(*v, 65522, 100);
  Set(*v, 65530, 100);  // a data record a file placed among the parameter records
  PointRange r = DataRange(*v);
  EXPECT_FALSE(r.Empty);
  EXPECT_EQ(r.First, 10);
  EXPECT_EQ(r.Last, 65522);
  r = CursorRange(*v, 65535, 11);
  EXPECT_EQ(r.First, 65522);
  EXPECT_EQ(r.Last, 65522);
  r = CursorRange(*v, 11, 12);
  EXPECT_TRUE(r.Empty);
  EXPECT_TRUE(DataRange(*Empty()).Empty);
}

TEST(FillGaps, HoldsTheLastValidValueAndGivesEachPointItsIndex) {
  auto v = Empty();
  Set(*v, 5, 100);
  Set(*v, 9, 300);
  (*v)[7] = SpectrumPoint{1, 0xFFF0};  // a reserved record: neither read nor written
  FillGaps(*v);
  EXPECT_EQ((*v)[4], EmptyPoint);  // before the data range
  EXPECT_EQ((*v)[6], (SpectrumPoint{6, 100}));
  EXPECT_EQ((*v)[7], (SpectrumPoint{1, 0xFFF0}));
  EXPECT_EQ((*v)[8], (SpectrumPoint{8, 100}));
  EXPECT_EQ((*v)[10], EmptyPoint);  // after it
}

TEST(Gliss, RampWithTwoPointWindow) {
  auto v = Empty();
  for (std::uint16_t i = 0; i < 100; ++i) Set(*v, i, i);
  GlissSpectrum(*v, 2);
  for (std::size_t i : {0u, 1u, 98u, 99u}) EXPECT_EQ((*v)[i].Value, EmptyValue) << i;
  EXPECT_EQ((*v)[2].Value, 2);  // (0+1+2+3+4) div 5
  for (std::uint16_t i = 2; i < 98; ++i) EXPECT_EQ((*v)[i].Value, i);
  EXPECT_EQ((*v)[100], EmptyPoint);
}

TEST(Gliss, TruncatesTheMean) {
  auto v = Empty();
  const std::uint16_t values[] = {1, 1, 1, 1, 2, 9};
  for (std::size_t i = 0; i < 6; ++i) Set(*v, i, values[i]);
  GlissSpectrum(*v, 1);
  EXPECT_EQ((*v)[1].Value, 1);  // 3 div 3
  EXPECT_EQ((*v)[3].Value, 1);  // 4 div 3
  EXPECT_EQ((*v)[4].Value, 4);  // 12 div 3
}

TEST(Gliss, ConstantStaysConstant) {
  for (int n : {2, 10, 2000}) {
    auto v = Empty();
    for (std::uint16_t i = 1000; i <= 60000; ++i) Set(*v, i, 2500);
    GlissSpectrum(*v, n);
    for (std::size_t i = 1000u + n; i <= 60000u - n; ++i) ASSERT_EQ((*v)[i].Value, 2500) << n << " " << i;
    EXPECT_EQ((*v)[1000u + n - 1].Value, EmptyValue);
    EXPECT_EQ((*v)[60000u - n + 1].Value, EmptyValue);
  }
}

TEST(Gliss, RangeNoLongerThanTwoNIsEmptied) {
  auto v = Empty();
  for (std::uint16_t i = 65515; i <= 65522; ++i) Set(*v, i, 3000);
  (*v)[65526] = SpectrumPoint{3, TagGain};
  GlissSpectrum(*v, 4);
  for (std::size_t i = 65515; i <= 65522; ++i) EXPECT_EQ((*v)[i].Value, EmptyValue) << i;
  EXPECT_EQ((*v)[65526], (SpectrumPoint{3, TagGain}));
}

TEST(Gliss, InnerGapTakesTheMeanOfItsWindow) {
  auto v = Empty();
  for (std::uint16_t i = 0; i < 20; ++i) Set(*v, i, 1000);
  (*v)[10] = EmptyPoint;
  Set(*v, 11, 1300);
  GlissSpectrum(*v, 2);
  EXPECT_EQ((*v)[10], (SpectrumPoint{10, 1075}));  // (1000*3 + 1300) div 4
  EXPECT_EQ((*v)[9].Value, 1075);                  // 7:1000 8 9 [10 empty] 11:1300 -> 4300 div 4
  EXPECT_EQ((*v)[12].Value, 1075);
}

TEST(Filter, ConstantStaysAndStepRisesExponentially) {
  auto v = Empty();
  for (std::uint16_t i = 0; i < 100; ++i) Set(*v, i, 2048);
  for (std::uint16_t i = 100; i < 200; ++i) Set(*v, i, 3048);
  FilterSpectrum(*v, 10);
  ExpectPoints(*v, 0, 199);
  for (std::size_t i = 0; i < 100; ++i) ASSERT_EQ((*v)[i].Value, 2048) << i;
  for (int n = 1; n <= 100; ++n) {
    const double expected = 2048 + 1000 * (1 - std::pow(0.9, n));
    EXPECT_NEAR((*v)[99u + n].Value, expected, 0.5001) << n;
  }
}

TEST(Filter, EmptyPointTakesTheCurrentOutput) {
  auto v = Empty();
  for (std::uint16_t i = 0; i < 10; ++i) Set(*v, i, 2000);
  Set(*v, 10, 2100);
  // 11 is empty
  Set(*v, 12, 2100);
  FilterSpectrum(*v, 10);
  ExpectPoints(*v, 0, 12);
  EXPECT_EQ((*v)[10].Value, 2010);  // 2000 + 100/10
  EXPECT_EQ((*v)[11], (SpectrumPoint{11, 2010}));  // the output so far; the state moves by its rounding only
  EXPECT_EQ((*v)[12].Value, 2019);  // 2010 + 90/10
}

TEST(Filter, FewerPointsThanTheConstant) {
  auto v = Empty();
  Set(*v, 100, 1000);
  Set(*v, 101, 2000);
  Set(*v, 103, 2001);
  FilterSpectrum(*v, 10);
  EXPECT_EQ((*v)[100].Value, 1667);  // mean of the valid points, 5001/3
  EXPECT_EQ((*v)[102], (SpectrumPoint{102, 1667}));
  EXPECT_EQ((*v)[103].Value, 1667);
  EXPECT_EQ((*v)[104], EmptyPoint);  // beyond the data range: nothing
  EXPECT_EQ((*v)[109], EmptyPoint);
}

TEST(Filter, StartBlockSkipsAParameterRecord) {
  // Points up to the last writable one around a record: the block neither
  // averages the record nor writes it.
  auto v = Empty();
  Set(*v, 65516, 1000);
  Set(*v, 65517, 2000);
  Set(*v, 65519, 3000);
  (*v)[65520] = SpectrumPoint{3, TagGain};
  Set(*v, 65522, 2000);
  FilterSpectrum(*v, 10);
  for (std::size_t i : {65516u, 65517u, 65518u, 65519u, 65521u, 65522u})
    EXPECT_EQ((*v)[i], (SpectrumPoint{static_cast<std::uint16_t>(i), 2000})) << i;
  EXPECT_EQ((*v)[65520], (SpectrumPoint{3, TagGain}));
  EXPECT_EQ((*v)[65523], EmptyPoint);
}

TEST(Equalize, RampBecomesTheZeroLine) {
  auto v = Empty();
  for (std::uint16_t i = 0; i < 1000; ++i) Set(*v, i, static_cast<std::uint16_t>(1000 + i));
  EqualizeSpectrum(*v, 900, 100);
  for (std::size_t i = 100; i <= 900; ++i) ASSERT_EQ((*v)[i].Value, 2048) << i;
  EXPECT_EQ((*v)[99].Value, 1099);
  EXPECT_EQ((*v)[901].Value, 1901);
}

TEST(Equalize, SinglePointAndEmptyPointsStayAsTheyAre) {
  auto v = Empty();
  Set(*v, 50, 1234);
  EqualizeSpectrum(*v, 0, 100);
  EXPECT_EQ((*v)[50].Value, 1234);
  Set(*v, 60, 1300);
  EqualizeSpectrum(*v, 0, 100);
  EXPECT_EQ((*v)[50].Value, 2048);
  EXPECT_EQ((*v)[60].Value, 2048);
  EXPECT_EQ((*v)[55], EmptyPoint);
}

TEST(Equalize, ResultsAreClampedNeverWrapped) {
  auto v = Empty();
  Set(*v, 0, 0);
  Set(*v, 1, 65519);  // 65519 + 2048 - 1333.3 lies above 65519
  Set(*v, 2, 0);      // 0 + 2048 - 2 * 1333.3 lies below 0
  Set(*v, 3, 4000);
  EqualizeSpectrum(*v, 0, 3);
  EXPECT_EQ((*v)[1].Value, MaxValidValue);
  EXPECT_EQ((*v)[2].Value, 0);
  for (std::size_t i = 0; i < 4; ++i) EXPECT_TRUE(IsValid((*v)[i]));
}

TEST(MinMax, FirstOfEqualExtremesAndNothingWithoutPoints) {
  auto v = Empty();
  for (std::uint16_t i = 10; i < 20; ++i) Set(*v, i, 2048);
  std::int32_t mx = -1, mn = -1;
  MinMaxSpectrum(*v, 19, 10, mx, mn);
  EXPECT_EQ(mx, 10);
  EXPECT_EQ(mn, 10);
  mx = mn = 77;
  MinMaxSpectrum(*v, 100, 200, mx, mn);
  EXPECT_EQ(mx, 77);
  EXPECT_EQ(mn, 77);
}

TEST(MinMax, FillsGapsAndRespectsTheThresholds) {
  auto v = Empty();
  Set(*v, 0, 1);
  Set(*v, 1, 1);
  Set(*v, 3, 1);
  std::int32_t mx = -1, mn = -1;
  MinMaxSpectrum(*v, 0, 3, mx, mn);
  EXPECT_EQ(mx, -1);  // 1 is not above the starting maximum
  EXPECT_EQ(mn, 0);
  EXPECT_EQ((*v)[2], (SpectrumPoint{2, 1}));  // filled, not undoable
  Set(*v, 2, 3000);
  MinMaxSpectrum(*v, 0, 3, mx, mn);
  EXPECT_EQ(mx, 2);
}

TEST(Integral, DerivativeLineGivesABell) {
  auto v = Empty();
  // A first-derivative Lorentzian centred at 500.
  for (int i = 0; i <= 1000; ++i) {
    const double x = (i - 500) / 40.0;
    Set(*v, static_cast<std::size_t>(i),
        static_cast<std::uint16_t>(std::lround(2048 - 800 * x / ((1 + x * x) * (1 + x * x)))));
  }
  const double s = IntegralValue(*v, 0, 1000, 1);
  EXPECT_GT(s, 0);
  IntegrateSpectrum(*v, 0, 1000);
  EXPECT_NEAR((*v)[0].Value, 2048, 30);
  EXPECT_NEAR((*v)[1000].Value, 2048, 30);
  EXPECT_GT((*v)[500].Value, 2048 + 500);
  for (int i = 1; i <= 500; ++i) ASSERT_GE((*v)[i].Value + 1, (*v)[i - 1].Value) << i;  // rises to the peak
}

TEST(Integral, ConstantGivesZeroAndAFlatCurve) {
  auto v = Empty();
  for (std::uint16_t i = 200; i <= 300; ++i) Set(*v, i, 2500);
  EXPECT_EQ(IntegralValue(*v, 200, 300, 10), 0.0);
  IntegrateSpectrum(*v, 200, 300);
  for (std::size_t i = 200; i <= 300; ++i) ASSERT_EQ((*v)[i].Value, 2048);
  EXPECT_EQ(IntegralValue(*v, 1000, 2000, 1), 0.0);  // no point between the cursors
}

TEST(Integral, GainDividesTheIntegral) {
  auto v = Empty();
  for (std::uint16_t i = 0; i < 100; ++i) Set(*v, i, i < 50 ? 2148 : 1948);
  const double s1 = IntegralValue(*v, 0, 99, 1);
  const double s10 = IntegralValue(*v, 0, 99, 10);
  EXPECT_GT(s1, 0);
  EXPECT_NEAR(s1 / s10, 10.0, 1e-9);
}

TEST(Integral, LargeRunningSumIsScaledToAQuarter) {
  auto v = Empty();
  // +64 for 64 points, then -63 for 64 points: the mean 2048.5 rounds to
  // 2048, so the running sum peaks at +4096 and k = 1/4 (rounded up, it would
  // peak at 4032). The curve takes the unrounded mean: 64 steps of 63.5 / 4.
  for (std::uint16_t i = 0; i < 128; ++i) Set(*v, i, i < 64 ? 2048 + 64 : 2048 - 63);
  IntegrateSpectrum(*v, 0, 127);
  EXPECT_EQ((*v)[63].Value, 2048 + 1016);
  EXPECT_EQ((*v)[127].Value, 2048);
  // Peaks of +4096 and -4096: scaled by the top.
  auto u = Empty();
  for (std::uint16_t i = 0; i < 256; ++i) Set(*u, i, i < 64 || i >= 192 ? 2048 + 64 : 2048 - 64);
  IntegrateSpectrum(*u, 0, 255);
  EXPECT_EQ((*u)[63].Value, 2048 + 1024);
  EXPECT_EQ((*u)[191].Value, 2048 - 1024);
  // A small one keeps k = 1.
  auto w = Empty();
  for (std::uint16_t i = 0; i < 20; ++i) Set(*w, i, i < 10 ? 2058 : 2038);
  IntegrateSpectrum(*w, 0, 19);
  EXPECT_EQ((*w)[9].Value, 2048 + 100);
}

TEST(AllOperations, NeverWriteRecordsOrAbove65522) {
  using Op = void (*)(SpectrumBuffer&);
  const Op ops[] = {
      [](SpectrumBuffer& v) { FillGaps(v); },
      [](SpectrumBuffer& v) { GlissSpectrum(v, 2); },
      [](SpectrumBuffer& v) { FilterSpectrum(v, 3); },
      [](SpectrumBuffer& v) { EqualizeSpectrum(v, 65500, 65535); },
      [](SpectrumBuffer& v) {
        std::int32_t a = -1, b = -1;
        MinMaxSpectrum(v, 65500, 65535, a, b);
      },
      [](SpectrumBuffer& v) { IntegralValue(v, 65500, 65535, 1); },
      [](SpectrumBuffer& v) { IntegrateSpectrum(v, 65500, 65535); },
  };
  for (Op op : ops) {
    auto v = Empty();
    for (std::uint16_t i = 65500; i <= 65519; ++i) Set(*v, i, static_cast<std::uint16_t>(i % 2 ? 10 : 4000));
    (*v)[65520] = SpectrumPoint{7, 0xFFF0};  // reserved record from a file
    Set(*v, 65522, 20);
    (*v)[65523] = EmptyPoint;
    Set(*v, 65530, 3000);  // a file's data record among the parameter records
    (*v)[65531] = SpectrumPoint{30000, TagFieldLow};
    const SpectrumBuffer before = *v;
    op(*v);
    EXPECT_EQ((*v)[65520], before[65520]);
    for (std::size_t i = 65523; i < SpectrumSize; ++i) ASSERT_EQ((*v)[i], before[i]) << i;
    for (std::size_t i = 65500; i <= 65522; ++i) {
      if (i == 65520) continue;
      ASSERT_TRUE((*v)[i].Value <= MaxValidValue || (*v)[i].Value == EmptyValue) << i;
    }
  }
}

// Straight transcriptions of the definitions, with the gap and clamp rules of
// the implementation written in: a point without a value marks "no point".
namespace reference {

void Gliss(SpectrumBuffer& v, int n) {
  const PointRange r = DataRange(v);
  if (r.Empty) return;
  std::vector<int> copy(SpectrumSize, -1);
  for (int i = r.First; i <= r.Last; ++i) copy[i] = IsValid(v[i]) ? v[i].Value : -1;
  for (int i = r.First; i <= r.Last; ++i)
    if (i < r.First + n || i > r.Last - n) v[i].Value = EmptyValue;
  for (int i = r.First + n; i <= r.Last - n; ++i) {
    long sum = 0, count = 0;
    for (int j = i - n; j <= i + n; ++j)
      if (copy[j] >= 0) {
        sum += copy[j];
        ++count;
      }
    if (count > 0) v[i] = SpectrumPoint{static_cast<std::uint16_t>(i), static_cast<std::uint16_t>(sum / count)};
  }
}

void Filter(SpectrumBuffer& v, int k) {
  const PointRange r = DataRange(v);
  if (r.Empty) return;
  const int end = std::min<int>(r.First + k - 1, r.Last);
  float s = 0;
  int count = 0;
  for (int i = r.First; i <= end; ++i)
    if (IsValid(v[i])) {
      s += v[i].Value;
      ++count;
    }
  float y = static_cast<float>(static_cast<long double>(s) / count);
  for (int i = r.First; i <= end; ++i)
    v[i] = SpectrumPoint{static_cast<std::uint16_t>(i), static_cast<std::uint16_t>(std::nearbyint(y))};
  for (int i = end + 1; i <= r.Last; ++i) {
    if (v[i].Value == EmptyValue)
      v[i] = SpectrumPoint{static_cast<std::uint16_t>(i), static_cast<std::uint16_t>(std::nearbyint(y))};
    y = static_cast<float>(y + (v[i].Value - static_cast<long double>(y)) / k);
    v[i].Value = static_cast<std::uint16_t>(std::nearbyint(y));
  }
}

void FillGaps(SpectrumBuffer& v) {
  const PointRange r = DataRange(v);
  if (r.Empty) return;
  for (int i = r.First + 1; i <= r.Last; ++i)
    if (v[i].Value == EmptyValue) v[i] = SpectrumPoint{static_cast<std::uint16_t>(i), v[i - 1].Value};
}

void Equalize(SpectrumBuffer& v, int a, int b) {
  const PointRange r = CursorRange(v, a, b);
  if (r.Empty || r.First == r.Last) return;
  const int lo = r.First, hi = r.Last, A = v[lo].Value, B = v[hi].Value;
  const float slope = static_cast<float>(static_cast<long double>(B - A) / (hi - lo));
  for (int i = lo; i <= hi; ++i)
    if (IsValid(v[i]))
      v[i].Value = static_cast<std::uint16_t>(std::clamp<long double>(
          std::nearbyint((v[i].Value + 2048 - A) - static_cast<long double>(i - lo) * slope), 0, 65519));
}

void MinMax(SpectrumBuffer& v, int a, int b, std::int32_t& maxIndex, std::int32_t& minIndex) {
  reference::FillGaps(v);
  const PointRange r = CursorRange(v, a, b);
  if (r.Empty) return;
  int max = 1, min = 4095;
  for (int i = r.First; i <= r.Last; ++i) {
    if (v[i].Value > max) max = v[i].Value, maxIndex = i;
    if (v[i].Value < min) min = v[i].Value, minIndex = i;
  }
}

double IntegralValue(SpectrumBuffer& v, int a, int b, int g) {
  reference::FillGaps(v);
  const PointRange r = CursorRange(v, a, b);
  if (r.Empty) return 0;
  double sum = 0;
  for (int i = r.First; i <= r.Last; ++i) sum += v[i].Value;
  const double mean = sum / (r.Last - r.First + 1);
  double f = 0, t = 0;
  for (int i = r.First; i <= r.Last; ++i) {
    const long d = v[i].Value - std::lround(std::nearbyint(mean));
    f += static_cast<double>(d) / g;
    t += f;
  }
  return std::fabs(t);
}

// The curve forms its products in extended precision.
void Integrate(SpectrumBuffer& v, int a, int b) {
  reference::FillGaps(v);
  const PointRange r = CursorRange(v, a, b);
  if (r.Empty) return;
  double sum = 0;
  for (int i = r.First; i <= r.Last; ++i) sum += v[i].Value;
  const double mean = sum / (r.Last - r.First + 1);
  const double rounded = std::nearbyint(mean);
  double run = 0, top = 0, bottom = 0;
  for (int i = r.First; i <= r.Last; ++i) {
    run = (v[i].Value + run) - rounded;
    if (run >= top) top = run;
    if (run < bottom) bottom = run;
  }
  double k = 1;
  if (top > 1024 && std::fabs(top) >= std::fabs(bottom)) k = 1024 / top;
  if (std::fabs(bottom) > 1024 && std::fabs(bottom) > std::fabs(top)) k = 1024 / std::fabs(bottom);
  double y = 2048;
  for (int i = r.First; i <= r.Last; ++i) {
    y = static_cast<double>((v[i].Value - static_cast<long double>(mean)) * k + y);
    v[i].Value = static_cast<std::uint16_t>(std::clamp<double>(std::nearbyint(y), 0, 65519));
  }
}

}  // namespace reference

// A random walk over first..last with about one point in twenty missing; a
// coarse one has long runs of equal values (ties for the searches).
std::unique_ptr<SpectrumBuffer> RandomSpectrum(std::mt19937& rng, int first, int last, bool coarse) {
  auto v = Empty();
  int level = 2048;
  for (int i = first; i <= last; ++i) {
    level = std::clamp(level + static_cast<int>(rng() % 61) - 30, 0, 4095);
    const int value = coarse ? level & ~0xFF : level;
    if (i == first || i == last || rng() % 20 != 0) Set(*v, static_cast<std::size_t>(i), static_cast<std::uint16_t>(value));
  }
  return v;
}

void ExpectSame(const SpectrumBuffer& a, const SpectrumBuffer& b, const char* what, int round) {
  for (std::size_t i = 0; i < SpectrumSize; ++i) ASSERT_EQ(a[i], b[i]) << what << " round " << round << " i " << i;
}

TEST(ReferenceCheck, SmoothingAndFilteringAgreeWithTheDefinitions) {
  std::mt19937 rng(424242);
  for (int round = 0; round < 40; ++round) {
    const int first = static_cast<int>(rng() % 30000);
    auto v = RandomSpectrum(rng, first, first + 50 + static_cast<int>(rng() % 30000), false);
    const int n = 1 + static_cast<int>(rng() % 60);
    auto a = std::make_unique<SpectrumBuffer>(*v);
    auto b = std::make_unique<SpectrumBuffer>(*v);
    GlissSpectrum(*a, n);
    reference::Gliss(*b, n);
    ExpectSame(*a, *b, "gliss", round);
    const int k = 2 + static_cast<int>(rng() % 100);
    *a = *v;
    *b = *v;
    FilterSpectrum(*a, k);
    reference::Filter(*b, k);
    ExpectSame(*a, *b, "filter", round);
  }
}

TEST(ReferenceCheck, CursorOperationsAgreeWithTheDefinitions) {
  std::mt19937 rng(777);
  for (int round = 0; round < 60; ++round) {
    const int first = static_cast<int>(rng() % 30000);
    const int last = first + 50 + static_cast<int>(rng() % 30000);
    auto v = RandomSpectrum(rng, first, last, round % 3 == 0);
    // Cursors a few codes apart (exact halves in the levelling slope), or
    // anywhere around the data, in either order.
    int a = first - 100 + static_cast<int>(rng() % static_cast<unsigned>(last - first + 200));
    int b = round % 2 ? a + 1 + static_cast<int>(rng() % 8)
                      : first - 100 + static_cast<int>(rng() % static_cast<unsigned>(last - first + 200));
    a = std::max(a, 0);
    if (rng() % 2) std::swap(a, b);
    const auto ua = static_cast<std::uint16_t>(a), ub = static_cast<std::uint16_t>(b);
    auto x = std::make_unique<SpectrumBuffer>(*v);
    auto y = std::make_unique<SpectrumBuffer>(*v);
    EqualizeSpectrum(*x, ua, ub);
    reference::Equalize(*y, a, b);
    ExpectSame(*x, *y, "equalize", round);

    *x = *v;
    *y = *v;
    std::int32_t max1 = -7, min1 = -7, max2 = -7, min2 = -7;
    MinMaxSpectrum(*x, ua, ub, max1, min1);
    reference::MinMax(*y, a, b, max2, min2);
    ExpectSame(*x, *y, "minmax", round);
    EXPECT_EQ(max1, max2) << round;
    EXPECT_EQ(min1, min2) << round;

    *x = *v;
    *y = *v;
    const int g = std::array{1, 2, 5, 10, 20, 50, 100, 200}[rng() % 8];
    EXPECT_EQ(IntegralValue(*x, ua, ub, g), reference::IntegralValue(*y, a, b, g)) << round;
    IntegrateSpectrum(*x, ua, ub);
    reference::Integrate(*y, a, b);
    ExpectSame(*x, *y, "integrate", round);
  }
}

}  // namespace qel

namespace qel {

TEST(FilterStep, FastPathAgreesWithExtendedPrecision) {
  std::mt19937 rng(99);
  std::uniform_real_distribution<float> level(0.0f, 65519.0f);
  long checked = 0;
  for (int k : {2, 3, 7, 10, 25, 100, 1999, 2000}) {
    const FilterStep step(k);
    for (int i = 0; i < 200000; ++i) {
      float y;
      switch (i % 4) {
        case 0: y = level(rng); break;
        case 1: y = static_cast<float>(rng() % 4096) + static_cast<float>(rng() % 4096) / 4096.0f; break;  // ties
        case 2: y = std::ldexp(static_cast<float>(rng() % 1000 + 1), -static_cast<int>(rng() % 140)); break;  // tiny
        default: y = static_cast<float>(rng() % 65520); break;
      }
      const auto v = static_cast<std::uint16_t>(i % 8 == 0 ? 0 : rng() % 65520);
      ASSERT_EQ(step(y, v), step.Exact(y, v)) << "k " << k << " y " << y << " v " << v;
      ++checked;
    }
  }
  EXPECT_EQ(checked, 1600000);
}

}  // namespace qel
