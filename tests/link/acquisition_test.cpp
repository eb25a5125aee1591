#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <random>

#include "../model/test_dir.h"
#include "fakes.h"
#include "model/atomic_file.h"
#include "model/reg_file_store.h"
#include "model/spectrum_file.h"

namespace qel {

using test::LinkRig;

class Acquire : public ::testing::Test, public LinkRig {
 protected:
  void SetUp() override {
    s.WorkDir = dir.Path();
    Start();
    CompleteHandshake();
  }
  void Point(std::uint16_t x, std::uint16_t y) {
    port.FeedTelegram(2, LinkRig::Point(x, y, 0x01, speedStatus));
    Pump();
  }
  void PassStart() {
    port.FeedTelegram(3, {0xFF, 0xEF, 0, 0, 0, 0});
    Pump();
  }
  std::uint16_t V(std::size_t i) const { return store.CurrentSpectrum[i].Value; }

  test::TempDir dir;
  std::uint8_t speedStatus = 0x08;  // " 1 мин": one point per telegram
};

TEST_F(Acquire, PointsAreStoredDrawnAndTheSweepMarkMoves) {
  Point(100, 2100);
  EXPECT_EQ(store.CurrentSpectrum[100], (SpectrumPoint{100, 2100}));
  EXPECT_EQ(ui.plotted, (std::vector<std::uint16_t>{100}));
  EXPECT_EQ(ui.lastSweep, 100);
  EXPECT_EQ(link.Flags.CurrentCode, 101);
  Point(65520, 2000);  // above the field range: only the status bytes count
  EXPECT_EQ(ui.plotted.size(), 1u);
  EXPECT_EQ(store.CurrentSpectrum[65520], EmptyPoint);
}

TEST_F(Acquire, FourPointsPerTelegram) {
  speedStatus = 0x06;  // " 8 мин": 4
  Point(100, 2100);
  for (std::size_t i = 100; i <= 103; ++i) EXPECT_EQ(store.CurrentSpectrum[i], (SpectrumPoint{static_cast<std::uint16_t>(i), 2100}));
  EXPECT_EQ(store.CurrentSpectrum[104], EmptyPoint);
  Point(101, 2200);
  EXPECT_EQ(V(100), 2100);
  for (std::size_t i = 101; i <= 104; ++i) EXPECT_EQ(V(i), 2200);
  Point(65519, 2300);
  for (std::size_t i = 65519; i <= 65522; ++i) EXPECT_EQ(store.CurrentSpectrum[i], (SpectrumPoint{static_cast<std::uint16_t>(i), 2300}));
  EXPECT_EQ(store.CurrentSpectrum[65523], EmptyPoint);
  EXPECT_EQ(link.Flags.CurrentCode, 65523);
}

TEST_F(Acquire, ValueAboveTheRangeLeavesNoParameterRecord) {
  s.EnableRTLPF = true;
  s.EnableRTSum = true;
  s.ShowFirst = true;
  PassStart();
  speedStatus = 0x06;
  Point(200, 0xFFFA);
  for (std::size_t i = 200; i <= 203; ++i) EXPECT_EQ(store.CurrentSpectrum[i], EmptyPoint);
  EXPECT_EQ(store.RawSpectrum[200], 0);
  EXPECT_EQ(store.AccumSpectrum[200], 0.0f);
  EXPECT_EQ(link.Flags.CurrentCode, 204);
  Point(204, 1000);
  EXPECT_EQ(V(204), 1000);  // the filter did not take the bad value: first point unchanged
  StampParameters(store, s, run);
  SaveSpectrum(store, dir.File("x.qel"));
  SpectrumStore loaded;
  LoadSpectrum(loaded, dir.File("x.qel"));
  EXPECT_EQ(loaded.CurrentSpectrum[0xFFFA].Code, 30000);  // the real field record, not the point
}

// At the top of the sweep a value out of range empties every code the
// telegram covers, 65519 to 65522, as one in range fills them.
TEST_F(Acquire, ValueAboveTheRangeAtTheTopCodeEmptiesAllFourPoints) {
  speedStatus = 0x06;  // " 8 мин": 4
  Point(65519, 2300);
  Point(65519, 65520);
  for (std::size_t i = 65519; i <= 65522; ++i) EXPECT_EQ(store.CurrentSpectrum[i], EmptyPoint) << i;
  EXPECT_EQ(store.CurrentSpectrum[65523], EmptyPoint);
  EXPECT_EQ(link.Flags.CurrentCode, 65523);
}

TEST_F(Acquire, FilterStartsWithTheMeanOfTheFirstPoints) {
  s.EnableRTLPF = true;
  s.RTLPFConst = 25;
  PassStart();
  EXPECT_EQ(ui.panels[9], "ФИЛЬТР [25]");
  Point(10, 2000);
  EXPECT_EQ(V(10), 2000);
  Point(11, 2011);
  EXPECT_EQ(V(11), 2006);  // mean 2005.5, halves to even
  Point(12, 2000);
  EXPECT_EQ(V(12), 2004);  // 6011 / 3 = 2003.67
  s.EnableRTLPF = false;
  PassStart();
  EXPECT_EQ(ui.panels[9], "");
  Point(10, 3000);
  EXPECT_EQ(V(10), 3000);
}

TEST_F(Acquire, FilterTurnsRecursivePastItsConstant) {
  s.EnableRTLPF = true;
  s.RTLPFConst = 25;
  PassStart();
  // The mean of the first 25 points, then weight 1/25; float32 state,
  // extended-precision steps, halves to even.
  std::mt19937 rng(25);
  float avg = 0;
  int n = 0;
  for (std::uint16_t x = 0; x < 1000; ++x) {
    const auto y = static_cast<std::uint16_t>(rng() % 4096);
    Point(x, y);
    if (n < 25) ++n;
    avg = static_cast<float>(avg + (static_cast<long double>(y) - avg) / n);
    ASSERT_EQ(V(x), static_cast<std::uint16_t>(std::nearbyint(static_cast<long double>(avg)))) << x;
  }
}

TEST_F(Acquire, ShowFirstKeepsTheRawValue) {
  s.EnableRTLPF = true;
  s.ShowFirst = true;
  PassStart();
  Point(10, 2000);
  Point(11, 3000);
  EXPECT_EQ(store.RawSpectrum[11], 3000);
  EXPECT_EQ(V(11), 2500);
}

TEST_F(Acquire, AccumulationIsARunningMeanAcrossPasses) {
  s.EnableRTSum = true;
  s.RTNumb = 9;
  PassStart();
  EXPECT_EQ(ui.panels[10], "НАКОПЛ [1 из 9]");
  Point(50, 2000);
  EXPECT_EQ(V(50), 2000);
  PassStart();
  EXPECT_EQ(ui.panels[10], "НАКОПЛ [2 из 9]");
  Point(50, 2101);
  EXPECT_EQ(V(50), 2050);  // 2050.5 -> 2050
  for (int pass = 3; pass <= 11; ++pass) PassStart();
  EXPECT_EQ(ui.panels[10], "НАКОПЛ [9 из 9]");
  EXPECT_EQ(run.AccumCount, 9);
}

TEST_F(Acquire, ChangingTheAccumulationLength) {
  s.EnableRTSum = true;
  s.RTNumb = 9;
  for (int pass = 0; pass < 9; ++pass) PassStart();
  EXPECT_EQ(ui.panels[10], "НАКОПЛ [9 из 9]");
  s.RTNumb = 12;
  PassStart();
  EXPECT_EQ(ui.panels[10], "НАКОПЛ [10 из 12]");
  s.RTNumb = 4;
  PassStart();
  EXPECT_EQ(ui.panels[10], "НАКОПЛ [1 из 4]");
  Point(7, 1234);
  EXPECT_EQ(V(7), 1234);  // the mean restarted
  // Switching it off: that pass start still counts, the next empties the panel.
  s.EnableRTSum = false;
  PassStart();
  EXPECT_EQ(ui.panels[10], "НАКОПЛ [2 из 4]");
  PassStart();
  EXPECT_EQ(ui.panels[10], "");
}

// Each file records how many passes were averaged into it: the count of an
// accumulated pass (also the one saved at the pass start that switches
// accumulation off), 1 for a single pass.
TEST_F(Acquire, FilesRecordThePassesAveragedIntoThem) {
  s.AutoSave = true;
  s.SaveStep = 1;
  s.EnableRTSum = true;
  s.RTNumb = 9;
  // A spectrum of seven passes was loaded: receiving again, the spectrum
  // under way is one pass until accumulation starts.
  run.PassesAveraged = 7;
  link.Acq.SetReceiveMode(true);
  EXPECT_EQ(run.PassesAveraged, 1);
  for (int pass = 0; pass < 4; ++pass) PassStart();
  s.EnableRTSum = false;
  for (int pass = 0; pass < 3; ++pass) PassStart();
  const std::uint16_t recorded[] = {1, 1, 2, 3, 4, 1, 1};
  for (int n = 1; n <= 7; ++n) {
    SpectrumStore loaded;
    ASSERT_TRUE(LoadSpectrum(loaded, AutoSavePath(s, n)));
    EXPECT_EQ(ReadParameters(loaded.CurrentSpectrum).Get(TagAccumCount), recorded[n - 1]) << n;
  }
}

TEST_F(Acquire, StoredConstantsBelowTwoAreUsedAsTwo) {
  // As the dialog would have given them: nothing divides by zero or by one.
  s.EnableRTLPF = true;
  s.RTLPFConst = 0;
  s.EnableRTSum = true;
  s.RTNumb = 1;
  PassStart();
  EXPECT_EQ(ui.panels[9], "ФИЛЬТР [2]");
  EXPECT_EQ(ui.panels[10], "НАКОПЛ [1 из 2]");
  Point(10, 2000);
  Point(11, 3000);
  Point(12, 3000);
  EXPECT_EQ(V(12), 2750);  // (2500 + 3000) / 2: the recursive stage with weight 1/2
  for (int pass = 0; pass < 3; ++pass) PassStart();
  EXPECT_EQ(ui.panels[10], "НАКОПЛ [2 из 2]");
}

TEST_F(Acquire, PassStartClearsAndRepaints) {
  Point(10, 2000);
  run.MaxIndex = 5;
  run.IntegralS = 3;
  const int repaints = ui.repaints;
  ui.log.clear();
  PassStart();
  EXPECT_EQ(store.CurrentSpectrum[10], EmptyPoint);
  EXPECT_EQ(run.MaxIndex, -1);
  EXPECT_EQ(run.IntegralS, -1);
  EXPECT_EQ(ui.repaints, repaints + 1);
  EXPECT_EQ(ui.panels[7], "Рабочий ход");
  EXPECT_TRUE(ui.actions[LinkAction::SaveFileAs]);
  EXPECT_EQ(link.Acq.Direction(), PassDirection::Forward);
  EXPECT_EQ(ui.log, (std::vector<std::string>{"Tm03. POLEmax=65519", "      POLEmin=0", "      POLE=0"}));
}

TEST_F(Acquire, ReturnPassShowsItsTextOnce) {
  PassStart();
  port.FeedTelegram(14, {0, 0, 0, 0, 0x10, 0x00});
  Pump();
  EXPECT_EQ(ui.panels[7], "Обратный ход");
  EXPECT_EQ(link.Flags.SilenceTicks, -5);
  EXPECT_EQ(link.Flags.CurrentCode, 0x1000);
  ui.panels[7] = "cursor distance";
  port.FeedTelegram(14, {0, 0, 0, 0, 0x0F, 0x00});
  Pump();
  EXPECT_EQ(ui.panels[7], "cursor distance");
  EXPECT_EQ(ui.lastSweep, 0x0F00);
  Point(300, 2500);  // stored like any other
  EXPECT_EQ(V(300), 2500);
}

TEST_F(Acquire, CursorReadoutsFollowTheirCode) {
  s.Visir1 = true;
  s.VisKoord1 = 102;
  s.Visir2 = false;
  s.VisKoord2 = 100;
  speedStatus = 0x06;
  Point(100, 2148);
  EXPECT_EQ(ui.visirs[1], "100");
  EXPECT_EQ(ui.visirs.count(2), 0u);
}

TEST_F(Acquire, AutoSaveCountdownWithSaveStepThree) {
  s.AutoSave = true;
  s.SaveStep = 3;
  for (int pass = 1; pass <= 7; ++pass) PassStart();
  EXPECT_EQ(s.NumbMask, 4);
  for (int n = 1; n <= 3; ++n) EXPECT_TRUE(PathExists(AutoSavePath(s, n))) << n;
  EXPECT_FALSE(PathExists(AutoSavePath(s, 4)));
  EXPECT_EQ(ui.panels[8], "АВТО");
  EXPECT_TRUE(ui.errors.empty());
}

TEST_F(Acquire, KeptSpectraGoToTheWorkingFolderInForceWhenRetried) {
  s.AutoSave = true;
  s.WorkDir = dir.File("night");
  std::filesystem::create_directory(s.WorkDir);
  PassStart();  // spectrum 1: empty, saved
  Point(10, 1111);
  std::filesystem::remove_all(s.WorkDir);
  PassStart();  // spectrum 2 cannot be written
  EXPECT_EQ(s.NumbMask, 3);  // it keeps its number
  EXPECT_EQ(link.Acq.KeptSpectra(), 1u);
  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_NE(ui.errors[0].find("Спектр00000002.qel"), std::string::npos) << ui.errors[0];
  EXPECT_NE(std::find(ui.log.begin(), ui.log.end(), ui.errors[0]), ui.log.end());
  EXPECT_EQ(ui.panels[7], "Рабочий ход");  // the pass start went on
  EXPECT_EQ(store.CurrentSpectrum[10], EmptyPoint);
  Point(20, 2222);
  const std::size_t logged = ui.log.size();
  PassStart();  // spectrum 2 fails again; spectrum 3 waits behind it
  EXPECT_EQ(link.Acq.KeptSpectra(), 2u);
  EXPECT_EQ(s.NumbMask, 4);
  EXPECT_EQ(ui.errors.size(), 1u);  // one box for the run of failures ...
  EXPECT_NE(ui.log[logged].find("Спектр00000002.qel"), std::string::npos);  // ... each in the log
  EXPECT_EQ(link.Acq.KeptSpectrumNames(), (std::vector<std::string>{"Спектр00000002.qel", "Спектр00000003.qel"}));
  // The operator picks another folder: the kept spectra go there, by name.
  s.WorkDir = dir.File("day");
  std::filesystem::create_directory(s.WorkDir);
  Point(30, 3333);
  PassStart();  // 2, 3, then 4
  EXPECT_EQ(link.Acq.KeptSpectra(), 0u);
  EXPECT_EQ(s.NumbMask, 5);
  SpectrumStore loaded;
  ASSERT_TRUE(LoadSpectrum(loaded, AutoSavePath(s, 2)));
  EXPECT_EQ(loaded.CurrentSpectrum[10].Value, 1111);
  ASSERT_TRUE(LoadSpectrum(loaded, AutoSavePath(s, 3)));
  EXPECT_EQ(loaded.CurrentSpectrum[20].Value, 2222);
  EXPECT_EQ(loaded.CurrentSpectrum[10], EmptyPoint);
  ASSERT_TRUE(LoadSpectrum(loaded, AutoSavePath(s, 4)));
  EXPECT_EQ(loaded.CurrentSpectrum[30].Value, 3333);
  EXPECT_TRUE(link.Flags.Receiving);
  EXPECT_TRUE(port.open);
  // A new run of failures has its own box.
  std::filesystem::remove_all(s.WorkDir);
  PassStart();
  EXPECT_EQ(ui.errors.size(), 2u);
}

// A folder given with its closing separator (as the file dialogs keep the
// working folder): the kept spectrum's path has one separator.
TEST_F(Acquire, KeptSpectrumPathHasOneSeparator) {
  s.AutoSave = true;
  s.WorkDir = dir.File("gone");
  PassStart();
  ASSERT_EQ(link.Acq.KeptSpectra(), 1u);
  EXPECT_EQ(link.Acq.WriteKeptSpectra(dir.Path() + PathSeparator), "");
  EXPECT_EQ(ui.log.back(), "Автосохранение: записан отложенный спектр " + dir.File("Спектр00000001.qel"));
  EXPECT_TRUE(PathExists(dir.File("Спектр00000001.qel")));
}

// Fallback folders by number: "" cannot be made; each request is recorded.
struct FakeFallback : FallbackFolders {
  std::string Folder(std::size_t n, std::string& why) override {
    asked.push_back(n);
    if (n >= folders.size()) return {};
    if (folders[n].empty()) why = "папка " + std::to_string(n) + " не создана";
    return folders[n];
  }
  std::vector<std::string> folders;
  std::vector<std::size_t> asked;
};

long CountLines(const std::vector<std::string>& log, const std::string& part) {
  return std::count_if(log.begin(), log.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

TEST_F(Acquire, AtMostSixtyFourSpectraAreKept) {
  // With no folder to take them, the oldest are given up.
  s.AutoSave = true;
  s.WorkDir = dir.File("gone");
  FakeFallback none;
  none.folders = {"", ""};
  link.Acq.SetFallbackFolders(&none);
  for (int pass = 0; pass < 66; ++pass) PassStart();
  EXPECT_EQ(link.Acq.KeptSpectra(), 64u);
  EXPECT_EQ(CountLines(ui.log, "потерян"), 2);
  EXPECT_EQ(CountLines(ui.log, "папка 1 не создана"), 3);  // at the 64th, 65th and 66th
  // The first failure and the first loss are shown, not every pass.
  ASSERT_EQ(ui.errors.size(), 2u);
  EXPECT_NE(ui.errors[1].find("Спектр00000001.qel потерян"), std::string::npos) << ui.errors[1];
  // What the window can do about them: see them and write them elsewhere.
  EXPECT_EQ(link.Acq.KeptSpectrumNames().front(), "Спектр00000003.qel");
  EXPECT_NE(link.Acq.WriteKeptSpectra(dir.File("elsewhere")).find(std::string("elsewhere") + PathSeparator + "Спектр00000003.qel"), std::string::npos);
  EXPECT_EQ(link.Acq.KeptSpectra(), 64u);
  EXPECT_EQ(link.Acq.WriteKeptSpectra(dir.Path()), "");
  EXPECT_EQ(link.Acq.KeptSpectra(), 0u);
  EXPECT_TRUE(PathExists(dir.File("Спектр00000066.qel")));
  // A later run of failures shows its first failure and its first loss.
  for (int pass = 0; pass < 65; ++pass) PassStart();
  ASSERT_EQ(ui.errors.size(), 4u);
  EXPECT_NE(ui.errors[3].find("Спектр00000067.qel потерян"), std::string::npos) << ui.errors[3];
}

TEST_F(Acquire, TheSixtyFourthKeptSpectrumSendsThemAllToTheFallbackFolder) {
  s.AutoSave = true;
  s.WorkDir = dir.File("gone");
  FakeFallback folders;
  folders.folders = {"", dir.File("spare"), dir.File("never")};  // the first cannot be made
  std::filesystem::create_directory(dir.File("spare"));
  link.Acq.SetFallbackFolders(&folders);
  for (int pass = 0; pass < 63; ++pass) PassStart();
  EXPECT_EQ(link.Acq.KeptSpectra(), 63u);
  EXPECT_TRUE(folders.asked.empty());
  PassStart();
  EXPECT_EQ(link.Acq.KeptSpectra(), 0u);
  for (int n : {1, 64}) EXPECT_TRUE(PathExists(dir.File("spare") + PathSeparator + AutoSaveFileName(s, n))) << n;
  EXPECT_EQ(folders.asked, (std::vector<std::size_t>{0, 1}));
  EXPECT_EQ(CountLines(ui.log, "Автосохранение: 64 спектра записаны в запасную папку " + dir.File("spare")), 1);
  ASSERT_EQ(ui.errors.size(), 2u);  // the first failure, then the fallback folder once
  EXPECT_NE(ui.errors[1].find("64 спектра, не записанные в рабочую папку, записаны в запасную папку " + dir.File("spare")),
            std::string::npos)
      << ui.errors[1];
  // The next 64 go to the same folder, without another box; none is lost.
  for (int pass = 0; pass < 66; ++pass) PassStart();
  EXPECT_EQ(link.Acq.KeptSpectra(), 2u);
  EXPECT_TRUE(PathExists(dir.File("spare") + PathSeparator + AutoSaveFileName(s, 128)));
  EXPECT_EQ(ui.errors.size(), 2u);
  EXPECT_EQ(CountLines(ui.log, "потерян"), 0);
  // At the end, what the working folder does not take goes there too, and
  // the search for a folder stops at the first that took them all.
  folders.asked.clear();
  std::vector<std::string> end = link.Acq.WriteKeptSpectraAtEnd(s.WorkDir);
  ASSERT_EQ(end.size(), 3u);
  EXPECT_EQ(end[0].rfind("Автосохранение: спектры не записаны в рабочую папку: ", 0), 0u) << end[0];
  EXPECT_EQ(end[1], "Автосохранение: папка 0 не создана");
  EXPECT_EQ(end[2], "Автосохранение: 2 спектра записаны в запасную папку " + dir.File("spare"));
  EXPECT_EQ(folders.asked, (std::vector<std::size_t>{0, 1}));
  EXPECT_EQ(link.Acq.KeptSpectra(), 0u);
  // Where no folder takes them, each is named as lost.
  PassStart();
  folders.folders = {""};
  end = link.Acq.WriteKeptSpectraAtEnd(s.WorkDir);
  ASSERT_EQ(end.size(), 3u);
  EXPECT_EQ(end[2], "Автосохранение: спектр " + AutoSaveFileName(s, 131) + " потерян: его некуда записать");
}

TEST_F(Acquire, TheLastFileNumberIsNeverPassed) {
  constexpr std::int32_t last = std::numeric_limits<std::int32_t>::max();
  s.AutoSave = true;
  s.WorkDir = dir.File("gone");
  s.NumbMask = last - 1;
  PassStart();  // kept under the last number but one
  PassStart();  // the next one would need the last number: not kept
  EXPECT_EQ(s.NumbMask, last);
  EXPECT_EQ(link.Acq.KeptSpectra(), 1u);
  EXPECT_EQ(ui.errors.size(), 1u);
  EXPECT_TRUE(std::any_of(ui.log.begin(), ui.log.end(),
                          [](const std::string& l) { return l.find("2147483647") != std::string::npos; }));
  std::filesystem::create_directory(s.WorkDir);
  PassStart();  // the kept one is written; the new one still has no number
  EXPECT_TRUE(PathExists(AutoSavePath(s, last - 1)));
  EXPECT_FALSE(PathExists(AutoSavePath(s, last)));
  EXPECT_EQ(s.NumbMask, last);
  ASSERT_EQ(ui.errors.size(), 2u);
  EXPECT_NE(ui.errors[1].find("2147483647"), std::string::npos) << ui.errors[1];
  // The operator starts the numbers again: a good save ends the run of
  // failures, so the next failure has a box of its own.
  s.NumbMask = 1;
  PassStart();
  EXPECT_TRUE(PathExists(AutoSavePath(s, 1)));
  std::filesystem::remove_all(s.WorkDir);
  PassStart();
  EXPECT_EQ(ui.errors.size(), 3u);
}

TEST_F(Acquire, AViewSeesTheFinishedPassBeforeItIsSavedAndCleared) {
  s.AutoSave = true;
  PassStart();
  Point(10, 2000);
  Point(11, 2100);
  std::vector<std::uint16_t> seen;
  bool savedYet = true;
  const std::string next = AutoSavePath(s, s.NumbMask);  // the file this pass start saves
  ui.onPassEnded = [&] {
    seen = {V(10), V(11)};
    savedYet = PathExists(next);
  };
  PassStart();
  EXPECT_EQ(seen, (std::vector<std::uint16_t>{2000, 2100}));
  EXPECT_FALSE(savedYet);
  EXPECT_TRUE(PathExists(next));
  EXPECT_EQ(V(10), EmptyValue);
}

TEST_F(Acquire, NumberIsStoredAfterEveryAutomaticSave) {
  RegFileStore reg(dir.File("1.0.reg"));
  Link other(port, s, store, run, ui, ui, &reg, ",");
  s.AutoSave = true;
  other.Acq.ForwardPassStart();
  other.Acq.ForwardPassStart();
  RegFileStore again(dir.File("1.0.reg"));
  again.OpenKey("", false);
  EXPECT_EQ(again.ReadInteger("NumbMask"), 3);
}

TEST_F(Acquire, AnalyseModeKeepsThePartialSpectrum) {
  s.AutoSave = true;
  s.EnableRTLPF = true;
  PassStart();
  Point(10, 2000);
  link.Acq.SetReceiveMode(false);
  EXPECT_EQ(V(10), 2000);
  EXPECT_EQ(ui.panels[8], "");
  EXPECT_EQ(ui.panels[9], "");
  EXPECT_EQ(ui.panels[10], "");
  EXPECT_FALSE(ui.actions[LinkAction::SwLPF]);
  EXPECT_FALSE(ui.groups[ControlGroup::Amp]);
  EXPECT_TRUE(ui.actions[LinkAction::Receive]);
  EXPECT_FALSE(ui.actions[LinkAction::Analyse]);
}

TEST_F(Acquire, TogglesBlinkOnlyWhenChecked) {
  link.Acq.ASwLPFExecute(true);
  EXPECT_TRUE(s.EnableRTLPF);
  link.Acq.LPFTimerTimer();
  EXPECT_EQ(ui.lpfImage, 23);
  EXPECT_EQ(ui.sumImage, 17);
  link.Acq.LPFTimerTimer();
  EXPECT_EQ(ui.lpfImage, 16);
  link.Acq.ASWSumExecute(true);
  link.Acq.LPFTimerTimer();
  EXPECT_EQ(ui.lpfImage, 23);
  EXPECT_EQ(ui.sumImage, 24);
  link.Acq.SetReceiveMode(false);
  EXPECT_EQ(ui.lpfImage, 16);
  EXPECT_EQ(ui.sumImage, 17);
}

}  // namespace qel
