#include "layered_registry_store.h"

#include <utility>

namespace qel {

LayeredRegistryStore::LayeredRegistryStore(RegistryStore& own, std::vector<RegistryStore*> earlier)
    : own_(own), earlier_(std::move(earlier)) {}

RegistryStore& LayeredRegistryStore::Reading() const {
  if (own_.KeyExists("")) return own_;
  for (RegistryStore* s : earlier_)
    if (s->KeyExists("")) return *s;
  return own_;
}

bool LayeredRegistryStore::OpenKey(std::string_view key, bool create) {
  key_ = key;
  if (create) {
    current_ = &own_;
    return opened_ = own_.OpenKey(key, true);
  }
  current_ = &Reading();
  return opened_ = current_->OpenKey(key, false);
}

std::optional<RegValue> LayeredRegistryStore::GetValue(std::string_view name) const {
  if (!current_ || !opened_) return std::nullopt;
  return current_->GetValue(name);
}

void LayeredRegistryStore::Own() {
  if (current_ == &own_ && opened_) return;
  current_ = &own_;
  opened_ = own_.OpenKey(key_, true);
}

void LayeredRegistryStore::SetValue(std::string_view name, const RegValue& value) {
  Own();
  own_.SetValue(name, value);
}

void LayeredRegistryStore::DeleteValue(std::string_view name) {
  Own();
  own_.DeleteValue(name);
}

}  // namespace qel
