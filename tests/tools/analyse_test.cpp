// `qel analyse` on synthetic first-derivative lines of known shape.

#include <gtest/gtest.h>

#include <map>

#include "model/atomic_file.h"
#include "processing/spectrum_ops.h"
#include "qel/analyse.h"
#include "spectra.h"

namespace qel {

using test::RunQel;
using test::Slurp;

namespace {

// The rows of `qel analyse --csv`, each as column name -> text.
std::vector<std::map<std::string, std::string>> ParseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> cells;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> row;
    std::string cell;
    bool quoted = false;
    for (const char c : line) {
      if (c == '"') {
        quoted = !quoted;
      } else if (c == ',' && !quoted) {
        row.push_back(cell);
        cell.clear();
      } else {
        cell += c;
      }
    }
    row.push_back(cell);
    cells.push_back(row);
  }
  std::vector<std::map<std::string, std::string>> rows;
  for (std::size_t r = 1; r < cells.size(); ++r) {
    std::map<std::string, std::string> m;
    for (std::size_t c = 0; c < cells[0].size() && c < cells[r].size(); ++c) m[cells[0][c]] = cells[r][c];
    rows.push_back(m);
  }
  return rows;
}

double N(const std::map<std::string, std::string>& row, const std::string& key) { return std::stod(row.at(key)); }

}  // namespace

class Analyse : public ::testing::Test {
 protected:
  test::TempDir dir;
  std::string settings = dir.File("1.0.reg");
  // 3200..3500 Oe recorded over codes 0..65519.
  static constexpr double kOePerCode = 300.0 / 65519;
  static double Field(double code) { return 3200 + kOePerCode * code; }
};

