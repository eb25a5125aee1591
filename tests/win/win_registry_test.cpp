// The settings in the Windows registry, against Wine's registry in the test
// build's own prefix. Each case works in a key of its own, removed after.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "model/reg_file_store.h"
#include "model/registry_win.h"
#include "model/settings.h"
#include "model/units.h"
#include "model/win_text.h"
#include "operator_settings.h"
#include "../model/test_dir.h"

namespace qel {
namespace {

class WinRegistry : public ::testing::Test {
 protected:
  WinRegistry()
      : path_("Software\\QelTest\\" + std::to_string(GetCurrentProcessId()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name()) {}
  ~WinRegistry() override { RegDeleteTreeW(HKEY_CURRENT_USER, WideFromUtf8(path_).c_str()); }

  WinRegistryStore Store(WinRegistryStore::Access a = WinRegistryStore::Access::ReadWrite) {
    return WinRegistryStore(HKEY_CURRENT_USER, path_, a);
  }
  // A value as Windows itself reads it, past the store.
  std::optional<std::pair<DWORD, std::string>> Raw(const std::string& key, const std::string& name) {
    const std::wstring k = WideFromUtf8(key.empty() ? path_ : path_ + "\\" + key);
    DWORD type = 0, size = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, k.c_str(), WideFromUtf8(name).c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type,
                     nullptr, &size) != ERROR_SUCCESS)
      return std::nullopt;
    std::string bytes(size, '\0');
    RegGetValueW(HKEY_CURRENT_USER, k.c_str(), WideFromUtf8(name).c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type,
                 bytes.data(), &size);
    bytes.resize(size);
    return std::make_pair(type, bytes);
  }
  static std::string Utf16(const std::wstring& w) {
    return std::string(reinterpret_cast<const char*>(w.c_str()), (w.size() + 1) * sizeof(wchar_t));
  }

