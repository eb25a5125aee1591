#include <gtest/gtest.h>

#include <fstream>

#include "model/atomic_file.h"
#include "model/auto_save.h"
#include "model/layered_registry_store.h"
#include "model/reg_file_store.h"
#include "model/settings.h"
#include "model/units.h"
#include "test_dir.h"

namespace qel {

using test::Slurp;
using test::Spit;

namespace {



// A store file with the given lines in the program's base key.
std::string BaseKeyFile(const std::string& lines, const std::string& more = {}) {
  return "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvor\\Qel\\1.0]\n" + lines +
         "\n" + more;
}

}  // namespace

class SettingsStore : public ::testing::Test {
 protected:
  void SetUp() override { SetDefaults(s); }
  test::TempDir dir;
  Settings s;
  RecentFileList recent;
};

TEST_F(SettingsStore, DefaultsOfTheRecord) {
  EXPECT_EQ(s.Position, (WindowPlacement{10, 10, 500, 760, true, 0, 0}));
  EXPECT_EQ(s.MsgWindow, (WindowPlacement{160, 60, 360, 290, false, 0, 3}));
  EXPECT_EQ(s.ADCWindow, WindowPlacement{});
  EXPECT_EQ(s.Port, "COM1");
  EXPECT_EQ(s.BitRate, 115200);
  EXPECT_EQ(s.PoleMax, 65519);
  EXPECT_EQ(s.ViewMax, 65519);
  EXPECT_EQ(s.Rapid, 10);
  EXPECT_EQ(s.VisKoord1, 50);
  EXPECT_EQ(s.VisKoord2, 65400);
  EXPECT_TRUE(s.Mode);
  EXPECT_TRUE(s.ToolBar);
  EXPECT_EQ(s.ADCFreq, 100);
  EXPECT_EQ(s.NameMask, "Спектр");
  EXPECT_EQ(s.NumbMask, 1);
  EXPECT_EQ(s.SaveStep, 1);
  EXPECT_EQ(s.LPFConst, 10);
  EXPECT_EQ(s.GlissConst, 10);
  EXPECT_EQ(s.RTLPFConst, 25);
  EXPECT_EQ(s.RTNumb, 9);
  EXPECT_TRUE(s.Orientation);
  EXPECT_EQ(s.PrnB, 15);
  EXPECT_FALSE(s.WorkDir.empty());
  EXPECT_EQ(s.DisplayColors.BackGround, 0x000000);
  EXPECT_EQ(s.DisplayColors.Graph, 0x00FFFF);
  EXPECT_EQ(s.PrinterColors.BackGround, 0xFFFFFF);
  EXPECT_EQ(s.PrinterColors.AddGraph, 0xFF0000);
  EXPECT_EQ(s.BMPColors.Graph, 0x000000);
  EXPECT_EQ(s.BMPColors.Grid, 0x808080);
}

TEST_F(SettingsStore, FirstStartWithoutTheKeyKeepsEveryDefault) {
  RegFileStore store(dir.File("1.0.reg"));
  const Settings before = s;
  LoadSettings(s, recent, store);
  EXPECT_EQ(s, before);
  EXPECT_TRUE(recent.empty());
  EXPECT_TRUE(store.LoadProblem().empty());
}

TEST_F(SettingsStore, NarrowFieldsKeepTheLowBits) {
  Spit(dir.File("1.0.reg"), BaseKeyFile("\"Rapid\"=dword:0000010a\n\"VisKoord1\"=dword:00011170\n"
                                        "\"Orientation\"=dword:00000002\n\"PoleMin\"=dword:ffffffff\n"));
  RegFileStore store(dir.File("1.0.reg"));
  LoadSettings(s, recent, store);
  EXPECT_EQ(s.Rapid, 10);         // 266
  EXPECT_EQ(s.VisKoord1, 4464);   // 70000
  EXPECT_TRUE(s.Orientation);     // 2 reads as true ...
  EXPECT_EQ(s.PoleMin, -1);
  SaveSettings(s, recent, store);
  RegFileStore again(dir.File("1.0.reg"));
  again.OpenKey("", false);
  EXPECT_EQ(again.ReadInteger("Orientation"), 1);  // ... and is written back as 1
}

TEST_F(SettingsStore, RecentFilesAreCompactedAndSubkeysImplyTheirParents) {
  // No section for the base key itself: a subkey implies it, as in the registry.
  Spit(dir.File("1.0.reg"), "Windows Registry Editor Version 5.00\n\n"
                            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvor\\Qel\\1.0\\Position]\n\"Top\"=dword:00000007\n\n"
                            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvor\\Qel\\1.0\\RecentFiles]\n"
                            "\"0\"=\"/data/a.qel\"\n\"2\"=\"/data/c.qel\"\n\"5\"=\"/data/f.qel\"\n"
                            "\"20\"=\"/data/beyond.qel\"\n");
  RegFileStore store(dir.File("1.0.reg"));
  LoadSettings(s, recent, store);
  EXPECT_EQ(recent, (RecentFileList{"/data/a.qel", "/data/c.qel", "/data/f.qel"}));
  EXPECT_EQ(s.Position.Top, 7);
}

