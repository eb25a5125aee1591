#ifdef _WIN32
#include "registry_win.h"

#include <algorithm>
#include <vector>

#include "win_text.h"

namespace qel {

namespace {
// The key as 32-bit programs see it: on 64-bit Windows the settings that the
// instrument's earlier 32-bit program kept (under WOW6432Node) are read and
// written as they are.
constexpr REGSAM View = KEY_WOW64_32KEY;
}  // namespace

WinRegistryStore::WinRegistryStore(HKEY root, std::string path, Access access)
    : root_(root), path_(WideFromUtf8(path)), access_(access) {}

WinRegistryStore::~WinRegistryStore() {
  if (current_) RegCloseKey(current_);
}

std::wstring WinRegistryStore::KeyPath(std::string_view key) const {
  return key.empty() ? path_ : path_ + L"\\" + WideFromUtf8(key);
}

bool WinRegistryStore::KeyExists(std::string_view key) const {
  HKEY h;
  if (RegOpenKeyExW(root_, KeyPath(key).c_str(), 0, KEY_READ | View, &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

bool WinRegistryStore::OpenKey(std::string_view key, bool create) {
  if (current_) RegCloseKey(current_);
  current_ = nullptr;
  HKEY h = nullptr;
  LONG rc;
  if (create && access_ == Access::ReadWrite) {
    rc = RegCreateKeyExW(root_, KeyPath(key).c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE | View, nullptr, &h,
                         nullptr);
  } else {
    rc = RegOpenKeyExW(root_, KeyPath(key).c_str(), 0,
                       (access_ == Access::ReadWrite ? KEY_READ | KEY_WRITE : KEY_READ) | View, &h);
    // A key this user may read but not write still reads.
    if (rc == ERROR_ACCESS_DENIED && access_ == Access::ReadWrite && !create)
      rc = RegOpenKeyExW(root_, KeyPath(key).c_str(), 0, KEY_READ | View, &h);
  }
  if (rc != ERROR_SUCCESS) {
    openFailure_ = (create ? "Не удалось создать раздел реестра \"" : "Не удалось открыть раздел реестра \"") +
                   Utf8FromWide(KeyPath(key)) + "\": " + WinReason(static_cast<unsigned long>(rc));
    return false;
  }
  openFailure_.clear();
  current_ = h;
  return true;
}

std::optional<RegValue> WinRegistryStore::GetValue(std::string_view name) const {
  if (!current_) return std::nullopt;
  const std::wstring n = WideFromUtf8(name);
  DWORD type = 0, size = 0;
  std::vector<BYTE> buf;
  // The value may grow between asking its size and reading it.
  for (;;) {
    LONG rc = RegQueryValueExW(current_, n.c_str(), nullptr, &type, nullptr, &size);
    if (rc != ERROR_SUCCESS) return std::nullopt;
    buf.assign(size + sizeof(wchar_t), 0);
    rc = RegQueryValueExW(current_, n.c_str(), nullptr, &type, buf.data(), &size);
    if (rc == ERROR_MORE_DATA) continue;
    if (rc != ERROR_SUCCESS) return std::nullopt;
    break;
  }
  RegValue v{type, {}};
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    std::wstring w(size / sizeof(wchar_t), L'\0');
    std::copy_n(buf.data(), w.size() * sizeof(wchar_t), reinterpret_cast<BYTE*>(w.data()));
    while (!w.empty() && w.back() == L'\0') w.pop_back();
    v.Data = Utf8FromWide(w);
  } else {
    v.Data.assign(reinterpret_cast<const char*>(buf.data()), size);
  }
  return v;
}

void WinRegistryStore::SetValue(std::string_view name, const RegValue& value) {
  if (!current_) throw RegistryError(FailedToSetText(name), openFailure_.empty() ? "раздел не открыт" : openFailure_);
  if (access_ == Access::ReadOnly) throw RegistryError(FailedToSetText(name), "реестр открыт только для чтения");
  const std::wstring n = WideFromUtf8(name);
  LONG rc;
  if (value.Type == REG_SZ || value.Type == REG_EXPAND_SZ) {
    const std::wstring w = WideFromUtf8(value.Data);
    rc = RegSetValueExW(current_, n.c_str(), 0, value.Type, reinterpret_cast<const BYTE*>(w.c_str()),
                        static_cast<DWORD>((w.size() + 1) * sizeof(wchar_t)));
  } else {
    rc = RegSetValueExW(current_, n.c_str(), 0, value.Type, reinterpret_cast<const BYTE*>(value.Data.data()),
                        static_cast<DWORD>(value.Data.size()));
  }
  if (rc != ERROR_SUCCESS) throw RegistryError(FailedToSetText(name), WinReason(static_cast<unsigned long>(rc)));
}

void WinRegistryStore::DeleteValue(std::string_view name) {
  if (!current_) throw RegistryError(FailedToSetText(name), openFailure_.empty() ? "раздел не открыт" : openFailure_);
  if (access_ == Access::ReadOnly) throw RegistryError(FailedToSetText(name), "реестр открыт только для чтения");
  const LONG rc = RegDeleteValueW(current_, WideFromUtf8(name).c_str());
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
    throw RegistryError(FailedToSetText(name), WinReason(static_cast<unsigned long>(rc)));
}

namespace {
// "SOFTWARE\Talvor\Qel\1.0" without its first part.
std::string BelowSoftware(const std::string& path) {
  const auto slash = path.find('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}
}  // namespace

UserRegistryStores::UserRegistryStores(WinRegistryStore::Access own, const std::string& userPath,
                                       const std::string& virtualBase, HKEY machineRoot,
                                       const std::string& machinePath)
    : own_(HKEY_CURRENT_USER, userPath, own),
      virtualWow_(HKEY_CURRENT_USER, virtualBase + "\\WOW6432Node\\" + BelowSoftware(machinePath),
                  WinRegistryStore::Access::ReadOnly),
      virtual_(HKEY_CURRENT_USER, virtualBase + "\\" + BelowSoftware(machinePath), WinRegistryStore::Access::ReadOnly),
      machine_(machineRoot, machinePath, WinRegistryStore::Access::ReadOnly),
      layered_(own_, {&virtualWow_, &virtual_, &machine_}) {}

}  // namespace qel
#endif