  std::string path_;
};

TEST_F(WinRegistry, EveryValueTypeTheSettingsUseIsStoredAsWindowsKeepsIt) {
  auto store = Store();
  ASSERT_TRUE(store.OpenKey("", true));
  store.WriteInteger("Neg", -2);
  store.WriteString("WorkDir", "C:\\Спектры \"ЭПР\"");
  store.WriteString("Empty", "");
  store.WriteFloat("X1", 1.0 / 3.0);
  store.WriteBool("Mode", true);

  EXPECT_EQ(Raw("", "Neg"), std::make_pair(DWORD{REG_DWORD}, std::string("\xFE\xFF\xFF\xFF", 4)));
  EXPECT_EQ(Raw("", "WorkDir"), std::make_pair(DWORD{REG_SZ}, Utf16(L"C:\\\u0421\u043f\u0435\u043a\u0442\u0440\u044b \"\u042d\u041f\u0420\"")));
  EXPECT_EQ(Raw("", "Empty"), std::make_pair(DWORD{REG_SZ}, Utf16(L"")));
  const double third = 1.0 / 3.0;
  EXPECT_EQ(Raw("", "X1"), std::make_pair(DWORD{REG_BINARY}, std::string(reinterpret_cast<const char*>(&third), 8)));

  // Read back through a store of its own, names in any case.
  auto again = Store();
  ASSERT_TRUE(again.OpenKey("", false));
  EXPECT_EQ(again.ReadInteger("neg"), -2);
  EXPECT_EQ(again.ReadString("WORKDIR"), "C:\\Спектры \"ЭПР\"");
  EXPECT_EQ(again.ReadString("Empty"), "");
  EXPECT_EQ(again.ReadFloat("X1"), third);
  EXPECT_TRUE(again.ReadBool("Mode"));
  // A value of another type is refused by name.
  try {
    again.ReadInteger("WorkDir");
    FAIL() << "a string read as an integer";
  } catch (const RegistryError& e) {
    EXPECT_EQ(std::string(e.what()), "Invalid data type for 'WorkDir'");
  }
  EXPECT_THROW(again.ReadFloat("Neg"), RegistryError);
  EXPECT_FALSE(again.ValueExists("Missing"));
}

TEST_F(WinRegistry, SubkeysAndMissingKeys) {
  auto store = Store();
  EXPECT_FALSE(store.KeyExists(""));
  EXPECT_FALSE(store.OpenKey("Position", false));
  EXPECT_FALSE(store.KeyExists(""));  // looking does not create
  ASSERT_TRUE(store.OpenKey("Units\\ADCUnit4", true));  // parents made too
  store.WriteInteger("Cod1", 7);
  EXPECT_TRUE(store.KeyExists(""));
  EXPECT_TRUE(store.KeyExists("units"));
  EXPECT_TRUE(store.KeyExists("Units\\ADCUnit4"));
  EXPECT_FALSE(store.KeyExists("Units\\ADCUnit"));
  ASSERT_TRUE(store.OpenKey("Units", false));
  EXPECT_FALSE(store.ValueExists("Cod1"));  // a value belongs to its own key
  ASSERT_TRUE(store.OpenKey("UNITS\\adcunit4", false));
  EXPECT_EQ(store.ReadInteger("Cod1"), 7);
}

// A key that cannot be opened leaves none current: what follows fails
// instead of landing in the key opened before.
TEST_F(WinRegistry, AKeyThatCannotBeOpenedTakesNoWrites) {
  {
    auto setup = Store();
    ASSERT_TRUE(setup.OpenKey("Position", true));
    setup.WriteInteger("Left", 10);
  }
  auto store = Store(WinRegistryStore::Access::ReadOnly);
  ASSERT_TRUE(store.OpenKey("Position", false));
  EXPECT_EQ(store.ReadInteger("Left"), 10);
  try {
    store.WriteInteger("Left", 11);
    FAIL() << "written through a read-only store";
  } catch (const RegistryError& e) {
    EXPECT_EQ(e.Detail(), "реестр открыт только для чтения");
  }
  EXPECT_FALSE(store.OpenKey("RecentFiles", true));               // cannot be made read only
  EXPECT_FALSE(store.KeyExists("RecentFiles"));
  try {
    store.WriteString("0", "C:\\a.qel");
    FAIL() << "written with no key open";
  } catch (const RegistryError& e) {
    EXPECT_EQ(std::string(e.what()), "Failed to set data for '0'");
    EXPECT_NE(e.Detail().find("RecentFiles"), std::string::npos) << e.Detail();
  }
  EXPECT_FALSE(Raw("Position", "0"));
  EXPECT_FALSE(store.ValueExists("Left"));
}

// A key this user may read but not write (HKEY_LOCAL_MACHINE for a user
// without an administrator's rights) still gives its settings.
TEST_F(WinRegistry, AKeyThisUserMayOnlyReadStillReads) {
  {
    auto setup = Store();
    ASSERT_TRUE(setup.OpenKey("", true));
    setup.WriteInteger("BitRate", 57600);
  }
  auto setDacl = [&](const wchar_t* sddl) {
    HKEY h;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, WideFromUtf8(path_).c_str(), 0, WRITE_DAC, &h), ERROR_SUCCESS);
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr));
    EXPECT_EQ(RegSetKeySecurity(h, DACL_SECURITY_INFORMATION, sd), ERROR_SUCCESS);
    LocalFree(sd);
    RegCloseKey(h);
  };
  setDacl(L"D:P(A;;KR;;;WD)");  // everyone may read, nobody write
  HKEY probe;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, WideFromUtf8(path_).c_str(), 0, KEY_WRITE, &probe), ERROR_ACCESS_DENIED);
  auto store = Store();
  EXPECT_TRUE(store.OpenKey("", false));
  EXPECT_EQ(store.ReadInteger("BitRate"), 57600);
  EXPECT_THROW(store.WriteInteger("BitRate", 9600), RegistryError);
  setDacl(L"D:P(A;;KA;;;WD)");  // so that the key can be removed
}