TEST_F(SettingsStore, UnitNameKeepsFiveCharacters) {
  Spit(dir.File("1.0.reg"), BaseKeyFile("", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvor\\Qel\\1.0\\RazvUnit3]\n"
                                            "\"Name\"=\"Эрстеды\"\n"));
  RegFileStore store(dir.File("1.0.reg"));
  LoadSettings(s, recent, store);
  EXPECT_EQ(s.RazvUnits[3].Name, "Эрсте");
  EXPECT_EQ(s.RazvUnits[3].X2, 3300);  // a missing value leaves the field
}

TEST_F(SettingsStore, WrongTypeEndsTheLoadThere) {
  // Base-key order: BitRate, Port, PoleMin, PoleMax, ViewMin ...
  Spit(dir.File("1.0.reg"), BaseKeyFile("\"ViewMin\"=dword:00000064\n\"BitRate\"=dword:00002580\n"
                                        "\"PoleMin\"=dword:00000064\n\"PoleMax\"=\"65000\"\n"
                                        "\"ToolBar\"=dword:00000000\n",
                                        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvor\\Qel\\1.0\\Position]\n"
                                        "\"Top\"=dword:00000021\n"));
  RegFileStore store(dir.File("1.0.reg"));
  try {
    LoadSettings(s, recent, store);
    FAIL() << "no error";
  } catch (const RegistryError& e) {
    EXPECT_STREQ(e.what(), "Invalid data type for 'PoleMax'");
  }
  EXPECT_EQ(s.Position.Top, 33);  // subkeys come first
  EXPECT_EQ(s.BitRate, 9600);     // read before the bad value
  EXPECT_EQ(s.PoleMin, 100);
  EXPECT_EQ(s.PoleMax, 65519);    // the bad value and all after it are not read
  EXPECT_EQ(s.ViewMin, 0);
  EXPECT_TRUE(s.ToolBar);
}

TEST_F(SettingsStore, FloatMustBeEightBinaryBytes) {
  Spit(dir.File("1.0.reg"), BaseKeyFile("", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvor\\Qel\\1.0\\AmpUnit1]\n"
                                            "\"X1\"=hex:00,00,00,00\n"));
  RegFileStore store(dir.File("1.0.reg"));
  EXPECT_THROW(LoadSettings(s, recent, store), RegistryError);
}

