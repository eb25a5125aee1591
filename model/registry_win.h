#pragma once
// The program's key in the Windows registry (HKEY_LOCAL_MACHINE). Built only on Windows.
#ifdef _WIN32

#include <windows.h>

#include "registry_store.h"

namespace qel {

class WinRegistryStore : public RegistryStore {
 public:
  WinRegistryStore() = default;
  ~WinRegistryStore() override;
  WinRegistryStore(const WinRegistryStore&) = delete;
  WinRegistryStore& operator=(const WinRegistryStore&) = delete;

  bool KeyExists(std::string_view key) const override;
  bool OpenKey(std::string_view key, bool create) override;
  std::optional<RegValue> GetValue(std::string_view name) const override;
  void SetValue(std::string_view name, const RegValue& value) override;

 private:
  HKEY current_ = nullptr;
};

}  // namespace qel
#endif
