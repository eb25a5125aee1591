#ifdef _WIN32
#include "win_text.h"

#include <windows.h>

#include "file_messages.h"

namespace qel {

std::wstring WideFromUtf8(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
  return w;
}

std::string Utf8FromWide(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), s.data(), n, nullptr, nullptr);
  return s;
}

namespace {
bool StartsWith(const std::wstring& s, const wchar_t* prefix) { return s.rfind(prefix, 0) == 0; }
}  // namespace

std::wstring WinPath(std::string_view utf8) {
  std::wstring w = WideFromUtf8(utf8);
  constexpr std::size_t Near = MAX_PATH - 60;
  // Already past the limit's reach: a long-path or a device name.
  if (StartsWith(w, L"\\\\?\\") || StartsWith(w, L"\\\\.\\")) return w;
  // A short path from the root ("C:\...", "\\server\share\...") stays short; any
  // other (relative, "C:name") is as long as it is once made absolute.
  const bool rooted = (w.size() >= 3 && w[1] == L':' && (w[2] == L'\\' || w[2] == L'/')) ||
                      StartsWith(w, L"\\\\") || StartsWith(w, L"//");
  if (rooted && w.size() < Near) return w;
  DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
  if (n == 0) return w;
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(w.c_str(), n, full.data(), nullptr);
  if (n == 0 || n >= full.size()) return w;
  full.resize(n);
  if (full.size() < Near) return w.size() < Near ? w : full;  // "..": shorter once whole
  // A name that Windows gives as a device or long path already ("NUL"): as it is.
  if (StartsWith(full, L"\\\\?\\") || StartsWith(full, L"\\\\.\\")) return full;
  if (StartsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);  // a share
  return L"\\\\?\\" + full;
}

namespace {
// The system's own text for the code, empty when it has none.
std::string SystemText(unsigned long err) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, err, 0,
      reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring w = n > 0 && text ? std::wstring(text, n) : std::wstring();
  if (text) LocalFree(text);
  while (!w.empty() && (w.back() == L'\r' || w.back() == L'\n' || w.back() == L' ' || w.back() == L'.')) w.pop_back();
  return Utf8FromWide(w);
}
}  // namespace

std::string WinReason(unsigned long err) {
  std::string text = SystemText(err);
  if (text.empty()) return "системная ошибка " + std::to_string(err);
  return text;
}

std::string WinFileReason(unsigned long err) {
  switch (err) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return file_messages::NoSuchFile();
    case ERROR_ACCESS_DENIED: return file_messages::NoPermission();
    case ERROR_WRITE_PROTECT: return file_messages::ReadOnly();
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return file_messages::DiskFull();
    case ERROR_DIRECTORY: return file_messages::NotAFolder();
    case ERROR_FILENAME_EXCED_RANGE: return file_messages::NameTooLong();
    default: return file_messages::OtherReason(static_cast<long long>(err), SystemText(err));
  }
}

}  // namespace qel
#endif
