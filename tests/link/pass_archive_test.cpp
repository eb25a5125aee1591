#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "../model/test_dir.h"
#include "fakes.h"
#include "model/atomic_file.h"
#include "model/auto_save.h"
#include "model/pass_archive.h"
#include "model/spectrum_file.h"

namespace qel {
namespace {

// A window's acquisition with the filter, accumulation and automatic saving
// on, its passes kept by a sink in memory.
struct ArchiveRig : test::LinkRig, PassSink {
  explicit ArchiveRig(const std::string& folder) {
    s.WorkDir = folder;
    s.AutoSave = true;
    s.SaveStep = 1;
    s.EnableRTLPF = true;
    s.RTLPFConst = 5;
    s.EnableRTSum = true;
    s.RTNumb = 3;
    link.Acq.SetPassSink(this, [this] { return clock += 1000; });
    Start();
    CompleteHandshake();
  }
  bool SeriesStarted(std::int64_t) override {
    series.emplace_back();
    return keep;
  }
  void PassFinished(PassRecord pass) override { series.back().push_back(std::move(pass)); }
  void SeriesEnded() override { ++ended; }

  void Point(std::uint16_t x, std::uint16_t y) {
    port.FeedTelegram(2, LinkRig::Point(x, y, 0x01, speed));
    Pump();
  }
  // Returns the number of the file the pass start saved.
  std::int32_t PassStart() {
    const std::int32_t number = s.NumbMask;
    port.FeedTelegram(3, {0xFF, 0xEF, 0, 0, 0, 0});
    Pump();
    return number;
  }
  // Analyse mode and back, as the window does it: receiving again clears the
  // spectrum on screen and starts the loop again.
  void AnalyseTrip() {
    link.Acq.SetReceiveMode(false);
    Pump();
    store.ClearSpectrum();
    Start();
    CompleteHandshake();
  }
  // Pass n's points: a line and noise, the same for each n in any rig.
  void FeedPass(int n, int from = 1000, int to = 1400) {
    std::mt19937 rng(static_cast<unsigned>(n));
    std::normal_distribution<double> noise(0, 30);
    for (int code = from; code < to; ++code) {
      if (n == 10 && code >= 1100 && code < 1105) {
        Point(static_cast<std::uint16_t>(code), 4000);  // a spike
        continue;
      }
      const double v = 2048 + 300 * std::sin(code / 30.0) + noise(rng);
      Point(static_cast<std::uint16_t>(code), static_cast<std::uint16_t>(std::lround(v)));
    }
  }