// Everything SaveSettings writes comes back as it was, and is what the
// registry editor's file of the same settings holds.
TEST_F(WinRegistry, SavedSettingsReadBackAndMatchTheFileStore) {
  Settings changed;
  SetDefaults(changed);
  changed.Position = WindowPlacement{-5, 1921, 700, 1000, false, 2, 0};
  changed.Port = "COM3";
  changed.BitRate = 57600;
  changed.Correction = -1234;
  changed.WorkDir = "D:\\Данные\\Спектры ЭПР";
  changed.VisKoord2 = 65535;
  changed.ADCEnable = true;
  changed.RazvUnit = 3;
  changed.RazvUnits[3].X1 = 3123.4;
  changed.RazvUnits[3].KoeffK = 1.0 / 3.0;
  changed.AutoSave = true;
  changed.NameMask = "ТЕМПО run";
  changed.NumbMask = 99999999;
  changed.PrinterColors.Grid = 0x123456;
  changed.PrnB = 4;
  StoreUnits(changed);
  const RecentFileList files{"C:\\a\\b.qel", "\\\\сервер\\общая\\в.qel"};
  {
    auto store = Store();
    SaveSettings(changed, files, store);
  }
  Settings loaded;
  SetDefaults(loaded);
  RecentFileList loadedFiles;
  auto store = Store(WinRegistryStore::Access::ReadOnly);
  LoadSettings(loaded, loadedFiles, store);
  StoreUnits(loaded);
  EXPECT_EQ(loaded, changed);
  EXPECT_EQ(loadedFiles, files);

  // Every value in the registry, by key and name, against the file store.
  test::TempDir dir;
  RegFileStore file(dir.File("1.0.reg"));
  SaveSettings(changed, files, file);
  int values = 0;
  std::function<void(const std::wstring&)> walk = [&](const std::wstring& key) {
    HKEY h;
    const std::wstring full = WideFromUtf8(path_) + (key.empty() ? L"" : L"\\" + key);
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, full.c_str(), 0, KEY_READ, &h), ERROR_SUCCESS);
    const std::string keyName = Utf8FromWide(key);
    ASSERT_TRUE(file.OpenKey(keyName, false)) << keyName;
    ASSERT_TRUE(store.OpenKey(keyName, false)) << keyName;
    for (DWORD i = 0;; ++i) {
      wchar_t name[256];
      DWORD len = 256;
      if (RegEnumValueW(h, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      ++values;
      const std::string n = Utf8FromWide(std::wstring(name, len));
      EXPECT_EQ(store.GetValue(n), file.GetValue(n)) << keyName << "\\" << n;
    }
    std::vector<std::wstring> subkeys;
    for (DWORD i = 0;; ++i) {
      wchar_t name[256];
      DWORD len = 256;
      if (RegEnumKeyExW(h, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      subkeys.emplace_back(name, len);
    }
    RegCloseKey(h);
    for (const auto& k : subkeys) walk(key.empty() ? k : key + L"\\" + k);
  };
  walk(L"");
  // The main key's values, four placements' and units' keys, colours, recent files.
  EXPECT_GT(values, 150);
}

// The command line reads the window's settings and changes nothing.
TEST_F(WinRegistry, TheCommandLineReadsTheKeyWithoutCreatingIt) {
  Settings defaults;
  SetDefaults(defaults);
  auto o = cli::ReadOperatorSettingsFromRegistry(HKEY_CURRENT_USER, path_);
  EXPECT_EQ(o.S, defaults);
  EXPECT_EQ(o.Warning, "");
  EXPECT_FALSE(Store().KeyExists(""));
  {
    auto store = Store();
    ASSERT_TRUE(store.OpenKey("", true));
    store.WriteString("NameMask", "ТЕМПО");
    store.WriteInteger("NumbMask", 42);
  }
  o = cli::ReadOperatorSettingsFromRegistry(HKEY_CURRENT_USER, path_);
  EXPECT_EQ(o.S.NameMask, "ТЕМПО");
  EXPECT_EQ(o.S.NumbMask, 42);
  EXPECT_EQ(o.Warning, "");
  // A value of the wrong type: the defaults, and a word about it.
  {
    auto store = Store();
    ASSERT_TRUE(store.OpenKey("", true));
    store.WriteString("NumbMask", "сорок два");
  }
  o = cli::ReadOperatorSettingsFromRegistry(HKEY_CURRENT_USER, path_);
  EXPECT_EQ(o.S, defaults);
  EXPECT_EQ(o.Warning.rfind("настройки в реестре не прочитаны (Invalid data type for 'NumbMask')", 0), 0u) << o.Warning;
}

// The program's own key is HKEY_LOCAL_MACHINE\SOFTWARE\Talvor\Qel\1.0 as
// 32-bit programs see it: where the earlier program kept its settings. The
// test works in a subkey of its own, removed from both views before and after.
class WinRegistryLocation : public ::testing::Test {
 protected:
  WinRegistryLocation() : sub_(L"QelTest" + std::to_wstring(GetCurrentProcessId())) { Remove(); }
  ~WinRegistryLocation() override { Remove(); }
  void Remove() {
    for (const wchar_t* base : {L"SOFTWARE\\WOW6432Node\\Talvor\\Qel\\1.0\\", L"SOFTWARE\\Talvor\\Qel\\1.0\\"})
      RegDeleteKeyExW(HKEY_LOCAL_MACHINE, (base + sub_).c_str(), KEY_WOW64_64KEY, 0);
  }
  // A value in the 64-bit view, where the path names the key exactly.
  std::optional<DWORD> Read64(const std::wstring& key) {
    HKEY h;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &h) != ERROR_SUCCESS) return {};
    DWORD v = 0, size = sizeof v, type = 0;
    const LONG rc = RegQueryValueExW(h, L"Value", nullptr, &type, reinterpret_cast<BYTE*>(&v), &size);
    RegCloseKey(h);
    if (rc != ERROR_SUCCESS || type != REG_DWORD) return {};
    return v;
  }
  std::wstring sub_;
};