TEST_F(SettingsStore, FullRoundTripThroughTheFileStore) {
  Settings changed = s;
  changed.Position = WindowPlacement{-5, 1921, 700, 1000, false, 2, 0};
  changed.Port = "/dev/ttyUSB0";
  changed.BitRate = 57600;
  changed.PoleMin = 100;
  changed.PoleMax = 60000;
  changed.ViewMin = 200;
  changed.ViewMax = 50000;
  changed.Rapid = 3;
  changed.Amplifying = 7;
  changed.Correction = -1234;
  changed.WorkDir = "/home/оператор/Спектры \"2026\"\\x";
  changed.LastOpen = "/tmp/a.qel";
  changed.Visir1 = changed.Visir2 = true;
  changed.ToolBar = false;
  changed.VisKoord1 = 1;
  changed.VisKoord2 = 65535;
  changed.Mode = false;
  changed.ADCEnable = true;
  changed.ADCFreq = 250;
  changed.RazvUnit = 3;
  changed.AmpUnit = 1;
  changed.CorrUnit = 1;
  changed.ADCUnit = 4;
  changed.RazvUnits[3].X1 = 3123.4;
  changed.RazvUnits[3].KoeffK = 1.0 / 3.0;
  changed.AutoSave = true;
  changed.SaveStep = 3;
  changed.NameMask = "ТЕМПО run";
  changed.NumbMask = 42;
  changed.LPFConst = 7;
  changed.GlissConst = 2000;
  changed.EnableRTLPF = changed.EnableRTSum = true;
  changed.RTLPFConst = 3;
  changed.RTNumb = 100;
  changed.ShowFirst = true;
  changed.PrinterColors.Grid = 0x123456;
  changed.BMPColors.Visir2 = 0x00ABCDEF;
  changed.Orientation = false;
  changed.PrnL = 1;
  changed.PrnT = 2;
  changed.PrnR = 3;
  changed.PrnB = 4;
  changed.MWFrequency = 9.4123;
  const RecentFileList files{"/a/b.qel", "/c d/e.qel"};
  {
    RegFileStore store(dir.File("1.0.reg"));
    SaveSettings(changed, files, store);
  }
  Settings loaded;
  SetDefaults(loaded);
  RecentFileList loadedFiles;
  RegFileStore store(dir.File("1.0.reg"));
  LoadSettings(loaded, loadedFiles, store);
  // The stored copies of the unit tables are rebuilt at start, not stored.
  StoreUnits(changed);
  StoreUnits(loaded);
  EXPECT_EQ(loaded, changed);
  EXPECT_EQ(loadedFiles, files);
}

TEST_F(SettingsStore, MicrowaveFrequencyIsPlainTextAndOnlyAPositiveNumber) {
  s.MWFrequency = 9.4;
  {
    RegFileStore store(dir.File("1.0.reg"));
    SaveSettings(s, recent, store);
  }
  EXPECT_NE(Slurp(dir.File("1.0.reg")).find("\"MWFrequency\"=\"9.4\""), std::string::npos);
  for (const char* text : {"9,4", "nan", "-9.4", "0", "9.4 ГГц", "", "1e999"}) {
    Spit(dir.File("1.0.reg"), BaseKeyFile(std::string("\"MWFrequency\"=\"") + text + "\""));
    Settings loaded;
    SetDefaults(loaded);
    loaded.MWFrequency = 5;
    RegFileStore store(dir.File("1.0.reg"));
    LoadSettings(loaded, recent, store);
    EXPECT_EQ(loaded.MWFrequency, 0) << text;
  }
  EXPECT_EQ(FrequencyText(0), "");
  EXPECT_EQ(FrequencyText(34.0), "34");
  EXPECT_EQ(ParseFrequency("9.5"), 9.5);
}

