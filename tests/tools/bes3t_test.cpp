// `qel export --format bes3t`, read back with a reader of its own.

#include <gtest/gtest.h>

#include <filesystem>

#include <cstring>
#include <map>

#include "model/atomic_file.h"
#include "spectra.h"

namespace qel {

using test::RunQel;
using test::Slurp;

namespace {

// A BES3T pair as an analysis tool reads it: the descriptor's keywords and
// the data as big-endian doubles.
struct Bes3t {
  std::map<std::string, std::string> Key;
  std::string Text;
  std::vector<double> Y;

  double Num(const std::string& k) const { return std::stod(Key.at(k)); }
  // x = XMIN + XWID * i / (XPTS - 1)
  double X(std::size_t i) const { return Num("XMIN") + Num("XWID") * static_cast<double>(i) / (Num("XPTS") - 1); }
};

Bes3t ReadBes3t(const std::string& base) {
  Bes3t b;
  b.Text = Slurp(base + ".DSC");
  std::istringstream lines(b.Text);
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] == '*' || line[0] == '#') continue;
    const auto gap = line.find_first_of(" \t");
    const auto value = line.find_first_not_of(" \t", gap);
    b.Key[line.substr(0, gap)] = value == std::string::npos ? "" : line.substr(value);
  }
  const std::string data = Slurp(base + ".DTA");
  EXPECT_EQ(data.size() % 8, 0u);
  for (std::size_t i = 0; i + 8 <= data.size(); i += 8) {
    std::uint64_t bits = 0;
    for (std::size_t k = 0; k < 8; ++k) bits = (bits << 8) | static_cast<unsigned char>(data[i + k]);
    double v;
    std::memcpy(&v, &bits, sizeof v);
    b.Y.push_back(v);
  }
  return b;
}

}  // namespace

class Bes3tExport : public ::testing::Test {
 protected:
  // Points 100..104 of a spectrum recorded at gain index 3 (factor 10)
  // between 3200 and 3400 Oe.
  void Write(const std::string& path, bool recordRange, std::vector<int> gaps = {}) {
    SpectrumStore store;
    for (int i = 100; i <= 104; ++i)
      store.CurrentSpectrum[static_cast<std::size_t>(i)] = {static_cast<std::uint16_t>(i),
                                                            static_cast<std::uint16_t>(2048 + 100 * (i - 102))};
    for (int g : gaps) store.CurrentSpectrum[static_cast<std::size_t>(g)] = EmptyPoint;
    Settings s;
    SetDefaults(s);
    s.Amplifying = 3;
    s.Rapid = 10;  // " 1 мин"
    s.RazvUnits[3].X1 = 3200;
    s.RazvUnits[3].X2 = 3400;
    RunValues run;
    run.PassesAveraged = 9;
    StampParameters(store, s, run);
    if (!recordRange) store.CurrentSpectrum[65531] = store.CurrentSpectrum[65530] = EmptyPoint;
    SaveSpectrum(store, path);
  }
  test::TempDir dir;
  std::string settings = dir.File("1.0.reg");
};

TEST_F(Bes3tExport, KeywordsAxisAndBigEndianValuesWithTheRecordedRange) {
  test::WriteSettings(settings, [](Settings& s) { s.AmpUnit = 1; });  // volts
  Write(dir.File("s.qel"), true);
  const auto r = RunQel({"export", "--settings", settings, "--format", "bes3t", dir.File("s.qel"), "-o",
                         dir.File("out"), "--frequency", "9.5"});
  ASSERT_EQ(r.status, 0) << r.err;
  const Bes3t b = ReadBes3t(dir.File("out"));
  EXPECT_EQ(b.Text.rfind("#DESC\t1.2", 0), 0u);
  EXPECT_NE(b.Text.find("\n#SPL\t1.2"), std::string::npos);
  const std::map<std::string, std::string> fixed{
      {"DSRC", "EXP"},       {"BSEQ", "BIG"},       {"IKKF", "REAL"},          {"XTYP", "IDX"},
      {"YTYP", "NODATA"},    {"ZTYP", "NODATA"},    {"IRFMT", "D"},            {"XPTS", "5"},
      {"XNAM", "'Field'"},   {"XUNI", "'G'"},       {"IRNAM", "'Intensity'"},  {"IRUNI", "'V'"},
      {"AVGS", "9"},         {"TITL", "'s.qel'"}};
  for (const auto& [k, v] : fixed) EXPECT_EQ(b.Key.count(k) ? b.Key.at(k) : "(none)", v) << k;
  EXPECT_DOUBLE_EQ(b.Num("MWFQ"), 9.5e9);  // Hz
  EXPECT_NEAR(b.Num("SPTP"), 60.0 / 5, 1e-12);  // " 1 мин" over the five points
  // The field: 3200 Oe at code 0, 3400 Oe at code 65519.
  ASSERT_EQ(b.Y.size(), 5u);
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_NEAR(b.X(i), 3200 + 200.0 * static_cast<double>(100 + i) / 65519, 1e-9) << i;
    // 10 V for 2047 codes, divided by the gain factor 10.
    EXPECT_NEAR(b.Y[i], 100.0 * (static_cast<double>(i) - 2) * (20.0 / 4094) / 10, 1e-12) << i;
  }
}