TEST_F(WinRegistryLocation, TheDefaultStoreWritesWhere32BitProgramsLook) {
  WinRegistryStore store;
  if (!store.OpenKey(Utf8FromWide(sub_), true)) GTEST_SKIP() << "HKEY_LOCAL_MACHINE cannot be written by this user";
  store.WriteInteger("Value", 1234);
  EXPECT_EQ(Read64(L"SOFTWARE\\WOW6432Node\\Talvor\\Qel\\1.0\\" + sub_), 1234u);
  EXPECT_EQ(Read64(L"SOFTWARE\\Talvor\\Qel\\1.0\\" + sub_), std::nullopt);  // not the 64-bit programs' key
}

// What the earlier 32-bit program left is what the window and qel read.
TEST_F(WinRegistryLocation, TheEarlierProgramsSettingsAreRead) {
  HKEY h;
  const std::wstring old = L"SOFTWARE\\WOW6432Node\\Talvor\\Qel\\1.0\\" + sub_;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, old.c_str(), 0, nullptr, 0, KEY_WRITE | KEY_WOW64_64KEY, nullptr, &h,
                      nullptr) != ERROR_SUCCESS)
    GTEST_SKIP() << "HKEY_LOCAL_MACHINE cannot be written by this user";
  const DWORD value = 57600;
  RegSetValueExW(h, L"Value", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  RegCloseKey(h);
  for (auto access : {WinRegistryStore::Access::ReadWrite, WinRegistryStore::Access::ReadOnly}) {
    WinRegistryStore store(HKEY_LOCAL_MACHINE, "SOFTWARE\\Talvor\\Qel\\1.0", access);
    EXPECT_TRUE(store.KeyExists(Utf8FromWide(sub_)));
    ASSERT_TRUE(store.OpenKey(Utf8FromWide(sub_), false));
    EXPECT_EQ(store.ReadInteger("Value"), 57600);
  }
}


// The window's settings for a standard user, in the registry's own keys
// (subkeys of this test's): read from the machine's key until the user has
// stored them, the copy Windows kept of the earlier program's writes before
// that, and stored under HKEY_CURRENT_USER only.
TEST_F(WinRegistryLocation, TheUserStoresTheSettingsAndTakesOverTheEarlierOnes) {
  const std::string program = "SOFTWARE\\Talvor\\Qel\\1.0\\", user = program + "U" + Utf8FromWide(sub_),
                    machine = program + "M" + Utf8FromWide(sub_),
                    copy = "Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\WOW6432Node\\Talvor\\Qel\\1.0\\M" +
                           Utf8FromWide(sub_);
  auto remove = [&] {
    RegDeleteTreeW(HKEY_CURRENT_USER, WideFromUtf8(user).c_str());
    RegDeleteTreeW(HKEY_CURRENT_USER, WideFromUtf8(copy).c_str());
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, WideFromUtf8(machine).c_str(), KEY_WOW64_32KEY, 0);
  };
  remove();
  auto port = [](HKEY root, const std::string& path, const char* value) {
    WinRegistryStore s(root, path);
    ASSERT_TRUE(s.OpenKey("", true)) << path;
    s.WriteString("Port", value);
  };
  {
    WinRegistryStore probe(HKEY_LOCAL_MACHINE, machine);
    if (!probe.OpenKey("", true)) GTEST_SKIP() << "HKEY_LOCAL_MACHINE cannot be written by this user";
  }
  port(HKEY_LOCAL_MACHINE, machine, "COM3");
  auto load = [&] {
    UserRegistryStores stores(WinRegistryStore::Access::ReadWrite, user,
                              "Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE", HKEY_LOCAL_MACHINE, machine);
    Settings s;
    SetDefaults(s);
    RecentFileList recent;
    LoadSettings(s, recent, stores.Store());
    return s;
  };
  EXPECT_EQ(load().Port, "COM3");
  port(HKEY_CURRENT_USER, copy, "COM5");
  Settings s = load();
  EXPECT_EQ(s.Port, "COM5");
  s.Port = "COM9";
  {
    UserRegistryStores stores(WinRegistryStore::Access::ReadWrite, user,
                              "Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE", HKEY_LOCAL_MACHINE, machine);
    ASSERT_NO_THROW(SaveSettings(s, {}, stores.Store()));
  }
  EXPECT_EQ(load().Port, "COM9");
  WinRegistryStore own(HKEY_CURRENT_USER, user, WinRegistryStore::Access::ReadOnly), earlier(HKEY_LOCAL_MACHINE, machine);
  ASSERT_TRUE(own.OpenKey("", false));
  EXPECT_EQ(own.ReadString("Port"), "COM9");
  ASSERT_TRUE(earlier.OpenKey("", false));
  EXPECT_EQ(earlier.ReadString("Port"), "COM3");
  remove();
}

}  // namespace
}  // namespace qel
