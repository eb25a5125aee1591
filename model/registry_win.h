#pragma once
// The program's key in the Windows registry, SOFTWARE\Talvor\Qel\1.0, and
// its subkeys. Built only on Windows.
#ifdef _WIN32

#include <windows.h>

#include <string>

#include "layered_registry_store.h"
#include "registry_store.h"

namespace qel {

class WinRegistryStore : public RegistryStore {
 public:
  enum class Access { ReadWrite, ReadOnly };
  // `root` and `path` name the program's key; tests give a key of their own.
  explicit WinRegistryStore(HKEY root = HKEY_LOCAL_MACHINE, std::string path = "SOFTWARE\\Talvor\\Qel\\1.0",
                            Access access = Access::ReadWrite);
  ~WinRegistryStore() override;
  WinRegistryStore(const WinRegistryStore&) = delete;
  WinRegistryStore& operator=(const WinRegistryStore&) = delete;

  bool KeyExists(std::string_view key) const override;
  // A key that cannot be opened leaves no key current: the writes that follow
  // fail instead of landing in the key opened before.
  bool OpenKey(std::string_view key, bool create) override;
  std::optional<RegValue> GetValue(std::string_view name) const override;
  void SetValue(std::string_view name, const RegValue& value) override;
  void DeleteValue(std::string_view name) override;

 private:
  std::wstring KeyPath(std::string_view key) const;

  HKEY root_;
  std::wstring path_;
  Access access_;
  HKEY current_ = nullptr;
  std::string openFailure_;  // why the last OpenKey failed, for the write that follows
};

// The user's settings: stored under HKEY_CURRENT_USER, which a standard
// user may write; read, until they are first stored there, from the copy
// Windows made of the earlier 32-bit program's writes for a standard user
// (HKEY_CURRENT_USER\Software\Classes\VirtualStore\MACHINE\SOFTWARE, with
// or without WOW6432Node), else from HKEY_LOCAL_MACHINE, where a laboratory's
// administrator may keep one set for every user.
class UserRegistryStores {
 public:
  static constexpr const char* ProgramKey = "SOFTWARE\\Talvor\\Qel\\1.0";
  // `own`: how the user's key is opened (ReadOnly for the command line).
  // Tests name keys of their own: `userPath` under HKEY_CURRENT_USER (the
  // virtual copies under `virtualBase` there too), `machinePath` under
  // `machineRoot`.
  explicit UserRegistryStores(WinRegistryStore::Access own = WinRegistryStore::Access::ReadWrite,
                              const std::string& userPath = ProgramKey,
                              const std::string& virtualBase = "Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE",
                              HKEY machineRoot = HKEY_LOCAL_MACHINE, const std::string& machinePath = ProgramKey);
  UserRegistryStores(const UserRegistryStores&) = delete;
  UserRegistryStores& operator=(const UserRegistryStores&) = delete;

  LayeredRegistryStore& Store() { return layered_; }

 private:
  WinRegistryStore own_, virtualWow_, virtual_, machine_;
  LayeredRegistryStore layered_;
};

}  // namespace qel
#endif
