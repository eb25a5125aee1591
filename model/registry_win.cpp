#ifdef _WIN32
#include "registry_win.h"

#include <vector>

#include "reg_file_store.h"

namespace qel {

namespace {

std::wstring Wide(std::string_view utf8) {
  const std::string b = Utf8ToUtf16Le(utf8);
  std::wstring w(b.size() / 2, L'\0');
  for (std::size_t i = 0; i < w.size(); ++i)
    w[i] = static_cast<wchar_t>(static_cast<unsigned char>(b[2 * i]) | (static_cast<unsigned char>(b[2 * i + 1]) << 8));
  return w;
}

std::string Narrow(const wchar_t* w, std::size_t n) {
  std::string b;
  for (std::size_t i = 0; i < n; ++i) {
    b += static_cast<char>(w[i] & 0xFF);
    b += static_cast<char>((w[i] >> 8) & 0xFF);
  }
  return Utf16LeToUtf8(b);
}

std::wstring KeyPath(std::string_view key) {
  std::wstring p = L"SOFTWARE\\Talvor\\Qel\\1.0";
  if (!key.empty()) p += L"\\" + Wide(key);
  return p;
}

}  // namespace

WinRegistryStore::~WinRegistryStore() {
  if (current_) RegCloseKey(current_);
}

bool WinRegistryStore::KeyExists(std::string_view key) const {
  HKEY h;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, KeyPath(key).c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

bool WinRegistryStore::OpenKey(std::string_view key, bool create) {
  HKEY h = nullptr;
  LONG rc = create ? RegCreateKeyExW(HKEY_LOCAL_MACHINE, KeyPath(key).c_str(), 0, nullptr, 0,
                                     KEY_ALL_ACCESS, nullptr, &h, nullptr)
                   : RegOpenKeyExW(HKEY_LOCAL_MACHINE, KeyPath(key).c_str(), 0, KEY_READ, &h);
  if (rc != ERROR_SUCCESS) return false;
  if (current_) RegCloseKey(current_);
  current_ = h;
  return true;
}

std::optional<RegValue> WinRegistryStore::GetValue(std::string_view name) const {
  if (!current_) return std::nullopt;
  const std::wstring n = Wide(name);
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(current_, n.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
  std::vector<BYTE> buf(size + 2);
  if (RegQueryValueExW(current_, n.c_str(), nullptr, &type, buf.data(), &size) != ERROR_SUCCESS) return std::nullopt;
  RegValue v{type, {}};
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    std::size_t chars = size / 2;
    const auto* w = reinterpret_cast<const wchar_t*>(buf.data());
    while (chars > 0 && w[chars - 1] == L'\0') --chars;
    v.Data = Narrow(w, chars);
  } else {
    v.Data.assign(reinterpret_cast<const char*>(buf.data()), size);
  }
  return v;
}

void WinRegistryStore::SetValue(std::string_view name, const RegValue& value) {
  LONG rc = ERROR_INVALID_HANDLE;
  if (current_) {
    const std::wstring n = Wide(name);
    if (value.Type == REG_SZ || value.Type == REG_EXPAND_SZ) {
      const std::wstring w = Wide(value.Data);
      rc = RegSetValueExW(current_, n.c_str(), 0, value.Type, reinterpret_cast<const BYTE*>(w.c_str()),
                          static_cast<DWORD>((w.size() + 1) * sizeof(wchar_t)));
    } else {
      rc = RegSetValueExW(current_, n.c_str(), 0, value.Type, reinterpret_cast<const BYTE*>(value.Data.data()),
                          static_cast<DWORD>(value.Data.size()));
    }
  }
  if (rc != ERROR_SUCCESS) throw RegistryError(FailedToSetText(name), "error " + std::to_string(rc));
}

}  // namespace qel
#endif
