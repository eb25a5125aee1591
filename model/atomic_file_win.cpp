// Files on Windows: wide-character calls throughout, so a folder or a file
// named in Cyrillic (or any script) is reached whatever the system's code page.
#ifdef _WIN32
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <vector>

#include "atomic_file.h"
#include "file_messages.h"
#include "win_text.h"

namespace qel {

using file_messages::Refuse;
using file_messages::TooLarge;

std::string SystemReason(int err) { return file_messages::ErrnoReason(err); }

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path, DWORD err) {
  file_messages::Fail(what, path, WinFileReason(err));
}

// The folder part of a path with its closing separator ("C:\Data\",
// "C:\"), or "" for a bare name.
std::string FolderPrefix(const std::string& path) {
  const auto slash = path.find_last_of("\\/");
  if (slash != std::string::npos) return path.substr(0, slash + 1);
  if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);  // "C:name"
  return {};
}

struct Handle {
  HANDLE h = INVALID_HANDLE_VALUE;
  ~Handle() {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};

// A number for temporary names, unique within the process.
unsigned NextSerial() {
  static std::atomic<unsigned> serial{0};
  return serial++;
}

bool Missing(DWORD err) {
  return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND || err == ERROR_INVALID_NAME ||
         err == ERROR_BAD_NETPATH;
}

}  // namespace

bool PathExists(const std::string& path) {
  return GetFileAttributesW(WinPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteFileAtomically(const std::string& path, std::string_view data) {
  const std::wstring target = WinPath(path);
  // A short name beside the target, unique to this process and call.
  std::wstring tmp;
  HANDLE h = INVALID_HANDLE_VALUE;
  DWORD err = ERROR_SUCCESS;
  for (int attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
    tmp = WinPath(FolderPrefix(path) + ".qel-" + std::to_string(GetCurrentProcessId()) + "-" +
                  std::to_string(NextSerial()));
    h = CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      err = GetLastError();
      if (err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS) break;
    }
  }
  if (h == INVALID_HANDLE_VALUE) Fail("Не удалось создать файл", path, err);
  auto abandon = [&](const char* what, DWORD e) {
    CloseHandle(h);
    DeleteFileW(tmp.c_str());
    Fail(what, path, e);
  };

  std::size_t done = 0;
  while (done < data.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(h, data.data() + done, chunk, &written, nullptr)) abandon("Ошибка записи файла", GetLastError());
    if (written == 0) abandon("Ошибка записи файла", ERROR_WRITE_FAULT);
    done += written;
  }
  // What the old file carries goes over to the new one.
  WIN32_FILE_ATTRIBUTE_DATA old;
  const bool replacing = GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &old);
  if (replacing) SetFileTime(h, &old.ftCreationTime, nullptr, nullptr);
  if (!FlushFileBuffers(h)) abandon("Ошибка записи файла", GetLastError());
  if (!CloseHandle(h)) {
    err = GetLastError();
    DeleteFileW(tmp.c_str());
    Fail("Ошибка записи файла", path, err);
  }
  // Not the read-only attribute: Windows refuses to replace a read-only
  // file, and that refusal is reported below.
  constexpr DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                         FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  if (replacing && (old.dwFileAttributes & kept) != 0)
    SetFileAttributesW(tmp.c_str(), old.dwFileAttributes & kept);

  // The new file takes the name in one step, written through to the disk. A
  // rename would drop what the old file carried; its attributes and its
  // creation time go over first. (ReplaceFileW would carry its permissions
  // too, but where it fails it may leave a stray file of its own beside the
  // target.)
  if (!MoveFileExW(tmp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    err = GetLastError();
    DeleteFileW(tmp.c_str());
    Fail("Не удалось заменить файл", path, err);
  }
}