TEST_F(Analyse, LorentzianAndGaussianLinesGiveTheirCentreWidthAmplitudeAndG) {
  test::Line lorentz{test::DerivativeLorentzian, 30000.3, 800, 1000};
  test::Line gauss{test::DerivativeGaussian, 41234.7, 1300, 900, 20000, 60000};
  test::WriteLine(dir.File("lorentz.qel"), lorentz, 3);  // gain factor 10
  test::WriteLine(dir.File("gauss.qel"), gauss, 0);
  const auto r = RunQel({"analyse", "--settings", settings, dir.File("lorentz.qel"), dir.File("gauss.qel"),
                         "--frequency", "9.4", "--csv", "-"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto rows = ParseCsv(r.out);
  ASSERT_EQ(rows.size(), 2u) << r.out;
  const test::Line* lines[] = {&lorentz, &gauss};
  const int factors[] = {10, 1};
  for (std::size_t i = 0; i < 2; ++i) {
    const auto& row = rows[i];
    const test::Line& line = *lines[i];
    SCOPED_TRACE(row.at("file"));
    EXPECT_EQ(row.at("error"), "");
    EXPECT_NEAR(N(row, "centre_field_Oe"), Field(line.CentreCode), kOePerCode);
    EXPECT_NEAR(N(row, "dHpp_Oe"), line.WidthCodes * kOePerCode, 2 * kOePerCode);
    // The maximum lies on the low-field side, half a width from the centre.
    EXPECT_NEAR(N(row, "max_code"), line.CentreCode - line.WidthCodes / 2, 2);
    EXPECT_NEAR(N(row, "min_code"), line.CentreCode + line.WidthCodes / 2, 2);
    EXPECT_NEAR(N(row, "max_field_Oe"), Field(N(row, "max_code")), 1e-4);
    // Peak to peak in ADC codes (the default unit), divided by the gain factor.
    EXPECT_NEAR(N(row, "amplitude_pp"), 2 * line.AmplitudeCodes / factors[i], 1.0 / factors[i]);
    EXPECT_NEAR(N(row, "max_amplitude"), line.AmplitudeCodes / factors[i], 0.5 / factors[i]);
    EXPECT_EQ(row.at("amplitude_unit"), "отсч");
    // g = 714.4773 * 9.4 / B, to five significant digits.
    const double g = 714.4773 * 9.4 / Field(line.CentreCode);
    EXPECT_NEAR(N(row, "g"), g, g * 5e-6);
    EXPECT_GT(N(row, "integral"), 0);
    EXPECT_EQ(row.at("integral_unit"), "отсч^3");
  }
}

TEST_F(Analyse, TheDoubleIntegralIsTheWindowsAndARangeNarrowsTheSearch) {
  test::Line a{test::DerivativeGaussian, 20000, 400, 1000, 10000, 50000};
  SpectrumStore store;
  test::WriteLine(dir.File("two.qel"), a);
  // A second, weaker line beside the first.
  ASSERT_TRUE(LoadSpectrum(store, dir.File("two.qel")));
  for (int i = 35000; i <= 45000; ++i) {
    const double u = (i - 40000.0) / 300;
    store.CurrentSpectrum[static_cast<std::size_t>(i)].Value =
        static_cast<std::uint16_t>(2048 + std::nearbyint(300 * test::DerivativeGaussian(u)));
  }
  SaveSpectrum(store, dir.File("two.qel"));

  const auto whole = RunQel({"analyse", "--settings", settings, dir.File("two.qel"), "--csv", "-"});
  const auto part = RunQel({"analyse", "--settings", settings, dir.File("two.qel"), "--from", "45000", "--to",
                            "35000", "--csv", "-"});
  ASSERT_EQ(whole.status, 0) << whole.err;
  ASSERT_EQ(part.status, 0) << part.err;
  EXPECT_NEAR(N(ParseCsv(whole.out)[0], "centre_field_Oe"), Field(20000), kOePerCode);
  const auto p = ParseCsv(part.out)[0];
  EXPECT_NEAR(N(p, "centre_field_Oe"), Field(40000), kOePerCode);
  EXPECT_NEAR(N(p, "amplitude_pp"), 600, 1);

  // The integral is the one "S=" shows for the same range.
  SpectrumStore again;
  ASSERT_TRUE(LoadSpectrum(again, dir.File("two.qel")));
  const double s = IntegralValue(again.CurrentSpectrum, 35000, 45000, 1);
  EXPECT_NEAR(N(p, "integral"), s, s * 1e-5);
}

TEST_F(Analyse, AFailedFileIsReportedAndTheOthersAreDoneOnEveryThreadCount) {
  test::Line line{test::DerivativeLorentzian, 30000, 500, 800};
  std::vector<std::string> args{"analyse", "--settings", settings, "--json"};
  for (int i = 0; i < 6; ++i) {
    line.CentreCode = 10000 + 7000 * i;
    // Appended, not `"f" + ...`: GCC 12 warns falsely about a literal put
    // before a string (-Wrestrict, GCC bug 105651).
    const std::string f = dir.File(std::string(1, 'f').append(std::to_string(i)).append(".qel"));
    test::WriteLine(f, line);
    args.push_back(f);
    if (i == 2) args.push_back(dir.File("нет такого.qel"));
  }
  const auto one = RunQel(args);
  args.insert(args.begin() + 1, {"--jobs", "3"});
  const auto three = RunQel(args);
  EXPECT_EQ(one.status, 1);
  EXPECT_EQ(three.status, 1);
  EXPECT_EQ(one.out, three.out);  // the same rows, in the order given
  EXPECT_NE(one.err.find("нет такого.qel"), std::string::npos) << one.err;
  EXPECT_EQ(std::count(one.out.begin(), one.out.end(), '\n'), 2 + 7) << one.out;
  EXPECT_NE(one.out.find("\"error\": \"Файл"), std::string::npos) << one.out;
  std::size_t nulls = 0;
  for (auto at = one.out.find("\"g\": null"); at != std::string::npos; at = one.out.find("\"g\": null", at + 1)) ++nulls;
  EXPECT_EQ(nulls, 6u) << "without a frequency no g";
  // The last file was still measured: its centre lies at code 45000.
  const auto at = one.out.rfind("\"centre_field\": ");
  ASSERT_NE(at, std::string::npos);
  EXPECT_NEAR(std::stod(one.out.substr(at + 16)), Field(45000), kOePerCode);
}

TEST_F(Analyse, TheCentreIsWhereAnUnevenLineCrossesTheZeroLine) {
  // The low extreme a third of the high one: the level midway between them
  // is crossed well before the zero line is.
  test::Line line{[](double u) { return u < 0 ? test::DerivativeLorentzian(u) : 0.3 * test::DerivativeLorentzian(u); },
                  30000, 800, 1000};
  test::WriteLine(dir.File("uneven.qel"), line);
  const auto r = RunQel({"analyse", "--settings", settings, dir.File("uneven.qel"), "--csv", "-"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NEAR(N(ParseCsv(r.out).at(0), "centre_field_Oe"), Field(30000), kOePerCode);
  // A frequency that is no number is refused; a centre at zero field has no g.
  const auto nan = RunQel({"analyse", "--settings", settings, dir.File("uneven.qel"), "--frequency", "nan"});
  EXPECT_EQ(nan.status, 1);
  EXPECT_NE(nan.err.find("--frequency"), std::string::npos) << nan.err;
  test::WriteLine(dir.File("zero.qel"), line, 0, 0, 0.0001);
  const auto zero = RunQel({"analyse", "--settings", settings, dir.File("zero.qel"), "--frequency", "9.5", "--json"});
  EXPECT_EQ(zero.out.find("nan"), std::string::npos) << zero.out;
}

TEST_F(Analyse, EveryLineOfATripletWithItsFitAndErrorBars) {
  // A 1:2:1 triplet of lines 1.4 Oe wide, 68.7 Oe apart, with noise of 3 codes.
  const double w = 1.4 / kOePerCode;
  const double centres[3] = {15000.2, 30000.5, 45000.7}, halves[3] = {500, 1000, 500};
  std::vector<test::Line> lines;
  for (int i = 0; i < 3; ++i) lines.push_back({test::DerivativeLorentzian, centres[i], w, halves[i]});
  test::WriteLines(dir.File("triplet.qel"), lines, 3.0);
  test::WriteSettings(settings, [](Settings&) {});

  // The single measure pairs extremes of different lines, and says so.
  const auto plain = RunQel({"analyse", "--settings", settings, dir.File("triplet.qel")});
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_NE(plain.err.find("в диапазоне 3 линии"), std::string::npos) << plain.err;
  EXPECT_NE(plain.err.find("qel analyse --lines"), std::string::npos) << plain.err;

  const auto r = RunQel({"analyse", "--settings", settings, dir.File("triplet.qel"), "--fit", "auto", "--frequency",
                         "9.4", "--csv", "-"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const auto rows = ParseCsv(r.out);
  ASSERT_EQ(rows.size(), 3u) << r.out;
  for (int i = 0; i < 3; ++i) {
    const auto& row = rows[static_cast<std::size_t>(i)];
    SCOPED_TRACE(i);
    EXPECT_EQ(row.at("line"), std::to_string(i + 1));
    EXPECT_EQ(row.at("lines"), "3");
    EXPECT_NEAR(N(row, "centre_field_Oe"), Field(centres[i]), 0.02 * 1.4);
    EXPECT_NEAR(N(row, "dHpp_Oe"), 1.4, 0.03 * 1.4);
    EXPECT_NEAR(N(row, "amplitude_pp"), 2 * halves[i], 0.03 * 2 * halves[i]);
    EXPECT_NEAR(N(row, "snr"), 2 * halves[i] / 3, 0.1 * 2 * halves[i] / 3);
    EXPECT_NEAR(N(row, "sigma"), 3, 0.15);
    EXPECT_EQ(row.at("cut_low") + row.at("cut_high") + row.at("overlaps"), "000");
    EXPECT_EQ(row.at("fit_shape"), "lorentz");
    EXPECT_EQ(row.at("fit_auto"), "1");
    EXPECT_NEAR(N(row, "fit_centre_field_Oe"), Field(centres[i]), 0.01 * 1.4);
    EXPECT_NEAR(N(row, "fit_dHpp_Oe"), 1.4, 0.01 * 1.4);
    EXPECT_NEAR(N(row, "fit_amplitude_pp"), 2 * halves[i], 0.01 * 2 * halves[i]);
    EXPECT_GT(N(row, "fit_centre_field_error_Oe"), 0);
    EXPECT_LT(N(row, "fit_centre_field_error_Oe"), 0.005);
    EXPECT_GT(N(row, "fit_dHpp_error_Oe"), 0);
    EXPECT_NEAR(N(row, "fit_reduced_chi2"), 1, 0.2);
    const double g = 714.4773 * 9.4 / Field(centres[i]);
    EXPECT_NEAR(N(row, "g"), g, g * 2e-5);
    EXPECT_NEAR(N(row, "fit_g"), g, g * 1e-5);
    EXPECT_NEAR(N(row, "fit_g_error"), g * N(row, "fit_centre_field_error_Oe") / Field(centres[i]), 1e-9);
    EXPECT_EQ(row.at("error"), "");
  }

  // Text: one line per line, the file on each; JSON: every field.
  const auto text = RunQel({"analyse", "--settings", settings, dir.File("triplet.qel"), "--lines", "--fit", "gauss"});
  ASSERT_EQ(text.status, 0) << text.err;
  std::istringstream in(text.out);
  int count = 0;
  for (std::string line; std::getline(in, line); ++count) {
    EXPECT_EQ(line.rfind(dir.File("triplet.qel") + ": линия " + std::to_string(count + 1) + " из 3: H0=", 0), 0u)
        << line;
    EXPECT_NE(line.find("; подгонка гаусс: H0="), std::string::npos) << line;
    EXPECT_NE(line.find("±"), std::string::npos) << line;
  }
  EXPECT_EQ(count, 3);
  const auto json = RunQel({"analyse", "--settings", settings, dir.File("triplet.qel"), "--fit", "lorentz", "--json"});
  ASSERT_EQ(json.status, 0) << json.err;
  for (const char* key : {"\"centre_field\": ", "\"dHpp\": ", "\"snr\": ", "\"cut_low\": false",
                          "\"overlaps\": false", "\"shape\": \"lorentz\"", "\"auto\": false", "\"dHpp_error\": ",
                          "\"amplitude_pp_error\": ", "\"reduced_chi2\": ", "\"g\": null"}) {
    std::size_t n = 0;
    for (std::size_t at = json.out.find(key); at != std::string::npos; at = json.out.find(key, at + 1)) ++n;
    EXPECT_GE(n, 3u) << key << "\n" << json.out;
  }
}

TEST_F(Analyse, ACutLineIsNamedAndFlagged) {
  // The minimum lies past the last point; the single measure takes the last point for it.
  test::WriteLines(dir.File("cut.qel"), {{test::DerivativeGaussian, 65519 - 100, 600, 800}}, 1.0);
  test::WriteSettings(settings, [](Settings&) {});
  const auto plain = RunQel({"analyse", "--settings", settings, dir.File("cut.qel")});
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_NE(plain.err.find("линия обрезана"), std::string::npos) << plain.err;
  EXPECT_EQ(plain.err.find("в диапазоне"), std::string::npos) << plain.err;
  const auto rows = ParseCsv(RunQel({"analyse", "--settings", settings, dir.File("cut.qel"), "--lines", "--csv", "-"}).out);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].at("cut_low"), "0");
  EXPECT_EQ(rows[0].at("cut_high"), "1");
  const auto json = RunQel({"analyse", "--settings", settings, dir.File("cut.qel"), "--lines", "--json"}).out;
  EXPECT_NE(json.find("\"cut_low\": false, \"cut_high\": true"), std::string::npos) << json;
  // The minimum right at the last point: with noise the smallest value lies
  // a few points inside, and the search's flag still names the cut.
  for (unsigned stream = 1; stream <= 6; ++stream) {
    test::WriteLines(dir.File("edge.qel"), {{test::DerivativeGaussian, 65519 - 300, 600, 800}}, 12.0, 0, 65519, stream);
    const auto edge = RunQel({"analyse", "--settings", settings, dir.File("edge.qel")});
    EXPECT_NE(edge.err.find("линия обрезана"), std::string::npos) << stream << edge.err;
  }
  // A weak line cut at the far end says nothing of the strong whole one measured.
  test::WriteLines(dir.File("far.qel"),
                   {{test::DerivativeGaussian, 30000, 600, 800}, {test::DerivativeGaussian, 65519 - 100, 600, 100}}, 1.0);
  const auto far = RunQel({"analyse", "--settings", settings, dir.File("far.qel")});
  EXPECT_EQ(far.err.find("линия обрезана"), std::string::npos) << far.err;
  EXPECT_NE(far.err.find("в диапазоне 2 линии"), std::string::npos) << far.err;
  // Cut at the low end, and a pair of lines, are named too; a range too
  // narrow for any line, whose extremes are always on its ends, is not.
  test::WriteLines(dir.File("low.qel"), {{test::DerivativeGaussian, 100, 600, 800}}, 1.0);
  EXPECT_NE(RunQel({"analyse", "--settings", settings, dir.File("low.qel")}).err.find("линия обрезана"),
            std::string::npos);
  test::WriteLines(dir.File("pair.qel"),
                   {{test::DerivativeGaussian, 20000, 600, 800}, {test::DerivativeGaussian, 40000, 600, 400}}, 1.0);
  EXPECT_NE(RunQel({"analyse", "--settings", settings, dir.File("pair.qel")}).err.find("в диапазоне 2 линии"),
            std::string::npos);
  EXPECT_EQ(RunQel({"analyse", "--settings", settings, dir.File("pair.qel"), "--from", "20000", "--to", "20003"}).err,
            "");
  // A whole single line gives no warning at all, and a range without lines says so.
  test::WriteLines(dir.File("whole.qel"), {{test::DerivativeGaussian, 30000, 600, 800}});
  const auto whole = RunQel({"analyse", "--settings", settings, dir.File("whole.qel")});
  EXPECT_EQ(whole.err, "");
  const auto none = RunQel({"analyse", "--settings", settings, dir.File("whole.qel"), "--from", "0", "--to", "10000",
                            "--lines"});
  EXPECT_EQ(none.status, 0);
  EXPECT_EQ(none.out, dir.File("whole.qel") + ": линий нет (шум 0.288675 отсч)\n");
  EXPECT_NE(RunQel({"analyse", "--settings", settings, dir.File("whole.qel"), "--fit", "voigt"}).status, 0);
}

TEST_F(Analyse, AHiddenLineIsToldOf) {
  // A line of the other phase 4 ΔHpp beside one: the search takes one, whose
  // fit leaves a residual far above the noise; every output says so.
  test::WriteSettings(settings, [](Settings&) {});
  test::WriteLines(dir.File("hidden.qel"),
                   {{test::DerivativeLorentzian, 30000, 600, 180}, {test::DerivativeLorentzian, 31200, 600, -180}}, 3.0);
  const auto plain = RunQel({"analyse", "--settings", settings, dir.File("hidden.qel")});
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(plain.err, "qel: " + dir.File("hidden.qel") +
                           ": предупреждение: остаток больше шума — рядом с линией скрыта ещё одна; см. qel analyse "
                           "--lines --fit auto\n");
  const auto text = RunQel({"analyse", "--settings", settings, dir.File("hidden.qel"), "--fit", "auto"});
  EXPECT_NE(text.out.find("; остаток больше шума\n"), std::string::npos) << text.out;
  const auto json = RunQel({"analyse", "--settings", settings, dir.File("hidden.qel"), "--fit", "auto", "--json"});
  EXPECT_NE(json.out.find("\"residual_above_noise\": true"), std::string::npos) << json.out;
  // A line alone: none of it.
  test::WriteLines(dir.File("alone.qel"), {{test::DerivativeLorentzian, 30000, 600, 180}}, 3.0);
  EXPECT_EQ(RunQel({"analyse", "--settings", settings, dir.File("alone.qel")}).err, "");
  const auto alone = RunQel({"analyse", "--settings", settings, dir.File("alone.qel"), "--fit", "auto", "--json"});
  EXPECT_NE(alone.out.find("\"residual_above_noise\": false"), std::string::npos) << alone.out;
}

TEST_F(Analyse, EmptyPointsStayOutOfTheFitAndAFailedFileKeepsTheColumns) {
  test::WriteSettings(settings, [](Settings&) {});
  // A gap across the maximum of the line: the points there are missing, not
  // held at the last value before the gap.
  test::WriteLines(dir.File("gap.qel"), {{test::DerivativeLorentzian, 30000, 300, 500}}, 2.0);
  SpectrumStore store;
  ASSERT_TRUE(LoadSpectrum(store, dir.File("gap.qel")));
  for (int i = 29700; i <= 29990; ++i) store.CurrentSpectrum[static_cast<std::size_t>(i)] = EmptyPoint;
  SaveSpectrum(store, dir.File("gap.qel"));
  const auto r = RunQel({"analyse", "--settings", settings, dir.File("gap.qel"), dir.File("missing.qel"), "--fit",
                         "lorentz", "--csv", "-"});
  EXPECT_EQ(r.status, 1);
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) {
    int commas = 0;
    bool quoted = false;
    for (const char c : line) {
      if (c == '"') quoted = !quoted;
      commas += c == ',' && !quoted;
    }
    EXPECT_EQ(commas, 28) << line;
  }
  const auto rows = ParseCsv(r.out);
  ASSERT_EQ(rows.size(), 2u) << r.out;
  EXPECT_NEAR(N(rows[0], "fit_centre_field_Oe"), Field(30000), 0.01 * 300 * kOePerCode);
  EXPECT_NEAR(N(rows[0], "fit_amplitude_pp"), 1000, 10);
  EXPECT_NE(rows[1].at("error").find("не найден"), std::string::npos);
  EXPECT_EQ(rows[1].at("fit_g_error"), "");
}

TEST(AnalysePlainNumbers, DecimalWithAPointNeverAnExponent) {
  EXPECT_EQ(cli::PlainDecimal(0.000012345678, 6), "0.0000123457");
  EXPECT_EQ(cli::PlainDecimal(123456789.0, 6), "123456789");
  EXPECT_EQ(cli::PlainDecimal(-2.5, 6), "-2.5");
  EXPECT_EQ(cli::PlainDecimal(3300, 8), "3300");
  EXPECT_EQ(cli::GFactor(9.5, 3390.0), 714.4773 * 9.5 / 3390.0);
}

}  // namespace qel