TEST_F(SettingsStore, ThePassArchiveIsInTheFileOnlyWhileOn) {
  const std::string path = dir.File("1.0.reg");
  {
    RegFileStore store(path);
    SaveSettings(s, recent, store);
  }
  const std::string off = Slurp(path);
  EXPECT_EQ(off.find("PassArchive"), std::string::npos);
  s.PassArchive = true;
  {
    RegFileStore store(path);
    SaveSettings(s, recent, store);
    Settings loaded;
    SetDefaults(loaded);
    LoadSettings(loaded, recent, store);
    EXPECT_TRUE(loaded.PassArchive);
  }
  EXPECT_NE(Slurp(path).find("\"PassArchive\"=dword:00000001"), std::string::npos);
  s.PassArchive = false;
  RegFileStore store(path);
  SaveSettings(s, recent, store);
  EXPECT_EQ(Slurp(path), off);
}

TEST_F(SettingsStore, SecondSaveIsByteIdentical) {
  const std::string path = dir.File("1.0.reg");
  {
    RegFileStore store(path);
    SaveSettings(s, {"/x.qel"}, store);
  }
  const std::string first = Slurp(path);
  RegFileStore store(path);
  Settings t;
  SetDefaults(t);
  RecentFileList r;
  LoadSettings(t, r, store);
  SaveSettings(t, r, store);
  EXPECT_EQ(Slurp(path), first);
  EXPECT_NE(first.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvor\\Qel\\1.0\\Position]\n\"Top\"=dword:0000000a\n"
                       "\"Left\"=dword:0000000a\n\"Width\"=dword:000002f8\n\"Height\"=dword:000001f4\n"),
            std::string::npos);
  EXPECT_NE(first.find("\"Port\"=\"COM1\"\n"), std::string::npos);
  EXPECT_NE(first.find("\"X2\"=hex:00,00,00,00,e0,fd,ef,40\n"), std::string::npos);  // 65519.0
}

TEST_F(SettingsStore, ShorterRecentListLeavesHigherValuesUntouched) {
  const std::string path = dir.File("1.0.reg");
  RegFileStore store(path);
  SaveSettings(s, {"/1", "/2", "/3"}, store);
  SaveSettings(s, {"/new"}, store);
  RecentFileList r;
  RegFileStore again(path);
  LoadSettings(s, r, again);
  EXPECT_EQ(r, (RecentFileList{"/new", "/2", "/3"}));
}

namespace {
class FailingStore : public RegFileStore {
 public:
  using RegFileStore::RegFileStore;
  bool fail = true;

 protected:
  void WriteFile(const std::string& path, const std::string& text) override {
    if (fail) throw FileError("Ошибка записи файла \"" + path + "\": No space left on device");
    RegFileStore::WriteFile(path, text);
  }
};
}  // namespace

TEST_F(SettingsStore, FailedSaveNamesTheFirstValueAndKeepsTheOldFile) {
  const std::string path = dir.File("1.0.reg");
  {
    RegFileStore store(path);
    SaveSettings(s, {}, store);
  }
  const std::string old = Slurp(path);
  FailingStore store(path);
  Settings t = s;
  t.BitRate = 1200;
  try {
    SaveSettings(t, {}, store);
    FAIL() << "no error";
  } catch (const RegistryError& e) {
    EXPECT_STREQ(e.what(), "Failed to set data for 'Top'");
    EXPECT_NE(e.Detail().find("No space left on device"), std::string::npos);
  }
  EXPECT_EQ(Slurp(path), old);
  EXPECT_EQ(t.BitRate, 1200);  // the record in memory is unaffected
}

TEST_F(SettingsStore, UsedValuesStayInsideTheirRanges) {
  s.Amplifying = 9;
  s.Rapid = 200;
  s.SaveStep = 0;
  EXPECT_EQ(UsedAmplifying(s), 7);
  EXPECT_EQ(UsedRapid(s), 11);
  EXPECT_EQ(UsedSaveStep(s), 1);
  s.SaveStep = 1000;
  EXPECT_EQ(UsedSaveStep(s), 256);
  EXPECT_EQ(UsedConst(0), 2);
  EXPECT_EQ(UsedConst(-5), 2);
  EXPECT_EQ(UsedConst(10), 10);
  EXPECT_EQ(UsedConst(5000), 2000);
}