namespace file_detail {

std::optional<std::string> ReadUpTo(const std::string& path, std::size_t limit,
                                    const std::function<void(std::uintmax_t)>& checkSize, bool regularOnly) {
  Handle f;
  f.h = CreateFileW(WinPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f.h == INVALID_HANDLE_VALUE) {
    const DWORD err = GetLastError();
    if (Missing(err)) return std::nullopt;
    // A folder cannot be opened as a file: said as for a device.
    const DWORD attributes = GetFileAttributesW(WinPath(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
      Refuse(path, file_messages::NotRegular());
    Fail("Не удалось открыть файл", path, err);
  }
  const DWORD type = GetFileType(f.h);
  std::size_t upTo = limit;
  if (type == FILE_TYPE_DISK) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(f.h, &size)) Fail("Не удалось открыть файл", path, GetLastError());
    const auto bytes = static_cast<std::uintmax_t>(size.QuadPart);
    if (regularOnly && bytes > limit) Refuse(path, TooLarge(limit));
    if (checkSize) checkSize(bytes);
    if (regularOnly && limit < std::numeric_limits<std::size_t>::max()) upTo = limit + 1;
  } else if (regularOnly || type != FILE_TYPE_PIPE) {
    // A console or a port would wait for input for ever; only a pipe's
    // waiting bytes can be taken without waiting.
    Refuse(path, file_messages::NotRegular());
  } else {
    DWORD waiting = 0;
    if (!PeekNamedPipe(f.h, nullptr, 0, nullptr, &waiting, nullptr)) {
      const DWORD err = GetLastError();
      if (err == ERROR_BROKEN_PIPE) return std::string();
      Fail("Ошибка чтения файла", path, err);
    }
    upTo = std::min<std::size_t>(limit < std::numeric_limits<std::size_t>::max() ? limit + 1 : limit, waiting);
  }
  std::string out;
  std::vector<char> buf(65536);
  while (out.size() < upTo) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(buf.size(), upTo - out.size()));
    if (!ReadFile(f.h, buf.data(), want, &got, nullptr)) {
      const DWORD err = GetLastError();
      if (err == ERROR_BROKEN_PIPE) break;
      Fail("Ошибка чтения файла", path, err);
    }
    if (got == 0) break;
    out.append(buf.data(), got);
  }
  if (out.size() > limit) Refuse(path, TooLarge(limit));
  return out;
}

}  // namespace file_detail

bool RenamePath(const std::string& from, const std::string& to, std::string& reason) {
  if (MoveFileExW(WinPath(from).c_str(), WinPath(to).c_str(), MOVEFILE_WRITE_THROUGH)) return true;
  reason = WinFileReason(GetLastError());
  return false;
}

void MakeParentFolders(const std::string& filePath) {
  const std::string folder = FolderPrefix(filePath);
  // Each folder from the top ("C:\a\", "C:\a\b\"); a drive or a share's
  // root already exists and fails harmlessly.
  for (std::size_t p = folder.find_first_of("\\/", 1); p != std::string::npos; p = folder.find_first_of("\\/", p + 1))
    CreateDirectoryW(WinPath(folder.substr(0, p)).c_str(), nullptr);
}

std::string FolderWriteProblem(const std::string& folder) {
  if (folder.empty()) return "каталог не указан";
  std::string prefix = folder;
  if (prefix.back() != '\\' && prefix.back() != '/') prefix += '\\';
  const std::wstring name =
      WinPath(prefix + ".qel-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(NextSerial()));
  HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    CloseHandle(h);
    return {};
  }
  const DWORD e = GetLastError();
  if (e == ERROR_PATH_NOT_FOUND || e == ERROR_FILE_NOT_FOUND || e == ERROR_BAD_NETPATH) {
    // "C:\file.txt\": Windows says the path is not found; name it as it is.
    std::string bare = folder;
    while (bare.size() > 1 && (bare.back() == '\\' || bare.back() == '/')) bare.pop_back();
    const DWORD attributes = GetFileAttributesW(WinPath(bare).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return "это не каталог";
    return "каталог не существует";
  }
  switch (e) {
    case ERROR_DIRECTORY: return "это не каталог";
    case ERROR_ACCESS_DENIED: return "нет прав на запись в каталог";
    case ERROR_WRITE_PROTECT: return "файловая система доступна только для чтения";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return "на диске нет места";
    case ERROR_FILENAME_EXCED_RANGE: return "слишком длинное имя каталога";
    default: return WinFileReason(e);
  }
}

std::string CurrentFolder() {
  const DWORD n = GetCurrentDirectoryW(0, nullptr);
  if (n == 0) return ".";
  std::wstring w(n, L'\0');
  const DWORD got = GetCurrentDirectoryW(n, w.data());
  if (got == 0 || got >= n) return ".";
  w.resize(got);
  return Utf8FromWide(w);
}

}  // namespace qel
#endif
