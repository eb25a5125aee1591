#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "../model/test_dir.h"
#include "model/atomic_file.h"
#include "model/spectrum_file.h"
#include "model/units.h"
#include "qel/qel_cli.h"

namespace qel {

using test::Slurp;

namespace {
struct Result {
  int status;
  std::string out, err;
};
Result RunCli(std::vector<std::string> args) {
  std::ostringstream out, err;
  const int status = cli::Run(args, out, err);
  return {status, out.str(), err.str()};
}
}  // namespace

class QelCli : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDefaults(s);
    store.CurrentSpectrum[10] = {10, 2048};
    store.CurrentSpectrum[20] = {20, 3000};
    store.CurrentSpectrum[65519] = {65519, 100};
    s.Amplifying = 3;
    s.Rapid = 10;
    s.RazvUnits[3].X1 = 3200;
    s.RazvUnits[3].X2 = 3400;
    run.SerialNumber = 7;
    run.ProgramNumber = 2;
    run.AdcCode = 2048;
    run.PassesAveraged = 9;
    StampParameters(store, s, run);
    SaveSpectrum(store, file);
  }
  test::TempDir dir;
  std::string file = dir.File("s.qel");
  Settings s;
  RunValues run;
  SpectrumStore store;
};

TEST_F(QelCli, InfoDecodesTheParameterRecords) {
  const Result r = RunCli({"info", file});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Усиление: 10\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Скорость:  1 мин\n"), std::string::npos);
  EXPECT_NE(r.out.find("S/N: 7\n"), std::string::npos);
  EXPECT_NE(r.out.find("PR: 2\n"), std::string::npos);
  EXPECT_NE(r.out.find("Поле, Э: 3200.0 .. 3400.0\n"), std::string::npos);
  EXPECT_NE(r.out.find("Код АЦП: 2048\n"), std::string::npos);
  EXPECT_NE(r.out.find("Накоплений: 9\n"), std::string::npos);
  EXPECT_NE(r.out.find("Фильтр: 0\n"), std::string::npos);
  EXPECT_NE(r.out.find("Амплитуда модуляции, Э: 5\n"), std::string::npos);
  EXPECT_NE(r.out.find("Данные: 10 .. 65519, точек: 3\n"), std::string::npos);
}

TEST_F(QelCli, ExportUsesTheRecordedFieldRange) {
  const std::string out = dir.File("s.csv");
  const Result r = RunCli({"export", file, "-o", out});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(Slurp(out),
            "field_code,field_Oe,amplitude_code,signed_amplitude\n"
            "10,3200.0305,2048,0\n"
            "20,3200.0611,3000,952\n"
            "65519,3400.0000,100,-1948\n");
}

TEST_F(QelCli, ExportWithoutARecordedRangeUsesTheDefaultSweepUnit) {
  SpectrumStore plain;
  plain.CurrentSpectrum[65519] = {65519, 0};
  SaveSpectrum(plain, dir.File("p.qel"));
  const Result r = RunCli({"export", dir.File("p.qel")});
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "field_code,field_Oe,amplitude_code,signed_amplitude\n65519,3300.0000,0,-2048\n");
}

TEST_F(QelCli, FailuresSayOneLineAndLeaveNoOutput) {
  Result r = RunCli({"info", dir.File("missing.qel")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("missing.qel"), std::string::npos);
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);

  {
    std::ofstream big(dir.File("big.qel"), std::ios::binary);
    big << std::string(262148, '\0');
  }
  const std::string out = dir.File("out.csv");
  r = RunCli({"export", dir.File("big.qel"), "-o", out});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("big.qel"), std::string::npos);
  EXPECT_FALSE(PathExists(out));

  r = RunCli({"export", file, "-o", dir.File("no/such/dir.csv")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no/such/dir.csv"), std::string::npos);

  // One bad file among good ones: the good ones are still described.
  r = RunCli({"info", dir.File("missing.qel"), file});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("S/N: 7"), std::string::npos);
}

TEST_F(QelCli, UsageAndHelp) {
  Result r = RunCli({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("qel info"), std::string::npos);
  EXPECT_NE(r.out.find("qel export"), std::string::npos);
  EXPECT_EQ(RunCli({}).status, 1);
  EXPECT_EQ(RunCli({"frobnicate"}).status, 1);
  EXPECT_EQ(RunCli({"export"}).status, 1);
  EXPECT_EQ(RunCli({"export", file, "-o"}).status, 1);
}

TEST_F(QelCli, EachCommandHasItsHelpAndBadOptionsSayWhatIsWrongInRussian) {
  for (const char* cmd : {"info", "export", "analyse"}) {
    const Result r = RunCli({cmd, "--help"});
    EXPECT_EQ(r.status, 0) << cmd;
    EXPECT_NE(r.out.find(std::string("Использование: qel ") + cmd), std::string::npos) << r.out;
  }
  EXPECT_NE(RunCli({"export", "--help"}).out.find("последней\nзаписанной точки"), std::string::npos)
      << "the rule for empty points is in the help";
  struct Case {
    std::vector<std::string> args;
    std::string says;
  } cases[] = {
      {{"frobnicate"}, "неизвестная команда \"frobnicate\""},
      {{"info", "--bogus", file}, "неизвестный параметр \"--bogus\""},
      {{"export", file, "--format", "xml"}, "неверное значение параметра --format"},
      {{"analyse", file, "--jobs", "two"}, "неверное значение параметра --jobs"},
      {{"analyse", file, "--from", "10"}, "--from требует --to"},
      {{"analyse", file, "--json", "--csv", "x.csv"}, "несовместимы"},
      {{"analyse"}, "не указан аргумент ФАЙЛ"},
  };
  for (const Case& c : cases) {
    const Result r = RunCli(c.args);
    EXPECT_EQ(r.status, 1) << c.says;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.out, "");
  }
  // Without the toolkit's drawing there is no plot command.
  EXPECT_NE(RunCli({"plot", file, "-o", "x.png"}).err.find("неизвестная команда"), std::string::npos);
}

}  // namespace qel
