#include <gtest/gtest.h>

#include <fstream>
#include <random>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "model/atomic_file.h"
#include "model/spectrum_file.h"
#include "model/units.h"
#include "recorder.h"
#include "test_dir.h"

namespace qel {

using test::Slurp;
using test::Spit;

namespace {
std::string Rec(std::uint16_t code, std::uint16_t value) {
  return {static_cast<char>(code & 0xFF), static_cast<char>(code >> 8), static_cast<char>(value & 0xFF),
          static_cast<char>(value >> 8)};
}
}  // namespace

class SpectrumFile : public ::testing::Test {
 protected:
  void SetUp() override { SetDefaults(s); }
  test::TempDir dir;
  Settings s;
  RunValues run;
  SpectrumStore store;
  test::ViewRecorder view;
};

TEST_F(SpectrumFile, ClearedSpectrumSavesTheTenParameterRecords) {
  StampParameters(store, s, run);
  SaveSpectrum(store, dir.File("a.qel"));
  const std::string bytes = Slurp(dir.File("a.qel"));
  ASSERT_EQ(bytes.size(), 40u);
  EXPECT_EQ(bytes.substr(36), Rec(0, TagGain));  // slot 65535 last
  EXPECT_EQ(bytes.substr(0, 4), Rec(0, TagModAmplitude));  // slot 65526 first
}

TEST_F(SpectrumFile, EmptyFileLoadsAnEmptySpectrum) {
  store.CurrentSpectrum[5] = {5, 100};
  Spit(dir.File("e.qel"), "");
  EXPECT_TRUE(LoadSpectrum(store, dir.File("e.qel")));
  for (std::size_t i = 0; i < SpectrumSize; ++i) ASSERT_EQ(store.CurrentSpectrum[i], EmptyPoint);
}

TEST_F(SpectrumFile, TrailingBytesAreIgnored) {
  Spit(dir.File("t.qel"), Rec(3, 100) + Rec(4, 200) + "\x01\x02");
  ASSERT_TRUE(LoadSpectrum(store, dir.File("t.qel")));
  EXPECT_EQ(store.CurrentSpectrum[3], (SpectrumPoint{3, 100}));
  EXPECT_EQ(store.CurrentSpectrum[4], (SpectrumPoint{4, 200}));
  EXPECT_EQ(store.BackupSpectrum[0], (SpectrumPoint{3, 100}));  // the records as read
  EXPECT_EQ(store.BackupSpectrum[2], EmptyPoint);
}

TEST_F(SpectrumFile, RecordsArePlacedByContentTheLaterWinning) {
  Spit(dir.File("p.qel"), Rec(7, 300) + Rec(100, 5000) + Rec(7, 400) + Rec(9, 0xFFFE) + Rec(1, 0xFFF2) +
                              Rec(65000, 4095) + Rec(200, 4096) + Rec(3, 0xFFFF));
  ASSERT_TRUE(LoadSpectrum(store, dir.File("p.qel")));
  EXPECT_EQ(store.CurrentSpectrum[7], (SpectrumPoint{7, 400}));
  EXPECT_EQ(store.CurrentSpectrum[100], EmptyPoint);  // a processed point is dropped
  EXPECT_EQ(store.CurrentSpectrum[0xFFFE], (SpectrumPoint{9, 0xFFFE}));
  EXPECT_EQ(store.CurrentSpectrum[0xFFF2], (SpectrumPoint{1, 0xFFF2}));  // reserved tag, filed under it
  EXPECT_EQ(store.CurrentSpectrum[65000], (SpectrumPoint{65000, 4095}));  // the largest data value
  EXPECT_EQ(store.CurrentSpectrum[200], EmptyPoint);  // 4096 is the first processed value
  EXPECT_EQ(store.CurrentSpectrum[3], EmptyPoint);
}

// The edges of the classes: a data point at the top field code is placed; a
// processed value, the smallest (4096) or the largest (65519), is dropped and
// never filed under its value as a parameter record is.
TEST_F(SpectrumFile, TopCodeIsPlacedAndProcessedValuesAreNotFiledUnderTheirValue) {
  Spit(dir.File("edges.qel"), Rec(65519, 300) + Rec(400, 65519) + Rec(500, 4096));
  ASSERT_TRUE(LoadSpectrum(store, dir.File("edges.qel")));
  EXPECT_EQ(store.CurrentSpectrum[65519], (SpectrumPoint{65519, 300}));
  EXPECT_EQ(store.CurrentSpectrum[400], EmptyPoint);
  EXPECT_EQ(store.CurrentSpectrum[500], EmptyPoint);
  EXPECT_EQ(store.CurrentSpectrum[4096], EmptyPoint);
}

// A file of exactly 65536 records: the last one is placed like the others.
TEST_F(SpectrumFile, LastRecordOfAFullFileIsPlaced) {
  std::string bytes;
  for (int i = 0; i < 65535; ++i) bytes += Rec(0, 100);
  bytes += Rec(7, 3000);
  ASSERT_EQ(bytes.size(), 262144u);
  Spit(dir.File("full.qel"), bytes);
  ASSERT_TRUE(LoadSpectrum(store, dir.File("full.qel")));
  EXPECT_EQ(store.CurrentSpectrum[7], (SpectrumPoint{7, 3000}));
  EXPECT_EQ(store.CurrentSpectrum[0], (SpectrumPoint{0, 100}));
  EXPECT_EQ(store.BackupSpectrum[65535], (SpectrumPoint{7, 3000}));
}

TEST_F(SpectrumFile, StampedGainRecordComesBackOneSlotLower) {
  s.Amplifying = 6;
  StampParameters(store, s, run);
  SaveSpectrum(store, dir.File("g.qel"));
  ASSERT_TRUE(LoadSpectrum(store, dir.File("g.qel")));
  EXPECT_EQ(store.CurrentSpectrum[65534], (SpectrumPoint{6, TagGain}));
  EXPECT_EQ(store.CurrentSpectrum[65535], EmptyPoint);
  // Saving again without a new stamp writes it from there.
  SaveSpectrum(store, dir.File("g2.qel"));
  const std::string bytes = Slurp(dir.File("g2.qel"));
  EXPECT_EQ(bytes.substr(bytes.size() - 4), Rec(6, TagGain));
  EXPECT_EQ(bytes.size(), 40u);
}

TEST_F(SpectrumFile, FullSpectrumRoundTrip) {
  std::mt19937 rng(7);
  for (std::uint16_t x = 0; x <= MaxFieldCode; ++x)
    store.CurrentSpectrum[x] = {x, static_cast<std::uint16_t>(rng() % 4096)};
  s.Amplifying = 2;
  s.Rapid = 5;
  run.SerialNumber = 9;
  run.AdcCode = 4000;
  run.PassesAveraged = 3;
  StampParameters(store, s, run);
  const SpectrumBuffer saved = store.CurrentSpectrum;
  SaveSpectrum(store, dir.File("full.qel"));
  EXPECT_EQ(Slurp(dir.File("full.qel")).size(), (65520u + 10u) * 4);
  SpectrumStore other;
  ASSERT_TRUE(LoadSpectrum(other, dir.File("full.qel")));
  for (std::uint16_t x = 0; x <= MaxFieldCode; ++x) ASSERT_EQ(other.CurrentSpectrum[x], saved[x]);
  Settings t;
  SetDefaults(t);
  RunValues r;
  ApplyParameters(other, t, r, view, ",");
  EXPECT_EQ(t.Amplifying, 2);
  EXPECT_EQ(t.Rapid, 5);
  EXPECT_EQ(view.panels[6], "S/N: 9");
  EXPECT_EQ(r.AdcCode, 4000);
  EXPECT_EQ(r.PassesAveraged, 3);
  // A spectrum without the record was one pass: the next save says so.
  SpectrumStore bare;
  ApplyParameters(bare, t, r, view, ",");
  EXPECT_EQ(r.PassesAveraged, 1);
}

TEST_F(SpectrumFile, FieldRangeSurvivesAsTenthsModulo65536) {
  s.RazvUnits[3].X2 = 7000;
  StampParameters(store, s, run);
  SaveSpectrum(store, dir.File("f.qel"));
  ASSERT_TRUE(LoadSpectrum(store, dir.File("f.qel")));
  ApplyParameters(store, s, run, view, ",");
  EXPECT_DOUBLE_EQ(s.RazvUnits[3].X2, 446.4);
}

TEST_F(SpectrumFile, MissingFileChangesNothing) {
  store.CurrentSpectrum[5] = {5, 100};
  store.BackupSpectrum[5] = {5, 99};
  EXPECT_FALSE(LoadSpectrum(store, dir.File("none.qel")));
  EXPECT_FALSE(LoadSpectrum(store, dir.File("no-folder/none.qel")));
  Spit(dir.File("file.qel"), Rec(5, 1));  // a file where a folder would be
  EXPECT_FALSE(LoadSpectrum(store, dir.File("file.qel/none.qel")));
  EXPECT_EQ(store.CurrentSpectrum[5], (SpectrumPoint{5, 100}));
  EXPECT_EQ(store.BackupSpectrum[5], (SpectrumPoint{5, 99}));
}

TEST_F(SpectrumFile, UnreadableOrOversizeFileLeavesEverythingAsItWas) {
  store.CurrentSpectrum[5] = {5, 100};
  store.BackupSpectrum[6] = {6, 99};
  std::filesystem::create_directory(dir.File("folder.qel"));
  EXPECT_THROW(LoadSpectrum(store, dir.File("folder.qel")), FileError);
  Spit(dir.File("big.qel"), std::string(262144 + 4, '\0'));
  try {
    LoadSpectrum(store, dir.File("big.qel"));
    FAIL() << "oversize file loaded";
  } catch (const FileError& e) {
    EXPECT_NE(std::string(e.what()).find(dir.File("big.qel")), std::string::npos);
  }
#ifndef _WIN32
  // A device has no size to check first: the read itself stops one byte past
  // the largest file. (Devices, links and pipes are POSIX's here; Windows
  // refuses its devices, in WinFiles.DevicesAndHugeFilesAreRefused.)
  try {
    LoadSpectrum(store, "/dev/zero");
    FAIL() << "endless device loaded";
  } catch (const FileError& e) {
    EXPECT_NE(std::string(e.what()).find("\"/dev/zero\" не загружен"), std::string::npos) << e.what();
  }
  // A name that cannot be looked up is an error, not a missing file.
  std::filesystem::create_symlink("loop.qel", dir.File("loop.qel"));
  EXPECT_THROW(LoadSpectrum(store, dir.File("loop.qel")), FileError);
#endif
  EXPECT_EQ(store.CurrentSpectrum[5], (SpectrumPoint{5, 100}));
  EXPECT_EQ(store.BackupSpectrum[6], (SpectrumPoint{6, 99}));
#ifndef _WIN32
  // A pipe nobody writes to is read to its end at once, never waited on.
  ASSERT_EQ(::mkfifo(dir.File("pipe.qel").c_str(), 0600), 0);
  EXPECT_TRUE(LoadSpectrum(store, dir.File("pipe.qel")));
  EXPECT_EQ(store.CurrentSpectrum[5], EmptyPoint);
#endif
  // 65536 records and a few trailing bytes still fit.
  Spit(dir.File("max.qel"), std::string(262144 + 3, '\0'));
  EXPECT_TRUE(LoadSpectrum(store, dir.File("max.qel")));
  EXPECT_EQ(store.CurrentSpectrum[0], (SpectrumPoint{0, 0}));
}

TEST_F(SpectrumFile, FailedSaveKeepsTheOldFileByteIdentical) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX only: the write is made to fail with RLIMIT_FSIZE; on Windows see WinFiles.FailedWriteLeavesTheOldFileWhole";
#else
  const std::string path = dir.File("night.qel");
  store.CurrentSpectrum[1] = {1, 2048};
  SaveSpectrum(store, path);
  const std::string old = Slurp(path);
  for (std::uint16_t x = 0; x < 1000; ++x) store.CurrentSpectrum[x] = {x, 1};
  std::string error;
  test::WithFileSizeLimit(64, [&] {
    try {
      SaveSpectrum(store, path);
    } catch (const FileError& e) {
      error = e.what();
    }
  });
  EXPECT_NE(error.find(path), std::string::npos) << error;
  EXPECT_EQ(Slurp(path), old);
#endif
}

TEST_F(SpectrumFile, SaveIntoAMissingFolderNamesTheFile) {
  try {
    SaveSpectrum(store, dir.File("gone/x.qel"));
    FAIL();
  } catch (const FileError& e) {
    EXPECT_NE(std::string(e.what()).find("gone/x.qel"), std::string::npos);
  }
}

TEST_F(SpectrumFile, AnyBytesLoadWithoutHarm) {
  std::mt19937 rng(11);
  for (int round = 0; round < 50; ++round) {
    std::string bytes(rng() % 2000, '\0');
    for (char& c : bytes) c = static_cast<char>(rng());
    PlaceRecords(store, bytes);
    ApplyParameters(store, s, run, view, ",");
    EXPECT_LT(s.Amplifying, 8);
    EXPECT_LT(s.Rapid, 12);
  }
}

}  // namespace qel
