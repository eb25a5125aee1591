#pragma once
// The settings where this user may store them, read, until they are first
// stored there, from where an earlier installation left them: on Windows the
// program's key under HKEY_CURRENT_USER, else the copy Windows kept for the
// earlier 32-bit program of a standard user (its VirtualStore), else the key
// under HKEY_LOCAL_MACHINE, which a standard user may read but not write.

#include <string>
#include <vector>

#include "registry_store.h"

namespace qel {

// A write makes the program key in `own`, which from then on hides the
// earlier stores: take their settings over first (TakeOverSettings).
class LayeredRegistryStore : public RegistryStore {
 public:
  // `own` takes every write; `earlier` are read, the first whose program key
  // exists, while `own` has none. The stores outlive this one.
  LayeredRegistryStore(RegistryStore& own, std::vector<RegistryStore*> earlier);

  // The store reads come from now.
  RegistryStore& Reading() const;
  // Whether reads come from `own` (its program key exists).
  bool ReadsOwn() const { return &Reading() == &own_; }

  bool KeyExists(std::string_view key) const override { return Reading().KeyExists(key); }
  bool OpenKey(std::string_view key, bool create) override;
  std::optional<RegValue> GetValue(std::string_view name) const override;
  void SetValue(std::string_view name, const RegValue& value) override;
  void DeleteValue(std::string_view name) override;
  void BeginUpdate() override { own_.BeginUpdate(); }
  void EndUpdate() override { own_.EndUpdate(); }

 private:
  // The current key opened in `own`, for a write that follows a read.
  void Own();

  RegistryStore& own_;
  std::vector<RegistryStore*> earlier_;
  RegistryStore* current_ = nullptr;  // where the current key was opened
  std::string key_;
  bool opened_ = false;
};

}  // namespace qel
