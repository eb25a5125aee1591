#include <gtest/gtest.h>

#include <limits>

#include <filesystem>

#include "model/atomic_file.h"
#include "model/auto_save.h"
#include "model/reg_file_store.h"
#include "model/spectrum_file.h"
#include "recorder.h"
#include "test_dir.h"

namespace qel {

TEST(AutoSaveName, PadsToEightDigitsAndReplacesSeparators) {
  EXPECT_EQ(AutoSaveName("Спектр", 1), "Спектр00000001");
  EXPECT_EQ(AutoSaveName("run 1.5,a/b*c", 42), "run_1_5_a_b_c00000042");
  EXPECT_EQ(AutoSaveName("x", 123456789), "x123456789");
  EXPECT_EQ(AutoSaveName("x\\y", -5), "x_y-00000005");
  EXPECT_EQ(AutoSaveName("a:b?", 0), "a:b?00000000");  // nothing else is changed
}

TEST(AutoSaveName, FullPathJoinsTheWorkingFolder) {
  Settings s;
  SetDefaults(s);
#ifdef _WIN32
  s.WorkDir = "C:\\Data";
  EXPECT_EQ(AutoSavePath(s, s.NumbMask), "C:\\Data\\Спектр00000001.qel");
  // A folder kept with its closing separator, as the file dialogs keep it.
  s.WorkDir = "C:\\Data\\";
  EXPECT_EQ(AutoSavePath(s, s.NumbMask), "C:\\Data\\Спектр00000001.qel");
  s.WorkDir = "C:\\";
  EXPECT_EQ(AutoSavePath(s, s.NumbMask), "C:\\Спектр00000001.qel");
#else
  s.WorkDir = "/data";
  EXPECT_EQ(AutoSavePath(s, s.NumbMask), "/data/Спектр00000001.qel");
  // A folder kept with its closing separator, as the file dialogs keep it.
  s.WorkDir = "/data/";
  EXPECT_EQ(AutoSavePath(s, s.NumbMask), "/data/Спектр00000001.qel");
  s.WorkDir = "saves//";
  EXPECT_EQ(AutoSavePath(s, s.NumbMask), "saves/Спектр00000001.qel");
  s.WorkDir = "/";
  EXPECT_EQ(AutoSavePath(s, s.NumbMask), "/Спектр00000001.qel");
#endif
}

class AutoSave : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDefaults(s);
    s.WorkDir = dir.Path();
    s.AutoSave = true;
  }
  AutoSaveResult Step() { return AutoSaveStep(store, s, run, countdown, &settingsStore, view); }

  test::TempDir dir;
  Settings s;
  RunValues run;
  SpectrumStore store;
  test::ViewRecorder view;
  std::int32_t countdown = 0;
  RegFileStore settingsStore{dir.File("1.0.reg")};
};

