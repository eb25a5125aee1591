#pragma once
// The program's key in the Windows registry, HKEY_LOCAL_MACHINE\SOFTWARE\Talvor\Qel\1.0,
// and its subkeys. Built only on Windows.
#ifdef _WIN32

#include <windows.h>

#include <string>

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

}  // namespace qel
#endif