// A standard user may read the machine's key but not write it: the settings
// are read from the user's own key once it exists, else from the copy
// Windows kept of the earlier program's writes, else from the machine's key,
// and stored in the user's own key only (the machine's store here refuses
// every save, as the registry does).
TEST_F(SettingsStore, StoredWhereTheUserMayWriteReadFromWhereTheyWere) {
  struct Where {
    const char *Own, *Virtual, *Machine, *Read;
  };
  for (const Where w : {Where{nullptr, nullptr, "COM3", "COM3"}, Where{nullptr, "COM5", "COM3", "COM5"},
                        Where{"COM7", "COM5", "COM3", "COM7"}, Where{nullptr, nullptr, nullptr, "COM1"}}) {
    const std::string ownPath = dir.File(std::string("user-") + w.Read + (w.Own ? "-own" : "") + ".reg");
    if (w.Own) Spit(ownPath, BaseKeyFile(std::string("\"Port\"=\"") + w.Own + "\""));
    auto earlier = [](const char* port) {
      return RegFileStore::ReadOnlyFromText("earlier.reg", port ? BaseKeyFile(std::string("\"Port\"=\"") + port + "\"")
                                                                : "Windows Registry Editor Version 5.00\n");
    };
    RegFileStore own(ownPath), virtualStore = earlier(w.Virtual), machine = earlier(w.Machine);
    LayeredRegistryStore store(own, {&virtualStore, &machine});
    Settings read;
    SetDefaults(read);
    RecentFileList files;
    LoadSettings(read, files, store);
    EXPECT_EQ(read.Port, w.Read) << w.Read;
    read.Port = "COM9";
    ASSERT_NO_THROW(SaveSettings(read, {"/a.qel"}, store)) << w.Read;
    Settings again;
    LoadSettings(again, files, store);
    EXPECT_EQ(again.Port, "COM9") << w.Read;
    EXPECT_NE(own.Serialize().find("\"Port\"=\"COM9\""), std::string::npos) << w.Read;
  }
  // A value written after its key was opened to be read lands in the user's
  // key too.
  RegFileStore own(dir.File("late.reg")), machine = RegFileStore::ReadOnlyFromText("m.reg", BaseKeyFile("\"Rapid\"=dword:00000002"));
  LayeredRegistryStore store(own, {&machine});
  ASSERT_TRUE(store.OpenKey("", false));
  EXPECT_EQ(store.ReadInteger("Rapid"), 2);
  store.WriteInteger("Rapid", 5);
  EXPECT_EQ(store.ReadInteger("Rapid"), 5);
  EXPECT_EQ(machine.ReadInteger("Rapid"), 2);
  // A key made for writing is made in the user's key, and says so.
  EXPECT_TRUE(store.OpenKey("Position", true));
  EXPECT_TRUE(own.KeyExists("Position"));

  // Taken over at the start: the automatic save's counter, written before
  // the first close, leaves the earlier settings readable after a session
  // that ended without its closing save.
  const std::string firstPath = dir.File("first.reg");
  RegFileStore earlier = RegFileStore::ReadOnlyFromText(
      "m.reg", BaseKeyFile("\"Port\"=\"COM3\"", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvor\\Qel\\1.0\\Position]\n\"Top\"=dword:00000007\n"));
  {
    RegFileStore first(firstPath);
    LayeredRegistryStore session(first, {&earlier});
    TakeOverSettings(session);
    std::int32_t countdown = 0;
    EXPECT_EQ(AdvanceAutoSaveCounters(s, countdown, &session), "");
  }
  RegFileStore next(firstPath);
  LayeredRegistryStore restarted(next, {&earlier});
  Settings after;
  SetDefaults(after);
  LoadSettings(after, recent, restarted);
  EXPECT_EQ(after.Port, "COM3");
  EXPECT_EQ(after.Position.Top, 7);
}

}  // namespace qel
