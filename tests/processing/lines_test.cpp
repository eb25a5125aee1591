#include "processing/lines.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "line_spectra.h"

namespace qel {

namespace {

using test::MakeSpectrum;
using test::Shape;
using test::TrueLine;

LineSearch Find(const test::Synthetic& s) { return FindLines(s.X, s.Y); }

// As the instrument writes a sample to `step` codes at its slower sweeps.
test::Synthetic Stepped(test::Synthetic s, std::size_t step) {
  for (std::size_t i = 0; i < s.Y.size(); ++i) s.Y[i] = s.Y[i / step * step];
  return s;
}

// A moving average of 2h+1 points, rounded to codes, as smoothing leaves it.
test::Synthetic Smoothed(test::Synthetic s, int h) {
  const std::vector<double> y = s.Y;
  for (std::size_t i = 0; i < y.size(); ++i) {
    double sum = 0;
    int m = 0;
    for (long j = static_cast<long>(i) - h; j <= static_cast<long>(i) + h; ++j)
      if (j >= 0 && j < static_cast<long>(y.size())) sum += y[static_cast<std::size_t>(j)], ++m;
    s.Y[i] = std::nearbyint(sum / m);
  }
  return s;
}

}  // namespace

TEST(LineNoise, SigmaOfWhiteNoiseUnderAStrongLineAndOfQuantisationAlone) {
  // A line of 3000 codes does not count as noise.
  const auto noisy = MakeSpectrum({{Shape::Lorentz, 30000, 300, 3000}}, 10.0);
  EXPECT_NEAR(NoiseSigma(noisy.Y), 10.0, 0.25);
  // Rounding to whole codes is all the noise there is.
  const auto clean = MakeSpectrum({{Shape::Lorentz, 30000, 300, 3000}}, 0.0);
  EXPECT_DOUBLE_EQ(NoiseSigma(clean.Y), 0.28867513459481287);
  // An offset and a slope are no noise either.
  std::vector<double> ramp;
  for (int i = 0; i < 1000; ++i) ramp.push_back(100 + 3 * i);
  EXPECT_DOUBLE_EQ(NoiseSigma(ramp), 0.28867513459481287);
}

TEST(LineNoise, CorrelatedNoiseIsMeasuredWhereItIsNoLongerCorrelated) {
  // Each sample on four codes: neighbours are equal, the noise is not smaller.
  const auto stepped = Stepped(MakeSpectrum({}, 10.0, 3), 4);
  const NoiseEstimate e = EstimateNoise(stepped.Y);
  EXPECT_NEAR(e.Sigma, 10.0, 0.5);
  EXPECT_EQ(e.Lag, 4);
  EXPECT_EQ(EstimateNoise(MakeSpectrum({}, 10.0, 3).Y).Lag, 1);
  // Averaged over 21 points: the noise left is 10/sqrt(21).
  EXPECT_NEAR(NoiseSigma(Smoothed(MakeSpectrum({}, 10.0, 3), 10).Y), 10 / std::sqrt(21.0), 0.2);
}

TEST(LineSearchTest, EveryLineOfATripletWithItsMeasures) {
  // Hyperfine triplet 1:2:1, 25 G apart on 300 G (65,520 codes), 1.4 G wide.
  const double w = 1.4 * 65520 / 300;
  const auto s = MakeSpectrum({{Shape::Lorentz, 27000, w, 600},
                               {Shape::Lorentz, 32460, w, 1200},
                               {Shape::Lorentz, 37920, w, 600}},
                              2.0);
  const LineSearch r = Find(s);
  EXPECT_EQ(r.Phase, 1);
  EXPECT_NEAR(r.Baseline, 2048, 0.5);
  ASSERT_EQ(r.Lines.size(), 3u);
  const double centres[3] = {27000, 32460, 37920}, pps[3] = {600, 1200, 600};
  for (int i = 0; i < 3; ++i) {
    const FoundLine& l = r.Lines[i];
    EXPECT_NEAR(l.CentreCode, centres[i], 0.01 * w) << i;
    EXPECT_NEAR(l.Width, w, 0.03 * w) << i;
    EXPECT_NEAR(l.FirstCode, centres[i] - w / 2, 0.03 * w) << i;
    EXPECT_NEAR(l.PeakToPeak, pps[i], 0.03 * pps[i]) << i;
    EXPECT_NEAR(l.Snr, pps[i] / 2.0, 0.08 * pps[i] / 2.0) << i;
    EXPECT_FALSE(l.CutLow || l.CutHigh || l.Overlaps) << i;
    // The fit window holds the line and none of its neighbours' centres.
    EXPECT_LT(s.X[l.From], l.FirstCode - w / 2) << i;
    EXPECT_GT(s.X[l.To], l.SecondCode + w / 2) << i;
    if (i > 0) {
      EXPECT_GT(s.X[l.From], centres[i - 1]) << i;
    }
    if (i < 2) {
      EXPECT_LT(s.X[l.To], centres[i + 1]) << i;
    }
  }
}

TEST(LineSearchTest, NoiseAloneHoldsNoLine) {
  for (unsigned stream = 1; stream <= 10; ++stream) {
    EXPECT_TRUE(Find(MakeSpectrum({}, 20.0, stream)).Lines.empty()) << stream;
    EXPECT_TRUE(Find(MakeSpectrum({}, 20.0, stream, 0, 1999)).Lines.empty()) << stream;
  }
  // Zooms of 60-140 codes through the filter (its correlation allows no
  // box there): no line, and no crash.
  for (int width = 60; width <= 140; width += 20) {
    const auto zoom = MakeSpectrum({{Shape::Lorentz, 30000, 200, 300}}, 3.0, 1, 30000 - width / 2, 30000 + width / 2);
    EXPECT_TRUE(FindLines(zoom.X, zoom.Y, {1, 25}).Lines.empty()) << width;
  }
  // A line of 4 sigma is not one; of 6 sigma it is.
  EXPECT_TRUE(Find(MakeSpectrum({{Shape::Gauss, 30000, 400, 80}}, 20.0, 3)).Lines.empty());
  EXPECT_EQ(Find(MakeSpectrum({{Shape::Gauss, 30000, 400, 120}}, 20.0, 3)).Lines.size(), 1u);
}

// Pure noise of 40 codes through the instrument's real-time filter (a mean
// of the samples so far up to K, then a weight of 1/K; started again with
// the pass), each sample on `codes` codes, `passes` passes averaged.
std::vector<double> FilteredNoise(int k, int passes, int codes, unsigned stream, double sigma = 40,
                                  const std::vector<test::TrueLine>& lines = {}) {
  std::mt19937 rng(stream);
  std::normal_distribution<double> noise(0, sigma);
  std::vector<double> sum(65520, 0.0);
  for (int p = 0; p < passes; ++p) {
    double mean = 0;
    int count = 0;
    for (std::size_t i = 0; i < sum.size(); i += static_cast<std::size_t>(codes)) {
      if (count < k) ++count;
      double v = 2048;
      for (const test::TrueLine& l : lines) v += test::LineValue(l, static_cast<double>(i));
      mean += (std::clamp(std::nearbyint(v + noise(rng)), 0.0, 4095.0) - mean) / count;
      for (std::size_t j = i; j < std::min(sum.size(), i + static_cast<std::size_t>(codes)); ++j)
        sum[j] += std::nearbyint(mean);
    }
  }
  for (double& v : sum) v = std::nearbyint(v / passes);
  return sum;
}

TEST(LineSearchTest, NoiseThroughTheRealTimeFilterIsMeasuredAndHoldsNoLine) {
  std::vector<double> x(65520);
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = static_cast<double>(i);
  struct Case {
    int K, Passes, Codes;
    double SigmaWithin;  // of the true noise, where the range holds enough of the filter's lengths
  };
  // Below a code (K 500 and 1000 after 8 passes) the rounded noise rests on
  // one code for long stretches; at 4 codes a sample a box holds fewer
  // independent samples than points.
  for (const Case c : {Case{2, 1, 1, 0.06}, Case{25, 1, 1, 0.06}, Case{50, 1, 1, 0.06}, Case{50, 1, 2, 0.06},
                       Case{200, 1, 1, 0.06}, Case{5, 1, 4, 0.06}, Case{200, 1, 4, 0.06}, Case{2000, 1, 1, 0},
                       Case{25, 8, 4, 0}, Case{50, 8, 4, 0}, Case{500, 8, 1, 0.1}, Case{1000, 8, 2, 0},
                       Case{2000, 8, 4, 0}, Case{1500, 2, 2, 0}}) {
    int withLines = 0;
    double ratio = 0;
    for (unsigned stream = 1001; stream <= 1040; ++stream) {
      const std::vector<double> y = FilteredNoise(c.K, c.Passes, c.Codes, stream);
      // The noise of the steady filter, past its start.
      double mean = 0, var = 0;
      const std::size_t from = y.size() / 2;
      for (std::size_t i = from; i < y.size(); ++i) mean += y[i];
      mean /= static_cast<double>(y.size() - from);
      for (std::size_t i = from; i < y.size(); ++i) var += (y[i] - mean) * (y[i] - mean);
      const LineSearch r = FindLines(x, y, {c.Codes, c.K});
      ratio += r.Sigma / std::sqrt(var / static_cast<double>(y.size() - from)) / 40;
      withLines += !r.Lines.empty();
    }
    if (c.SigmaWithin > 0) {
      EXPECT_NEAR(ratio, 1.0, c.SigmaWithin) << c.K << " " << c.Passes << " " << c.Codes;
    }
    EXPECT_EQ(withLines, 0) << c.K << " " << c.Passes << " " << c.Codes;
  }
  // Few of the filter's lengths in the range: the greatest swing of as many
  // wiggles is not yet the asymptotic one (these streams each made a line
  // of S/N 6-7 at raw noise 150).
  struct Stream {
    int K, Codes;
    unsigned Number;
  };
  for (const Stream st : {Stream{200, 2, 67}, Stream{200, 2, 93}, Stream{2000, 1, 27}, Stream{2000, 1, 58}})
    EXPECT_TRUE(FindLines(x, FilteredNoise(st.K, 1, st.Codes, st.Number, 150), {st.Codes, st.K}).Lines.empty())
        << st.K << " " << st.Number;
  // A line as narrow as four of the filter's lengths (K 5, 8 passes): where
  // a box's samples are taken as independent, its noise makes a line of S/N
  // 7 at 20075, 36 codes off and 90 wide.
  {
    const test::TrueLine line{Shape::Gauss, 20111, 20, 15 * 40 / std::sqrt(9.0 * 8)};
    for (const FoundLine& f : FindLines(x, FilteredNoise(5, 8, 1, 503, 40, {line}), {1, 5}).Lines) {
      EXPECT_NEAR(f.CentreCode, 20111, 25);
      EXPECT_LT(f.Width, 60);
    }
  }
  // Below a code (0.32 here) a line as wide as four of the filter's lengths
  // changes many of the second differences the noise is measured from, by
  // a few codes: they are no noise (sigma 0.8 if they were taken).
  std::vector<double> y = FilteredNoise(1000, 8, 1, 1003);
  for (std::size_t i = 0; i < y.size(); ++i)
    y[i] = std::nearbyint(y[i] + test::LineValue({Shape::Gauss, 20000, 4000, 4.7}, static_cast<double>(i)));
  EXPECT_LT(EstimateNoise(y, 1000).Sigma, 0.5);
}

TEST(LineSearchTest, AStepIsNoLine) {
  // A jump from one sample up to the next down, and a zigzag of one sample
  // up, one down, at a sweep writing each sample to 4 codes: neither spans
  // the 3 samples of a line.
  std::vector<double> x, step, zigzag;
  for (int i = 0; i < 4000; ++i) {
    x.push_back(i);
    step.push_back(i >= 2000 && i < 2004 ? 2348 : i >= 2004 && i < 2008 ? 1748 : 2048);
    zigzag.push_back(2048 + ((i / 4) % 2) * 300);
  }
  EXPECT_TRUE(FindLines(x, step, {4, 0}).Lines.empty());
  EXPECT_TRUE(FindLines(x, zigzag, {4, 0}).Lines.empty());
  // At 4 codes a sample a line 14 codes wide spans three samples and more; one
  // 10 codes wide does not.
  const auto wider = MakeSpectrum({{Shape::Gauss, 2000, 14, 600}}, 0.0, 1, 0, 3999);
  EXPECT_EQ(FindLines(wider.X, wider.Y, {4, 0}).Lines.size(), 1u);
  const auto narrower = MakeSpectrum({{Shape::Gauss, 2000, 10, 600}}, 0.0, 1, 0, 3999);
  EXPECT_TRUE(FindLines(narrower.X, narrower.Y, {4, 0}).Lines.empty());
  // The records say which: the speed's step (record 65534) and the filter's
  // constant (record 65527, its last value: 0 when the filter was off).
  SpectrumBuffer records{};
  records[65534] = {7, TagSpeed};  // " 8 мин": 4 codes a sample
  records[65527] = {50, TagFilterConst};
  EXPECT_EQ(SearchOptionsOf(ReadParameters(records)).SampleCodes, 4);
  EXPECT_EQ(SearchOptionsOf(ReadParameters(records)).FilterConstant, 50);
  records[65534] = {3, TagSpeed};  // "128 мин": 1 code
  records[65527] = {0, TagFilterConst};
  EXPECT_EQ(SearchOptionsOf(ReadParameters(records)).SampleCodes, 1);
  EXPECT_EQ(SearchOptionsOf(ReadParameters(records)).FilterConstant, 0);
}

TEST(LineSearchTest, CorrelatedNoiseHoldsNoLineAndHidesNone) {
  for (unsigned stream = 1; stream <= 3; ++stream) {
    EXPECT_TRUE(Find(Stepped(MakeSpectrum({}, 10.0, stream), 2)).Lines.empty()) << stream;
    EXPECT_TRUE(Find(Stepped(MakeSpectrum({}, 10.0, stream), 4)).Lines.empty()) << stream;
    EXPECT_TRUE(Find(Smoothed(MakeSpectrum({}, 10.0, stream), 10)).Lines.empty()) << stream;
  }
  const double w = 1.4 * 65520 / 300;
  const auto triplet = Stepped(MakeSpectrum({{Shape::Lorentz, 27000, w, 600},
                                             {Shape::Lorentz, 32460, w, 1200},
                                             {Shape::Lorentz, 37920, w, 600}},
                                            3.0),
                               4);
  const LineSearch r = Find(triplet);
  ASSERT_EQ(r.Lines.size(), 3u);
  EXPECT_NEAR(r.Lines[1].CentreCode, 32460, 4);
}

TEST(LineSearchTest, ADriftingBaselineIsNoLine) {
  // 33 codes of drift over the range, and nothing else.
  auto drift = MakeSpectrum({}, 2.0);
  for (std::size_t i = 0; i < drift.Y.size(); ++i) drift.Y[i] += std::nearbyint(16 - 0.0005 * static_cast<double>(i));
  EXPECT_TRUE(Find(drift).Lines.empty());
  // A line on 196 codes of drift is found and fitted as on a flat one.
  auto sloped = MakeSpectrum({{Shape::Lorentz, 30000, 300, 200}}, 2.0);
  for (std::size_t i = 0; i < sloped.Y.size(); ++i) sloped.Y[i] += std::nearbyint(-98 + 0.003 * static_cast<double>(i));
  const LineSearch r = Find(sloped);
  EXPECT_EQ(r.Phase, 1);
  EXPECT_NEAR(r.BaselineSlope, 0.003, 0.0002);
  ASSERT_EQ(r.Lines.size(), 1u);
  EXPECT_NEAR(r.Lines[0].CentreCode, 30000, 3);
  const auto fit = FitLines(sloped.X, sloped.Y, r, LineShape::Lorentz)[0];
  ASSERT_TRUE(fit);
  EXPECT_NEAR(fit->Width, 300, 3);
  EXPECT_NEAR(fit->ReducedChi2, 1, 0.2);
}

TEST(LineSearchTest, ACurvedBaselineIsNoLineAndHidesNone) {
  // Two lines of S/N 120 on parabolic drifts of hundreds of codes at the
  // ends of a range of 200 G: each found where it is, nothing else.
  const double perGauss = 65520.0 / 200;
  const double drifts[][2] = {{300, 300}, {400, 400}, {200, 400}, {400, -200}, {-300, -300}};
  for (const auto& d : drifts) {
    auto s = MakeSpectrum({{Shape::Lorentz, 25000, 4 * perGauss, 360}, {Shape::Gauss, 41000, 3 * perGauss, 360}}, 3.0, 2);
    for (std::size_t i = 0; i < s.Y.size(); ++i) {
      const double t = (s.X[i] - 32760) / 32760;
      s.Y[i] += std::nearbyint((t < 0 ? d[0] : d[1]) * t * t);
    }
    const LineSearch r = Find(s);
    ASSERT_EQ(r.Lines.size(), 2u) << d[0] << " " << d[1];
    // The search's own measure, within a tenth of the width.
    EXPECT_NEAR(r.Lines[0].CentreCode, 25000, 0.4 * perGauss) << d[0] << " " << d[1];
    EXPECT_NEAR(r.Lines[1].CentreCode, 41000, 0.3 * perGauss) << d[0] << " " << d[1];
  }
}

TEST(LineSearchTest, ARangeEndInALobeNeverPairsLinesWrongly) {
  // A 1:3:3:1 quartet, lines 6 G apart and 1.5 G wide, its range ending
  // anywhere in the third line: the first two lines are each found whole,
  // and a third only as itself, flagged cut if its lobe is cut. The inner
  // lobe of the cut line and the second line's outer lobe are no pair.
  const double g = 300;  // codes per gauss
  std::vector<TrueLine> quartet;
  const double amplitudes[] = {300, 900, 900, 300};
  for (int k = 0; k < 4; ++k) quartet.push_back({Shape::Lorentz, 30000 + 6 * g * k, 1.5 * g, amplitudes[k]});
  for (const double end : {10.8, 11.2, 11.5, 11.7, 11.8, 12.0, 12.3, 12.6, 13.0}) {
    const auto s = MakeSpectrum(quartet, 3.0, 7, static_cast<int>(30000 - 3 * g), static_cast<int>(30000 + end * g));
    const LineSearch r = Find(s);
    EXPECT_EQ(r.Phase, 1) << end;
    ASSERT_GE(r.Lines.size(), 2u) << end;
    ASSERT_LE(r.Lines.size(), 3u) << end;
    for (std::size_t i = 0; i < 2; ++i) {
      EXPECT_NEAR(r.Lines[i].CentreCode, 30000 + 6 * g * static_cast<double>(i), 0.15 * g) << end;
      EXPECT_NEAR(r.Lines[i].Width, 1.5 * g, 0.15 * g) << end;
      EXPECT_FALSE(r.Lines[i].CutHigh) << end;
    }
    if (r.Lines.size() == 3) {
      EXPECT_NEAR(r.Lines[2].CentreCode, 30000 + 12 * g, 0.3 * g) << end;
      // Its minimum at 12.75 G lies within the range only from there on.
      EXPECT_EQ(r.Lines[2].CutHigh, end < 12.75) << end;
    }
  }
  // Closer quartets cut in a lobe at either end: Lorentzian lines 4 G apart
  // and 1.5 G wide leave no stretch of baseline between them; Gaussian ones
  // 5 G apart and 1 G wide leave noise wiggles on it. Every line whole in
  // the range is found, and every line not cut is a true one. Lines 8 G
  // apart with the range starting in the third line's first lobe: a
  // baseline bent towards that lobe made a line of S/N 19 between the third
  // and the fourth. Gaussian lines 4 G apart and 1.5 G wide, cut in the
  // second line's first lobe: where an eighth of the stretches sufficed to
  // hold the baseline to them, a few on tails did, and made a line of S/N 25
  // before the first.
  struct Close {
    Shape Kind;
    double Spacing, Width, From, To;  // G from the first line
    unsigned Stream;
  };
  for (const Close c : {Close{Shape::Lorentz, 4, 1.5, -3, 7.1, 7}, Close{Shape::Lorentz, 4, 1.5, -3, 7.1, 8},
                        Close{Shape::Lorentz, 4, 1.5, -3, 7.3, 7}, Close{Shape::Gauss, 5, 1, -3, 9.7, 4},
                        Close{Shape::Gauss, 5, 1, 5.25, 18, 1}, Close{Shape::Gauss, 8, 1.5, -3, 7, 1},
                        Close{Shape::Lorentz, 8, 1.5, 15, 27, 1}, Close{Shape::Lorentz, 8, 1.5, 15.5, 27, 2},
                        Close{Shape::Gauss, 4, 1.5, -3, 3.6, 1}}) {
    std::vector<TrueLine> close;
    for (int k = 0; k < 4; ++k) close.push_back({c.Kind, 30000 + c.Spacing * g * k, c.Width * g, amplitudes[k]});
    const auto s = MakeSpectrum(close, 3.0, c.Stream, static_cast<int>(30000 + c.From * g), static_cast<int>(30000 + c.To * g));
    const LineSearch r = Find(s);
    EXPECT_EQ(r.Phase, 1) << c.From << " " << c.To;
    for (int k = 0; k < 4; ++k) {
      const double centre = c.Spacing * k;
      if (centre - c.Width < c.From || centre + c.Width > c.To) continue;
      EXPECT_TRUE(std::any_of(r.Lines.begin(), r.Lines.end(), [&](const FoundLine& l) {
        return std::fabs(l.CentreCode - (30000 + centre * g)) < 0.15 * c.Width * g;
      })) << c.From << " " << c.To << " line " << k;
    }
    for (const FoundLine& l : r.Lines)
      EXPECT_TRUE(l.CutLow || l.CutHigh || std::any_of(close.begin(), close.end(), [&](const TrueLine& t) {
                    return std::fabs(l.CentreCode - t.Centre) < 0.3 * t.Width && std::fabs(l.Width - t.Width) < 0.5 * t.Width;
                  }))
          << c.From << " " << c.To << " at " << l.CentreCode;
  }
  // A Gaussian line and, 33 of its widths on, a stronger one whose first
  // lobe the range end cuts: the stretch between crosses the baseline at the
  // foot of that lobe, never as steeply as a line.
  for (const int end : {29800, 30000}) {
    const auto s = MakeSpectrum({{Shape::Gauss, 20000, 300, 300}, {Shape::Gauss, 30000, 300, 1000}}, 3.0, 1, 10000, end);
    const LineSearch r = Find(s);
    EXPECT_EQ(r.Phase, 1) << end;
    ASSERT_GE(r.Lines.size(), 1u) << end;
    EXPECT_NEAR(r.Lines[0].CentreCode, 20000, 10) << end;
  }
  // One strong line in a zoom of a few of its widths, which its tails fill:
  // a straight stretch of its rising tail is no baseline. Whole (the range
  // ending 0.8 widths past its centre), it is found as itself; its second
  // lobe cut, it is a line flagged cut.
  for (unsigned stream = 1; stream <= 3; ++stream) {
    const LineSearch whole = Find(MakeSpectrum({{Shape::Lorentz, 30000, 300, 300}}, 3.0, stream, 29100, 30240));
    ASSERT_EQ(whole.Lines.size(), 1u) << stream;
    EXPECT_NEAR(whole.Lines[0].CentreCode, 30000, 0.15 * 300) << stream;
    EXPECT_FALSE(whole.Lines[0].CutHigh) << stream;
    const LineSearch cut = Find(MakeSpectrum({{Shape::Gauss, 30000, 450, 300}}, 3.0, stream, 29100, 30180));
    ASSERT_EQ(cut.Lines.size(), 1u) << stream;
    EXPECT_TRUE(cut.Lines[0].CutHigh) << stream;
  }
}

TEST(LineSearchTest, ALineOfTheOtherPhaseMakesNoLineOfItsBaseline) {
  // Between the two lines the signal sits on the baseline: that stretch and
  // the next line's first lobe are no line. Of equal lines, either phase
  // may be taken.
  const auto s = MakeSpectrum({{Shape::Lorentz, 20000, 300, 1000}, {Shape::Lorentz, 40000, 300, -1000}}, 2.0);
  const LineSearch r = Find(s);
  ASSERT_EQ(r.Lines.size(), 1u);
  EXPECT_NEAR(r.Lines[0].CentreCode, r.Phase > 0 ? 20000 : 40000, 3);
  const auto fit = FitLines(s.X, s.Y, r, LineShape::Lorentz)[0];
  ASSERT_TRUE(fit);
  EXPECT_NEAR(fit->ReducedChi2, 1, 0.2);
}

TEST(LineSearchTest, NarrowAndBroadLinesInOneSpectrum) {
  // A line of 24 points beside one of 3000: neither the smoothing that keeps
  // the broad one whole nor noise on the broad one may lose or split either.
  const auto s = MakeSpectrum({{Shape::Gauss, 15000, 24, 400}, {Shape::Lorentz, 40000, 3000, 300}}, 10.0, 5);
  const LineSearch r = Find(s);
  ASSERT_EQ(r.Lines.size(), 2u);
  EXPECT_NEAR(r.Lines[0].CentreCode, 15000, 1.0);
  EXPECT_NEAR(r.Lines[0].Width, 24, 2.0);
  EXPECT_NEAR(r.Lines[1].CentreCode, 40000, 60.0);
  EXPECT_NEAR(r.Lines[1].Width, 3000, 150.0);
}

TEST(LineSearchTest, CutAndOverlappingLinesAreFlagged) {
  // The minimum of the last line lies past the last point.
  {
    const auto s = MakeSpectrum({{Shape::Lorentz, 20000, 400, 1000}, {Shape::Lorentz, 65519 - 100, 400, 1000}}, 1.0);
    const LineSearch r = Find(s);
    ASSERT_EQ(r.Lines.size(), 2u);
    EXPECT_FALSE(r.Lines[0].CutLow || r.Lines[0].CutHigh);
    EXPECT_FALSE(r.Lines[1].CutLow);
    EXPECT_TRUE(r.Lines[1].CutHigh);
    EXPECT_NEAR(r.Lines[1].SecondCode, 65519, 1.0);
  }
  // The maximum of the first line lies before the first point.
  {
    const auto s = MakeSpectrum({{Shape::Gauss, 1000 + 80, 400, 1000}}, 1.0, 1, 1000, 9000);
    const LineSearch r = Find(s);
    ASSERT_EQ(r.Lines.size(), 1u);
    EXPECT_TRUE(r.Lines[0].CutLow);
    EXPECT_FALSE(r.Lines[0].CutHigh);
    EXPECT_NEAR(r.Lines[0].FirstCode, 1000, 1.0);
  }
  // A clipped maximum whose flat top covers the first points: cut too.
  {
    const auto s = MakeSpectrum({{Shape::Gauss, 1000 + 150, 400, 6000}}, 1.0, 1, 1000, 9000);
    const LineSearch r = Find(s);
    ASSERT_EQ(r.Lines.size(), 1u);
    EXPECT_EQ(s.Y[0], 4095);
    EXPECT_TRUE(r.Lines[0].CutLow);
    EXPECT_FALSE(r.Lines[0].CutHigh);
  }
  // A whole line whose minimum lies 40 points inside the range is not cut.
  {
    const auto s = MakeSpectrum({{Shape::Gauss, 65519 - 240, 400, 1000}}, 1.0);
    const LineSearch r = Find(s);
    ASSERT_EQ(r.Lines.size(), 1u);
    EXPECT_FALSE(r.Lines[0].CutHigh);
    EXPECT_NEAR(r.Lines[0].SecondCode, 65519 - 40, 3);
  }
  // Lines one and a half and three widths apart overlap; four and a half do not.
  {
    const auto s = MakeSpectrum({{Shape::Gauss, 20000, 400, 1000},
                                 {Shape::Gauss, 20600, 400, 1000},
                                 {Shape::Gauss, 30000, 400, 1000},
                                 {Shape::Gauss, 31200, 400, 1000},
                                 {Shape::Gauss, 40000, 400, 1000},
                                 {Shape::Gauss, 41800, 400, 1000}},
                                1.0);
    LineSearch r = Find(s);
    ASSERT_EQ(r.Lines.size(), 6u);
    EXPECT_TRUE(r.Lines[0].Overlaps && r.Lines[1].Overlaps);
    EXPECT_TRUE(r.Lines[2].Overlaps && r.Lines[3].Overlaps);
    EXPECT_FALSE(r.Lines[4].Overlaps || r.Lines[5].Overlaps);
    EXPECT_NEAR(r.Lines[0].CentreCode, 20000, 80.0);
    EXPECT_NEAR(r.Lines[1].CentreCode, 20600, 80.0);
  }
  // Codes with no point cut a line as a range end does: a gap over the
  // whole line, over its second lobe, over its first, or from its centre on
  // leaves what is seen of it cut where the points stop, and so does one of
  // 110 codes over its maximum (which it widens by 16 %, past a quarter of
  // the line then); a gap of 50 codes in its first lobe does not.
  struct Gap {
    double From, Length;
    bool CutLow, CutHigh;
  };
  for (const Gap g : {Gap{29600, 1000, true, true}, Gap{30100, 1000, false, true}, Gap{29000, 900, true, false},
                      Gap{30000, 5000, true, true}, Gap{29740, 110, true, true}, Gap{29750, 50, false, false}}) {
    const auto whole = MakeSpectrum({{Shape::Lorentz, 30000, 400, 800}, {Shape::Lorentz, 40000, 400, 500}}, 3.0);
    test::Synthetic s;
    for (std::size_t i = 0; i < whole.X.size(); ++i)
      if (whole.X[i] < g.From || whole.X[i] >= g.From + g.Length) s.X.push_back(whole.X[i]), s.Y.push_back(whole.Y[i]);
    const LineSearch r = Find(s);
    ASSERT_EQ(r.Lines.size(), 2u) << g.From;
    EXPECT_EQ(r.Lines[0].CutLow, g.CutLow) << g.From;
    EXPECT_EQ(r.Lines[0].CutHigh, g.CutHigh) << g.From;
    EXPECT_NEAR(r.Lines[1].CentreCode, 40000, 20) << g.From;
    EXPECT_FALSE(r.Lines[1].CutLow || r.Lines[1].CutHigh) << g.From;
  }
  // At 4 codes a sample, 7 samples missing over the maximum of a line 12
  // samples wide: its width read 35 % too wide, and it is cut; a step of 3
  // samples (2 missing) there is no gap yet.
  const auto slow = Stepped(MakeSpectrum({{Shape::Gauss, 30000, 48, 600}}, 3.0, 5, 28000, 32000), 4);
  for (const Gap g : {Gap{29964, 28, true, true}, Gap{29971, 11, false, false}}) {
    test::Synthetic holed;
    for (std::size_t i = 0; i < slow.X.size(); ++i)
      if (slow.X[i] < g.From || slow.X[i] >= g.From + g.Length) holed.X.push_back(slow.X[i]), holed.Y.push_back(slow.Y[i]);
    const LineSearch r = FindLines(holed.X, holed.Y, {4, 0});
    ASSERT_EQ(r.Lines.size(), 1u) << g.From;
    EXPECT_EQ(r.Lines[0].CutLow || r.Lines[0].CutHigh, g.CutLow) << g.From;
  }
}

TEST(LineSearchTest, InvertedPhaseAndAnOffsetBaseline) {
  TrueLine l{Shape::Lorentz, 30000, 500, -800};  // the minimum first
  const auto s = MakeSpectrum({l}, 3.0, 1, 0, 65519, 2300);
  const LineSearch r = Find(s);
  EXPECT_EQ(r.Phase, -1);
  EXPECT_NEAR(r.Baseline, 2300, 0.5);
  ASSERT_EQ(r.Lines.size(), 1u);
  EXPECT_NEAR(r.Lines[0].PeakToPeak, 800, 25);
  EXPECT_LT(r.Lines[0].FirstValue, 0);
  const auto fit = FitLines(s.X, s.Y, r, LineShape::Lorentz)[0];
  ASSERT_TRUE(fit);
  EXPECT_NEAR(fit->Amplitude, 800, 8);
  EXPECT_NEAR(fit->Centre, 30000, 2);
}

TEST(LineFitTest, NoiseFreeLinesWithinOnePercentOfTheirWidth) {
  for (const Shape shape : {Shape::Lorentz, Shape::Gauss}) {
    for (const double w : {40.0, 305.0, 6000.0}) {
      const std::vector<TrueLine> lines = {{shape, 20000.4, w, 900}, {shape, 45000.7, w, 450}};
      const auto s = MakeSpectrum(lines, 0.0);
      const LineSearch r = Find(s);
      ASSERT_EQ(r.Lines.size(), 2u) << w;
      for (std::size_t i = 0; i < 2; ++i) {
        const auto fit = FitLines(s.X, s.Y, r, shape == Shape::Lorentz ? LineShape::Lorentz : LineShape::Gauss)[i];
        ASSERT_TRUE(fit) << w << " " << i;
        EXPECT_NEAR(fit->Centre, lines[i].Centre, 0.01 * w) << w << " " << i;
        EXPECT_NEAR(fit->Width, w, 0.01 * w) << w << " " << i;
        EXPECT_NEAR(fit->Amplitude, lines[i].PeakToPeak, 0.01 * lines[i].PeakToPeak) << w << " " << i;
        // Only rounding is left, unless a long window is averaged in bins,
        // where rounding no longer looks like noise.
        if (w < 4096) {
          EXPECT_LT(fit->ReducedChi2, 2.0) << w << " " << i;
        }
        if (w > 4096) {
          EXPECT_LE(fit->Points, 4096u);
        }
      }
    }
  }
}

TEST(LineFitTest, AnOverlappingPairIsFittedTogether) {
  for (const Shape shape : {Shape::Lorentz, Shape::Gauss}) {
    const std::vector<TrueLine> lines = {{shape, 30000, 400, 1000}, {shape, 30600, 500, 700}};
    const auto s = MakeSpectrum(lines, 0.0);
    const LineSearch r = Find(s);
    ASSERT_EQ(r.Lines.size(), 2u);
    EXPECT_TRUE(r.Lines[0].Overlaps && r.Lines[1].Overlaps);
    const auto fits = FitLines(s.X, s.Y, r, shape == Shape::Lorentz ? LineShape::Lorentz : LineShape::Gauss);
    for (std::size_t i = 0; i < 2; ++i) {
      ASSERT_TRUE(fits[i]) << i;
      EXPECT_NEAR(fits[i]->Centre, lines[i].Centre, 0.01 * lines[i].Width) << i;
      EXPECT_NEAR(fits[i]->Width, lines[i].Width, 0.01 * lines[i].Width) << i;
      EXPECT_NEAR(fits[i]->Amplitude, lines[i].PeakToPeak, 0.01 * lines[i].PeakToPeak) << i;
    }
  }
}

TEST(LineFitTest, ClippedPointsAndLongWindowsKeepTheFitTrue) {
  // A line of 6000 codes on a 12-bit converter: its lobes are cut off at 0 and 4095.
  const auto clipped = MakeSpectrum({{Shape::Lorentz, 30000, 300, 6000}}, 2.0);
  LineSearch r = Find(clipped);
  ASSERT_EQ(r.Lines.size(), 1u);
  // Clipped far more (flat tops of hundreds of points), beside a weak line
  // of the other phase: the strong line sets the phase.
  const auto flat = MakeSpectrum({{Shape::Lorentz, 30000, 300, 10000}, {Shape::Lorentz, 45000, 300, -300}}, 2.0);
  const LineSearch f = Find(flat);
  EXPECT_EQ(f.Phase, 1);
  ASSERT_EQ(f.Lines.size(), 1u);
  EXPECT_NEAR(f.Lines[0].CentreCode, 30000, 5);
  auto fit = FitLines(clipped.X, clipped.Y, r, LineShape::Lorentz)[0];
  ASSERT_TRUE(fit);
  EXPECT_NEAR(fit->Width, 300, 3);
  EXPECT_NEAR(fit->Amplitude, 6000, 60);
  // A narrow line beside a broad one shares its long window: the bins must
  // stay far narrower than the narrow line, and weigh what they average.
  const auto pair = MakeSpectrum({{Shape::Gauss, 30000, 6000, 800}, {Shape::Gauss, 40000, 100, 800}}, 5.0);
  r = Find(pair);
  ASSERT_EQ(r.Lines.size(), 2u);
  ASSERT_GE(r.Lines[0].To, r.Lines[1].From);  // one group
  const auto fits = FitLines(pair.X, pair.Y, r, LineShape::Gauss);
  ASSERT_TRUE(fits[0] && fits[1]);
  EXPECT_NEAR(fits[1]->Width, 100, 1);
  EXPECT_NEAR(fits[0]->Width, 6000, 60);
  EXPECT_NEAR(fits[0]->ReducedChi2, 1, 0.15);
}

TEST(LineFitTest, AutoTellsTheShapesApart) {
  for (const Shape shape : {Shape::Lorentz, Shape::Gauss}) {
    const auto s = MakeSpectrum({{shape, 30000, 400, 1000}}, 5.0, 7);
    const LineSearch r = Find(s);
    ASSERT_EQ(r.Lines.size(), 1u);
    const auto fit = FitLinesAuto(s.X, s.Y, r)[0];
    ASSERT_TRUE(fit);
    EXPECT_EQ(fit->Shape, shape == Shape::Lorentz ? LineShape::Lorentz : LineShape::Gauss);
    EXPECT_NEAR(fit->ReducedChi2, 1.0, 0.15);
    // The wrong shape fits worse.
    const auto other = FitLines(s.X, s.Y, r, shape == Shape::Lorentz ? LineShape::Gauss : LineShape::Lorentz)[0];
    ASSERT_TRUE(other);
    EXPECT_GT(other->ReducedChi2, 1.5);
  }
}

TEST(LineFitTest, ErrorBarsCoverTheTruthOverTwoHundredNoisySpectra) {
  std::mt19937 rng(2026);
  std::uniform_real_distribution<double> snr(5.5, 60), width(150, 1200), offset(-0.5, 0.5);
  int found = 0, centreCovered = 0, widthCovered = 0, cases = 0;
  for (int k = 0; k < 200; ++k, ++cases) {
    const Shape shape = k % 2 ? Shape::Gauss : Shape::Lorentz;
    const double sigma = 8;
    const TrueLine truth{shape, 16000 + 1000 * offset(rng), width(rng), snr(rng) * sigma};
    // Short and long spectra alike.
    const int last = k % 4 == 3 ? 31999 : 65519;
    const auto s = MakeSpectrum({truth}, sigma, static_cast<unsigned>(100 + k), 0, last);
    const LineSearch r = Find(s);
    if (r.Lines.size() != 1) {
      ADD_FAILURE() << k << ": " << r.Lines.size() << " lines, width " << truth.Width << ", pp "
                    << truth.PeakToPeak << ", points " << s.X.size();
      continue;
    }
    ++found;
    const auto fit = FitLines(s.X, s.Y, r, shape == Shape::Lorentz ? LineShape::Lorentz : LineShape::Gauss)[0];
    if (!fit) continue;
    centreCovered += std::fabs(fit->Centre - truth.Centre) <= 2 * fit->CentreError;
    widthCovered += std::fabs(fit->Width - truth.Width) <= 2 * fit->WidthError;
  }
  EXPECT_EQ(found, cases);
  EXPECT_GE(centreCovered, 180) << widthCovered;
  EXPECT_GE(widthCovered, 180);
  EXPECT_LE(centreCovered, 199) << "error bars too wide to say anything";
  // Not covered by error bars so wide they say nothing.
  const auto s = MakeSpectrum({{Shape::Lorentz, 30000, 300, 400}}, 8.0, 9);
  const LineSearch r = Find(s);
  ASSERT_EQ(r.Lines.size(), 1u);
  const auto fit = FitLines(s.X, s.Y, r, LineShape::Lorentz)[0];
  ASSERT_TRUE(fit);
  EXPECT_LT(fit->CentreError, 2.0);
  EXPECT_GT(fit->CentreError, 0.2);
  EXPECT_LT(fit->WidthError, 5.0);
  EXPECT_GT(fit->WidthError, 0.5);
}

TEST(LineFitTest, ErrorBarsCoverTheTruthUnderCorrelatedNoise) {
  // Noise averaged over 11 points, as smoothing or the filter leave it: the
  // residual alone would make the error bars three times too short.
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> width(300, 1200), offset(-0.5, 0.5);
  int centreCovered = 0, widthCovered = 0, fitted = 0;
  for (int k = 0; k < 200; ++k) {
    const TrueLine truth{k % 2 ? Shape::Gauss : Shape::Lorentz, 30000 + 1000 * offset(rng), width(rng), 200};
    const auto s = Smoothed(MakeSpectrum({truth}, 20.0, static_cast<unsigned>(900 + k)), 5);
    const LineSearch r = Find(s);
    if (r.Lines.size() != 1) continue;
    const auto fit = FitLines(s.X, s.Y, r, k % 2 ? LineShape::Gauss : LineShape::Lorentz)[0];
    if (!fit) continue;
    ++fitted;
    centreCovered += std::fabs(fit->Centre - truth.Centre) <= 2 * fit->CentreError;
    widthCovered += std::fabs(fit->Width - truth.Width) <= 2 * fit->WidthError;
  }
  EXPECT_GE(fitted, 195);
  EXPECT_GE(centreCovered, 180);
  EXPECT_GE(widthCovered, 180);
}

TEST(LineFitTest, AHiddenLineLeavesAResidualAboveTheNoise) {
  // Strong lines the search cannot tell apart: a Lorentzian pair of 2 G and
  // 4 G 3 G apart (taken as one line across the stretch where their inner
  // lobes cancel), a line of the other phase beside one. Each fit says so;
  // a line alone does not.
  const double g = 300;
  struct Case {
    std::vector<TrueLine> Lines;
    bool Hidden;
  };
  const Case cases[] = {
      {{{Shape::Lorentz, 30000, 2 * g, 360}, {Shape::Lorentz, 30000 + 3 * g, 4 * g, 360}}, true},
      {{{Shape::Lorentz, 30000, 2 * g, 360}, {Shape::Lorentz, 30000 + 4 * g, 2 * g, -360}}, true},
      {{{Shape::Lorentz, 30000, 2 * g, 360}}, false},
      {{{Shape::Gauss, 30000, 2 * g, 360}}, false},
  };
  for (const Case& c : cases) {
    const auto s = MakeSpectrum(c.Lines, 3.0);
    const LineSearch r = Find(s);
    ASSERT_EQ(r.Lines.size(), 1u) << c.Lines.size();
    // (Of two equal lines of opposite phase, either may be taken.)
    double nearest = 1e9;
    for (const TrueLine& l : c.Lines) nearest = std::min(nearest, std::fabs(r.Lines[0].CentreCode - l.Centre));
    EXPECT_LT(nearest, 3 * g) << c.Lines.size();
    const auto fits = FitLinesAuto(s.X, s.Y, r);
    ASSERT_TRUE(fits[0]) << c.Lines.size();
    EXPECT_EQ(fits[0]->ResidualAboveNoise, c.Hidden) << c.Lines.size() << " " << fits[0]->ReducedChi2;
  }
}

TEST(LineSearchTest, ANarrowLineOnABroadOnesFlankIsALineOfItsOwn) {
  // S/N 67 on the flank of a line twenty times as wide and five times as
  // strong: found where it is, beside the broad one, though they share points.
  const double g = 300;
  const auto s = MakeSpectrum({{Shape::Lorentz, 30000, 20 * g, 1000}, {Shape::Gauss, 30000 - 8 * g, g, 200}}, 3.0);
  const LineSearch r = Find(s);
  ASSERT_EQ(r.Lines.size(), 2u);
  EXPECT_NEAR(r.Lines[0].CentreCode, 30000 - 8 * g, 0.1 * g);
  EXPECT_NEAR(r.Lines[0].Width, g, 0.15 * g);
  EXPECT_NEAR(r.Lines[1].CentreCode, 30000, 0.5 * g);
}

TEST(LineFitTest, TooFewPointsOrNoWidthIsNoFit) {
  const auto s = MakeSpectrum({{Shape::Lorentz, 30000, 300, 400}}, 0.0);
  LineSearch r = Find(s);
  ASSERT_EQ(r.Lines.size(), 1u);
  const FoundLine found = r.Lines[0];
  std::vector<FitProblem> problems;
  // Every 60th point: nine of them over the line for five parameters (two
  // points a parameter) are too few; ten fit.
  test::Synthetic sparse;
  for (std::size_t i = 0; i < s.X.size(); i += 60) sparse.X.push_back(s.X[i]), sparse.Y.push_back(s.Y[i]);
  LineSearch few = r;
  few.Lines[0].From = 30000 / 60 - 4;
  few.Lines[0].To = few.Lines[0].From + 8;
  EXPECT_FALSE(FitLines(sparse.X, sparse.Y, few, LineShape::Lorentz, &problems)[0]);
  EXPECT_EQ(problems, std::vector<FitProblem>{FitProblem::TooFewPoints});
  EXPECT_STREQ(FitProblemText(problems[0]), "мало точек для подгонки");
  few.Lines[0].To += 1;
  EXPECT_TRUE(FitLinesAuto(sparse.X, sparse.Y, few, &problems)[0]);
  EXPECT_EQ(problems, std::vector<FitProblem>{FitProblem::None});
  r.Lines[0].From = found.From;
  r.Lines[0].To = s.X.size();
  EXPECT_FALSE(FitLines(s.X, s.Y, r, LineShape::Lorentz, &problems)[0]);
  EXPECT_EQ(problems, std::vector<FitProblem>{FitProblem::TooFewPoints});
  // Enough points, but nothing like a line in them (a flat stretch).
  const auto flat = MakeSpectrum({}, 0.0, 1, 0, 2000);
  LineSearch none = r;
  none.Lines[0].From = 100, none.Lines[0].To = 1900, none.Lines[0].CentreCode = 1000;
  EXPECT_FALSE(FitLines(flat.X, flat.Y, none, LineShape::Gauss, &problems)[0]);
  EXPECT_EQ(problems, std::vector<FitProblem>{FitProblem::NoConvergence});
  EXPECT_STREQ(FitProblemText(problems[0]), "подгонка не сошлась");
  EXPECT_TRUE(FindLines(std::vector<double>{1, 2, 3}, std::vector<double>{2048, 3000, 1000}).Lines.empty());
}

}  // namespace qel
