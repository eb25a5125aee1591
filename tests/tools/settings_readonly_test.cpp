// The command line reads the operator's settings and never writes them.

#include <gtest/gtest.h>


#include <algorithm>
#include <filesystem>

#include "model/atomic_file.h"
#include "spectra.h"

namespace qel {

using test::RunQel;
using test::Slurp;

namespace {
std::vector<std::string> Listing(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}
}  // namespace

class ReadOnlySettings : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::create_directory(test::FsPath(dir.File("cfg"))));
    test::WriteLine(dir.File("s.qel"), {test::DerivativeLorentzian, 30000, 600, 900}, 2);
  }
  // Every command that reads the settings, on the settings file at `path`.
  std::vector<test::CliResult> RunAll(const std::string& path) {
    return {RunQel({"analyse", "--settings", path, dir.File("s.qel")}),
            RunQel({"export", "--settings", path, "--format", "bes3t", dir.File("s.qel"), "-o", dir.File("b")})};
  }
  test::TempDir dir;
  std::string cfg = dir.File("cfg/1.0.reg");
};

TEST_F(ReadOnlySettings, AValidFileIsUsedAndLeftAsItWas) {
  test::WriteSettings(cfg, [](Settings& s) { s.AmpUnit = 1; });
  const std::string before = Slurp(cfg);
  const auto mtime = std::filesystem::last_write_time(cfg);
  const auto results = RunAll(cfg);
  for (const auto& r : results) EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(results[0].out.find(" В;"), std::string::npos) << "amplitudes in volts: " << results[0].out;
  EXPECT_EQ(Slurp(cfg), before);
  EXPECT_EQ(std::filesystem::last_write_time(cfg), mtime);
  EXPECT_EQ(Listing(dir.File("cfg")), std::vector<std::string>{"1.0.reg"});
}

TEST_F(ReadOnlySettings, ADamagedFileStaysWhereItIsAndTheDefaultsAreUsed) {
  const std::string damaged = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvor\\Qel\\1.0]\n\"AmpUnit\"=dword:zz\n";
  {
    std::ofstream f(cfg, std::ios::binary);
    f << damaged;
  }
  for (const auto& r : RunAll(cfg)) {
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("по умолчанию"), std::string::npos) << r.err;
  }
  EXPECT_EQ(Slurp(cfg), damaged);
  EXPECT_EQ(Listing(dir.File("cfg")), std::vector<std::string>{"1.0.reg"}) << "nothing moved aside";
}

TEST_F(ReadOnlySettings, AMissingFileIsNotCreated) {
  // Named on the command line and not there: a word about it, and the defaults.
  for (const auto& r : RunAll(cfg)) {
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("\"" + cfg + "\" не найден"), std::string::npos) << r.err;
  }
  EXPECT_TRUE(Listing(dir.File("cfg")).empty());
}

}  // namespace qel