TEST_F(AutoSave, OffClearsPanelEightAndSavesNothing) {
  s.AutoSave = false;
  view.panels[8] = "АВТО";
  EXPECT_EQ(Step().Outcome, AutoSaveResult::Off);
  EXPECT_EQ(view.panels[8], "");
  EXPECT_EQ(s.NumbMask, 1);
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST_F(AutoSave, EverySecondSpectrumWithSaveStepTwo) {
  s.SaveStep = 2;
  std::vector<AutoSaveResult::Kind> outcomes;
  for (int i = 0; i < 4; ++i) outcomes.push_back(Step().Outcome);
  EXPECT_EQ(outcomes, (std::vector<AutoSaveResult::Kind>{AutoSaveResult::Saved, AutoSaveResult::Skipped,
                                                           AutoSaveResult::Saved, AutoSaveResult::Skipped}));
  EXPECT_EQ(s.NumbMask, 3);
  EXPECT_EQ(view.panels[8], "АВТО");
  EXPECT_TRUE(PathExists(dir.File("Спектр00000001.qel")));
  EXPECT_TRUE(PathExists(dir.File("Спектр00000002.qel")));
  EXPECT_FALSE(PathExists(dir.File("Спектр00000003.qel")));
}

TEST_F(AutoSave, CountdownWithSaveStepThree) {
  s.SaveStep = 3;
  EXPECT_EQ(Step().Outcome, AutoSaveResult::Saved);
  EXPECT_EQ(countdown, 2);
  EXPECT_EQ(Step().Outcome, AutoSaveResult::Skipped);
  EXPECT_EQ(countdown, 1);
  EXPECT_EQ(Step().Outcome, AutoSaveResult::Skipped);
  EXPECT_EQ(countdown, 0);
  EXPECT_EQ(Step().Outcome, AutoSaveResult::Saved);
  EXPECT_EQ(s.NumbMask, 3);
}

TEST_F(AutoSave, SavedSpectrumCarriesItsParameters) {
  store.CurrentSpectrum[100] = {100, 3000};
  s.Amplifying = 4;
  const AutoSaveResult r = Step();
  ASSERT_EQ(r.Outcome, AutoSaveResult::Saved);
  SpectrumStore loaded;
  ASSERT_TRUE(LoadSpectrum(loaded, r.Path));
  EXPECT_EQ(loaded.CurrentSpectrum[100], (SpectrumPoint{100, 3000}));
  EXPECT_EQ(loaded.CurrentSpectrum[65534], (SpectrumPoint{4, TagGain}));
}

// The folder as the file dialogs keep it, with its closing separator: the
// file and the path the step reports have one separator, the setting keeps its own.
TEST_F(AutoSave, FolderEndingInASeparatorGivesOneSeparator) {
  const std::string folder = dir.Path() + PathSeparator;
  s.WorkDir = folder;
  const AutoSaveResult r = Step();
  ASSERT_EQ(r.Outcome, AutoSaveResult::Saved);
  EXPECT_EQ(r.Path, dir.File("Спектр00000001.qel"));
  EXPECT_TRUE(PathExists(dir.File("Спектр00000001.qel")));
  EXPECT_EQ(s.WorkDir, folder);
}

TEST_F(AutoSave, NumberIsStoredAfterEverySave) {
  Step();
  Step();
  RegFileStore again(dir.File("1.0.reg"));
  ASSERT_TRUE(again.OpenKey("", false));
  EXPECT_EQ(again.ReadInteger("NumbMask"), 3);  // a crash now cannot reuse 1 or 2
}

TEST_F(AutoSave, FailedSaveChangesNoCounter) {
  s.WorkDir = dir.File("vanished");
  s.SaveStep = 3;
  const AutoSaveResult r = Step();
  EXPECT_EQ(r.Outcome, AutoSaveResult::Failed);
  EXPECT_NE(r.Error.find(std::string("vanished") + PathSeparator + "Спектр00000001.qel"), std::string::npos) << r.Error;
  EXPECT_EQ(s.NumbMask, 1);
  EXPECT_EQ(countdown, 0);
  EXPECT_FALSE(PathExists(dir.File("1.0.reg")));
}

TEST_F(AutoSave, TheLastNumberIsNeverUsed) {
  // Saving under it would leave NumbMask nowhere to go: the next save would
  // reuse a number.
  s.NumbMask = std::numeric_limits<std::int32_t>::max();
  const AutoSaveResult r = Step();
  EXPECT_EQ(r.Outcome, AutoSaveResult::Failed);
  EXPECT_TRUE(r.NoNumber);
  EXPECT_NE(r.Error.find("2147483647"), std::string::npos) << r.Error;
  EXPECT_EQ(s.NumbMask, std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(countdown, 0);
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST_F(AutoSave, OutOfRangeSaveStepNeverStopsSaving) {
  s.SaveStep = 0;  // a bad stored value: used as 1
  Step();
  EXPECT_EQ(countdown, 0);
  EXPECT_EQ(Step().Outcome, AutoSaveResult::Saved);
}

TEST(FreeSpace, TextNamesTheFileSystem) {
#ifdef _WIN32
  const std::string root = "C:\\";  // Windows names a volume by its root folder
#else
  const std::string root = "/";
#endif
  const std::string text = FreeSpaceText(root);
  EXPECT_EQ(text.rfind("На диске " + root + " осталось ", 0), 0u) << text;
  EXPECT_EQ(text.substr(text.size() - 11), " Мбайт");
  EXPECT_GT(FreeMegabytes(root), 0);
  // A folder that is gone (a working folder deleted since) is still on its
  // file system or drive.
  EXPECT_NEAR(FreeMegabytes(root + "nonexistent-qel"), FreeMegabytes(root), 16);
  EXPECT_EQ(FreeSpaceText(root + "nonexistent-qel").rfind("На диске " + root + " осталось ", 0), 0u);
#ifdef _WIN32
  EXPECT_EQ(FreeMegabytes("Q:\\"), 0);  // a drive that is not there cannot be asked
#else
  EXPECT_EQ(FreeMegabytes(""), 0);  // nor can no folder at all
  EXPECT_NEAR(FreeMegabytes("nonexistent-qel"), FreeMegabytes("."), 16);  // relative: the current folder's
#endif
}

}  // namespace qel