  std::int64_t clock = 0;
  bool keep = true;
  std::vector<std::vector<PassRecord>> series;
  int ended = 0;
  std::uint8_t speed = 0x08;  // one code a telegram
};

// Eleven passes of one series; pass 10 is spiked unless `spike` is false,
// when it never comes. Returns the file each pass was saved in, by pass.
std::vector<std::int32_t> Feed(ArchiveRig& r, bool spike) {
  std::vector<std::int32_t> files;
  r.PassStart();  // the series starts
  for (int n = 1; n <= 11; ++n) {
    if (n == 10 && !spike) continue;
    if (n == 5) r.speed = 0x06;  // four codes a telegram: a code written over
    if (n == 6) r.speed = 0x08;
    if (n == 9) {
      r.FeedPass(n, 1000, 1200);
      r.AnalyseTrip();
      r.FeedPass(n, 1200, 1400);
    } else {
      r.FeedPass(n);
    }
    if (n == 7) r.Point(1200, 0xFFFA);  // rejected: its code is emptied
    if (n == 8) r.link.Acq.PassInterrupted();
    // Settings changed during a pass count from the next pass start on.
    if (n == 5) r.s.RTNumb = 5;  // raised past the count: pass 6 is the 4th
    if (n == 6) r.s.RTNumb = 4;  // lowered to the count: no restart
    files.push_back(r.PassStart());
  }
  return files;
}

// The bytes of an automatically saved file.
std::string Saved(const Settings& s, std::int32_t number) {
  const auto bytes = ReadRegularFile(AutoSavePath(s, number), 1 << 20);
  EXPECT_TRUE(bytes) << number;
  return bytes.value_or("");
}

SpectrumBuffer Loaded(const Settings& s, std::int32_t number) {
  SpectrumStore loaded;
  EXPECT_TRUE(LoadSpectrum(loaded, AutoSavePath(s, number)));
  return loaded.CurrentSpectrum;
}

TEST(PassArchive, TheReplayOfThePassesIsEveryAutomaticSave) {
  test::TempDir dir;
  ArchiveRig r(dir.Path());
  const auto files = Feed(r, true);
  ASSERT_EQ(r.series.size(), 1u);
  const std::vector<PassRecord>& passes = r.series[0];
  ASSERT_EQ(passes.size(), 11u);
  // The counts the window divided by: up to 3, on to 4 after the raise.
  std::vector<std::int32_t> counts;
  for (const PassRecord& p : passes) counts.push_back(p.AccumCount);
  EXPECT_EQ(counts, (std::vector<std::int32_t>{1, 2, 3, 3, 3, 4, 4, 4, 4, 4, 4}));
  EXPECT_TRUE(passes[7].Cut);
  EXPECT_TRUE(passes[8].Cut);
  EXPECT_FALSE(passes[9].Cut);
  EXPECT_EQ(passes[0].FilterConst, 5);
  // The rig's clock: the series start, then each pass start.
  EXPECT_EQ(passes[0].StartMs, 2000);
  EXPECT_EQ(passes[1].StartMs, 3000);
  for (std::size_t k = 1; k <= passes.size(); ++k) {
    const std::vector<PassRecord> first(passes.begin(), passes.begin() + static_cast<std::ptrdiff_t>(k));
    const auto replay = ReplayPasses(first);
    ASSERT_TRUE(replay) << k;
    EXPECT_TRUE(SerializeSpectrum(*replay) == Saved(r.s, files[k - 1])) << "pass " << k;
  }
  // The trip's pass shows only what came after it; the rejected code is empty.
  EXPECT_EQ(Loaded(r.s, files[8])[1100], EmptyPoint);
  EXPECT_NE(Loaded(r.s, files[8])[1300], EmptyPoint);
  EXPECT_EQ(Loaded(r.s, files[6])[1200], EmptyPoint);

  // Without the spiked pass: what a second acquisition fed without it saved.
  test::TempDir other;
  ArchiveRig without(other.Path());
  const auto withoutFiles = Feed(without, false);
  const auto replay = ReplayPasses(passes, {10});
  ASSERT_TRUE(replay);
  EXPECT_TRUE(SerializeSpectrum(*replay) == Saved(without.s, withoutFiles.back()));
  EXPECT_FALSE(SerializeSpectrum(*ReplayPasses(passes)) == Saved(without.s, withoutFiles.back()));
}

TEST(PassArchive, SeriesEndWithAccumulationAndWithARestartedMean) {
  test::TempDir dir;
  ArchiveRig r(dir.Path());
  r.PassStart();
  r.FeedPass(1);
  r.s.EnableRTLPF = false;  // pass 2 unfiltered
  r.PassStart();
  r.FeedPass(2);
  r.s.RTNumb = 2;
  r.PassStart();  // count 2, not past RTNumb 2: the series goes on
  r.FeedPass(3);
  r.s.RTNumb = 1;  // used as 2: still no restart
  r.PassStart();
  r.s.EnableRTSum = false;
  r.PassStart();  // ends the series; this pass is not accumulated
  r.FeedPass(5);
  r.PassStart();
  ASSERT_EQ(r.series.size(), 1u);
  EXPECT_EQ(r.series[0].size(), 4u);
  EXPECT_EQ(r.series[0].back().End, PassEnd::SeriesEnd);
  EXPECT_EQ(r.series[0][0].FilterConst, 5);
  EXPECT_EQ(r.series[0][1].FilterConst, 0);
  EXPECT_EQ(r.ended, 1);
  // Accumulation again: a new series, and its mean restarting starts another.
  r.s.EnableRTSum = true;
  r.s.RTNumb = 5;
  r.PassStart();
  r.PassStart();
  r.PassStart();
  r.s.RTNumb = 2;  // below the count 3: the mean restarts
  r.PassStart();
  ASSERT_EQ(r.series.size(), 3u);
  EXPECT_EQ(r.series[1].size(), 3u);
  EXPECT_EQ(r.series[2].size(), 0u);
  EXPECT_EQ(r.ended, 2);
  // The program closes: the pass under way ends the series.
  r.link.Acq.CloseSeries();
  ASSERT_EQ(r.series[2].size(), 1u);
  EXPECT_EQ(r.series[2][0].End, PassEnd::Closed);
  EXPECT_EQ(r.ended, 3);
  // A series the sink does not keep hands nothing over.
  r.keep = false;
  r.s.EnableRTSum = false;
  r.PassStart();
  r.s.EnableRTSum = true;
  r.PassStart();
  r.PassStart();
  EXPECT_EQ(r.series.size(), 4u);
  EXPECT_TRUE(r.series[3].empty());
}

}  // namespace
}  // namespace qel
