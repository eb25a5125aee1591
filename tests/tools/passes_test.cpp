// `qel passes`, `qel average` and `qel export --format bes3t` on an archive
// of passes.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>

#include "model/atomic_file.h"
#include "model/pass_archive.h"
#include "model/spectrum_file.h"
#include "qel/passes.h"
#include "spectra.h"

namespace qel {

using test::RunQel;
using test::Slurp;

namespace {

// Six passes of a line in noise through 400 codes, RTNumb 4 (the mean turns
// exponential after the 4th); pass 4 carries a spike at code 1200 unless
// `spikeAt` is 0. The last pass stops short of the end: codes it never reached.
std::vector<PassRecord> Passes(int spikePass = 4) {
  std::vector<PassRecord> passes;
  for (std::uint32_t n = 1; n <= 6; ++n) {
    PassRecord p;
    p.Number = n;
    p.StartMs = 1765300000000 + 60000 * n;
    p.RTNumb = 4;
    p.AccumCount = static_cast<std::int32_t>(std::min<std::uint32_t>(n, 4));
    p.Records[2] = SpectrumPoint{static_cast<std::uint16_t>(p.AccumCount), TagAccumCount};
    std::mt19937 rng(n);
    std::normal_distribution<double> noise(0, 20);
    for (std::uint16_t code = 1000; code < (n == 6 ? 1300 : 1400); ++code) {
      double v = 2048 + 400 * std::sin(code / 25.0) + noise(rng);
      if (static_cast<int>(n) == spikePass && code == 1200) v = 4000;
      p.Entries.push_back({code, static_cast<std::uint16_t>(std::lround(v)), 1});
    }
    passes.push_back(std::move(p));
  }
  return passes;
}

std::string ArchiveBytes(const std::vector<PassRecord>& passes) {
  std::string a = PassArchiveHeader(1765300000);
  for (const PassRecord& p : passes) a += PassArchiveChunk(p);
  return a;
}

double BigEndianDouble(const std::string& b, std::size_t i) {
  std::uint64_t v = 0;
  for (std::size_t k = 0; k < 8; ++k) v = v << 8 | static_cast<unsigned char>(b[8 * i + k]);
  return std::bit_cast<double>(v);
}

std::string Value(const std::string& dsc, const std::string& key) {
  const std::size_t at = dsc.find("\n" + key + "\t");
  if (at == std::string::npos) return "";
  const std::size_t from = at + key.size() + 2;
  return dsc.substr(from, dsc.find('\n', from) - from);
}

class Passes_ : public ::testing::Test {
 protected:
  void SetUp() override { WriteFileAtomically(archive, ArchiveBytes(Passes())); }
  test::TempDir dir;
  std::string archive = dir.File("series.qelpass");
};

}  // namespace

TEST_F(Passes_, TheSpikedPassComesFirst) {
  const auto r = RunQel({"passes", archive, "--csv", "-"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::istringstream rows(r.out);
  std::string header, first, second;
  std::getline(rows, header);
  std::getline(rows, first);
  std::getline(rows, second);
  EXPECT_EQ(header, "pass,points,start,cut,score,at_code");
  EXPECT_EQ(first.substr(0, 6), "4,400,");
  EXPECT_EQ(first.substr(first.size() - 5), ",1200");
  // The spike stands 2000 counts off, some 70 MADs; noise alone, over 400
  // codes with the MAD of six values each, at most a fifth of that.
  const double top = std::stod(first.substr(first.rfind(',', first.size() - 6) + 1));
  const double next = std::stod(second.substr(second.rfind(',', second.size() - 6) + 1));
  EXPECT_GT(top, 50);
  EXPECT_LT(next, top / 4);
  // Worked through in blocks of 256 codes (1024 and 1280 fall inside the
  // passes' codes): the same scores, to the last digit.
  const auto whole = cli::ScorePasses(Passes()), blocks = cli::ScorePasses(Passes(), 6 * 256);
  ASSERT_EQ(blocks.size(), 6u);
  EXPECT_EQ(blocks[3].AtCode, 1200);
  for (std::size_t k = 0; k < 6; ++k) {
    EXPECT_EQ(blocks[k].Score, whole[k].Score) << k;
    EXPECT_EQ(blocks[k].AtCode, whole[k].AtCode) << k;
  }
  // The scale: 1.4826 median absolute deviations, at least half a count.
  // Code 100: 2000, 2002, 2004, 2006, 2030 (median 2004, MAD 2); code 101:
  // 2000 but pass 3's 2001 (MAD 0); code 102 in four passes, 1990, 2000,
  // 2010, 2100 (median 2005, MAD 10).
  const std::vector<std::vector<PassEntry>> entries = {
      {{100, 2000, 1}, {101, 2000, 1}, {102, 1990, 1}}, {{100, 2002, 1}, {101, 2000, 1}, {102, 2000, 1}},
      {{100, 2004, 1}, {101, 2001, 1}, {102, 2010, 1}}, {{100, 2006, 1}, {101, 2000, 1}, {102, 2100, 1}},
      {{100, 2030, 1}, {101, 2000, 1}}};
  std::vector<PassRecord> five(5);
  for (std::uint32_t n = 1; n <= 5; ++n) {
    five[n - 1].Number = n;
    five[n - 1].RTNumb = 9;
    five[n - 1].AccumCount = static_cast<std::int32_t>(n);
    five[n - 1].Entries = entries[n - 1];
  }
  WriteFileAtomically(dir.File("five.qelpass"), ArchiveBytes(five));
  const auto scaled = RunQel({"passes", dir.File("five.qelpass"), "--csv", "-"});
  std::istringstream lines(scaled.out);
  std::string line;
  std::vector<std::string> ranked;  // pass: score @ code
  std::getline(lines, line);
  while (std::getline(lines, line)) {
    std::vector<std::string> f;
    std::istringstream fields(line);
    for (std::string v; std::getline(fields, v, ',');) f.push_back(v);
    ASSERT_EQ(f.size(), 6u) << line;
    ranked.push_back(f[0] + ": " + f[4] + " @ " + f[5]);
  }
  EXPECT_EQ(ranked, (std::vector<std::string>{"5: 8.77 @ 100", "4: 6.41 @ 102", "3: 2 @ 101", "1: 1.35 @ 100",
                                              "2: 0.674 @ 100"}));
  // Fewer than three passes: no scores, and it says so.
  std::vector<PassRecord> two = Passes();
  two.resize(2);
  WriteFileAtomically(dir.File("two.qelpass"), ArchiveBytes(two));
  const auto few = RunQel({"passes", dir.File("two.qelpass"), "--json"});
  EXPECT_EQ(few.status, 0);
  EXPECT_NE(few.err.find("проходов меньше трёх"), std::string::npos) << few.err;
  EXPECT_NE(few.out.find("\"pass\": 1, \"points\": 400"), std::string::npos) << few.out;
  EXPECT_NE(few.out.find("\"score\": null"), std::string::npos) << few.out;
}

TEST_F(Passes_, TheAverageWithoutAPassIsItsReplay) {
  const auto all = RunQel({"average", archive, "-o", dir.File("all.qel")});
  ASSERT_EQ(all.status, 0) << all.err;
  EXPECT_EQ(all.out, "Проходы: 1–6 (6 из 6)\n");
  EXPECT_EQ(Slurp(dir.File("all.qel")), SerializeSpectrum(*ReplayPasses(Passes())));
  const auto without = RunQel({"average", archive, "--exclude", "4", "-o", dir.File("without.qel")});
  ASSERT_EQ(without.status, 0) << without.err;
  EXPECT_EQ(without.out, "Проходы: 1–3, 5–6 (5 из 6); исключены: 4\n");
  // As if pass 4 had never come: the same as an archive of the five others,
  // renumbered, with their counts 1, 2, 3, 4, 4.
  std::vector<PassRecord> five = Passes(0);
  five.erase(five.begin() + 3);
  for (std::uint32_t i = 0; i < five.size(); ++i) five[i].Number = i + 1;
  SpectrumStore loaded;
  ASSERT_TRUE(LoadSpectrum(loaded, dir.File("without.qel")));
  const SpectrumBuffer expected = *ReplayPasses(five);
  for (std::size_t code = 1000; code < 1400; ++code)
    ASSERT_EQ(loaded.CurrentSpectrum[code], expected[code]) << code;
  EXPECT_EQ(ReadParameters(loaded.CurrentSpectrum).Get(TagAccumCount), 4);
  // Three passes left: the record says 3, not the 4 the last pass had.
  ASSERT_EQ(RunQel({"average", archive, "--exclude", "2-4", "-o", dir.File("three.qel")}).status, 0);
  SpectrumStore three;
  ASSERT_TRUE(LoadSpectrum(three, dir.File("three.qel")));
  EXPECT_EQ(ReadParameters(three.CurrentSpectrum).Get(TagAccumCount), 3);
  // The first pass's value at a code the last pass never reached: the
  // last pass's spectrum shows only what it reached.
  EXPECT_EQ(loaded.CurrentSpectrum[1350], EmptyPoint);

  for (const char* bad : {"9", "0", "3-1", "x"}) {
    const auto r = RunQel({"average", archive, "--exclude", bad, "-o", dir.File("bad.qel")});
    EXPECT_EQ(r.status, 1) << bad;
    EXPECT_FALSE(PathExists(dir.File("bad.qel"))) << bad;
  }
  EXPECT_NE(RunQel({"average", archive, "--exclude", "9", "-o", dir.File("bad.qel")}).err.find("в архиве нет прохода 9"),
            std::string::npos);
}

TEST_F(Passes_, ATornEndIsAWarningADamagedPassAnError) {
  // Counts that do not follow from the passes before (RTNumb 4: 1, 2, 3...).
  std::vector<PassRecord> miscounted = Passes();
  miscounted[2].AccumCount = 2;
  WriteFileAtomically(dir.File("miscounted.qelpass"), ArchiveBytes(miscounted));
  const auto m = RunQel({"average", dir.File("miscounted.qelpass"), "-o", dir.File("m.qel")});
  EXPECT_EQ(m.status, 1);
  EXPECT_NE(m.err.find("проход 3 разделён на 2, а по порядку проходов должен на 3"), std::string::npos) << m.err;
  const std::string whole = ArchiveBytes(Passes());
  WriteFileAtomically(dir.File("torn.qelpass"), whole.substr(0, whole.size() - 100));
  const auto torn = RunQel({"average", dir.File("torn.qelpass"), "-o", dir.File("torn.qel")});
  EXPECT_EQ(torn.status, 0) << torn.err;
  EXPECT_NE(torn.err.find("после прохода 5 оборвана"), std::string::npos) << torn.err;
  EXPECT_EQ(torn.out, "Проходы: 1–5 (5 из 5)\n");
  std::string damaged = whole;
  damaged[ArchiveBytes({Passes()[0], Passes()[1]}).size() + 200] ^= 0x10;  // inside pass 3
  WriteFileAtomically(dir.File("damaged.qelpass"), damaged);
  const auto r = RunQel({"average", dir.File("damaged.qelpass"), "-o", dir.File("damaged.qel")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("запись прохода 3 (после прохода 2) повреждена"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("damaged.qelpass"), std::string::npos) << r.err;
  EXPECT_FALSE(PathExists(dir.File("damaged.qel")));
}

TEST_F(Passes_, ThePassesAsOneTwoDimensionalBes3tDataset) {
  const std::string settings = dir.File("1.0.reg");
  test::WriteSettings(settings, [](Settings&) {});
  // Pass 1's code 1250 rejected at the end of the pass; the extension in
  // capitals, as a Windows folder may show it.
  std::vector<PassRecord> passes = Passes();
  passes[0].Entries.push_back({1250, PassRejected, 1});
  WriteFileAtomically(dir.File("SERIES.QELPASS"), ArchiveBytes(passes));
  const auto r = RunQel({"export", "--settings", settings, "--format", "bes3t", dir.File("SERIES.QELPASS"), "--exclude",
                         "2", "-o", dir.File("set")});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string dsc = Slurp(dir.File("set.DSC")), dta = Slurp(dir.File("set.DTA")), ygf = Slurp(dir.File("set.YGF"));
  EXPECT_EQ(Value(dsc, "XPTS"), "400");
  EXPECT_EQ(Value(dsc, "YPTS"), "5");
  EXPECT_EQ(Value(dsc, "YTYP"), "IGD");
  EXPECT_EQ(Value(dsc, "IRFMT"), "D");
  EXPECT_EQ(Value(dsc, "AVGS"), "1");
  EXPECT_EQ(Value(dsc, "YNAM"), "'Pass'");
  ASSERT_EQ(dta.size(), 400u * 5 * 8);
  ASSERT_EQ(ygf.size(), 5u * 8);
  std::vector<double> rows;
  for (std::size_t i = 0; i < 5; ++i) rows.push_back(BigEndianDouble(ygf, i));
  EXPECT_EQ(rows, (std::vector<double>{1, 3, 4, 5, 6}));
  // Row 3 is pass 4: its spike at code 1200 (column 200), in counts from
  // the zero line; the last pass has no value past code 1299.
  EXPECT_EQ(BigEndianDouble(dta, 2 * 400 + 200), 4000 - 2048);
  EXPECT_TRUE(std::isnan(BigEndianDouble(dta, 4 * 400 + 350)));
  EXPECT_FALSE(std::isnan(BigEndianDouble(dta, 4 * 400 + 299)));
  EXPECT_TRUE(std::isnan(BigEndianDouble(dta, 250)));
  EXPECT_FALSE(std::isnan(BigEndianDouble(dta, 249)));
}

}  // namespace qel