TEST_F(Bes3tExport, WithoutARecordedRangeTheDefaultFieldIsUsedAndSaidInTheTitle) {
  Write(dir.File("p.qel"), false);
  const auto r = RunQel({"export", "--settings", settings, "--format", "bes3t", dir.File("p.qel"), "-o",
                         dir.File("p.DSC")});
  ASSERT_EQ(r.status, 0) << r.err;
  const Bes3t b = ReadBes3t(dir.File("p"));
  EXPECT_NEAR(b.X(0), 3000 + 300.0 * 100 / 65519, 1e-9);
  EXPECT_NEAR(b.X(4), 3000 + 300.0 * 104 / 65519, 1e-9);
  EXPECT_NE(b.Key.at("TITL").find("not recorded"), std::string::npos) << b.Key.at("TITL");
  EXPECT_EQ(b.Key.count("MWFQ"), 0u);
  EXPECT_EQ(b.Key.at("IRUNI"), "'counts'");  // the default amplitude unit: ADC codes
  EXPECT_NEAR(b.Y[4], 200.0 / 10, 1e-12);
}

TEST_F(Bes3tExport, AnEmptyPointInsideTheDataTakesTheValueOfThePointBeforeIt) {
  Write(dir.File("g.qel"), true, {102, 103});
  const auto r = RunQel({"export", "--settings", settings, "--format", "bes3t", dir.File("g.qel"), "-o",
                         dir.File("g")});
  ASSERT_EQ(r.status, 0) << r.err;
  const Bes3t b = ReadBes3t(dir.File("g"));
  ASSERT_EQ(b.Y.size(), 5u);
  EXPECT_EQ(b.Key.at("XPTS"), "5");
  const std::vector<double> expected{-20, -10, -10, -10, 20};  // codes / gain factor 10
  for (std::size_t i = 0; i < 5; ++i) EXPECT_DOUBLE_EQ(b.Y[i], expected[i]) << i;
  EXPECT_NE(b.Text.find("Empty points inside the data range: 2,"), std::string::npos);
}

TEST_F(Bes3tExport, NonAsciiNamesAndAnEmptySpectrum) {
  const std::string in = dir.File("спектр №1.qel");
  Write(in, true);
  ASSERT_TRUE(std::filesystem::create_directory(test::FsPath(dir.File("вывод"))));
  const std::string out = dir.File("вывод/образец Э");
  auto r = RunQel({"export", "--settings", settings, "--format", "bes3t", in, "-o", out});
  ASSERT_EQ(r.status, 0) << r.err;
  const Bes3t b = ReadBes3t(out);
  EXPECT_EQ(b.Key.at("TITL"), "'спектр №1.qel'");
  EXPECT_EQ(b.Y.size(), 5u);

  // Without -o the pair goes beside the input, named after it.
  r = RunQel({"export", "--settings", settings, "--format", "bes3t", in});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(PathExists(dir.File("спектр №1.DSC")) && PathExists(dir.File("спектр №1.DTA")));

  SpectrumStore empty;
  SaveSpectrum(empty, dir.File("пусто.qel"));
  r = RunQel({"export", "--settings", settings, "--format", "bes3t", dir.File("пусто.qel"), "-o", dir.File("e")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("нет точек"), std::string::npos) << r.err;
  EXPECT_FALSE(PathExists(dir.File("e.DSC")) || PathExists(dir.File("e.DTA")));
}

}  // namespace qel
