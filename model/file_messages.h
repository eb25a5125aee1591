#pragma once
// The texts of the file layer's failures, the same on every platform.

#include <cerrno>
#include <cstring>
#include <string>

#include "atomic_file.h"

namespace qel::file_messages {

// The common causes of a failed file call, in the operator's words.
inline const char* NoSuchFile() { return "нет такого файла или каталога"; }
inline const char* NoPermission() { return "нет прав доступа"; }
inline const char* ReadOnly() { return "файловая система доступна только для чтения"; }
inline const char* DiskFull() { return "на диске нет места"; }
inline const char* NotAFolder() { return "часть пути не является каталогом"; }
inline const char* NameTooLong() { return "слишком длинное имя файла или путь"; }
inline const char* IsAFolder() { return "это папка, а не файл"; }

// Any other cause: its number, and the system's own text (often English) in
// parentheses.
inline std::string OtherReason(long long code, const std::string& systemText) {
  const std::string number = "системная ошибка " + std::to_string(code);
  return systemText.empty() ? number : number + " (" + systemText + ")";
}

// The reason for an error number (errno).
inline std::string ErrnoReason(int err) {
  switch (err) {
    case ENOENT: return NoSuchFile();
    case EACCES:
    case EPERM: return NoPermission();
    case EROFS: return ReadOnly();
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
      return DiskFull();
    case ENOTDIR: return NotAFolder();
    case ENAMETOOLONG: return NameTooLong();
    case EISDIR: return IsAFolder();
    default: return OtherReason(err, std::strerror(err));
  }
}

[[noreturn]] inline void Fail(const std::string& what, const std::string& path, const std::string& reason) {
  throw FileError(what + " \"" + path + "\": " + reason);
}

[[noreturn]] inline void Refuse(const std::string& path, const std::string& why) {
  throw FileError("Не удалось прочитать файл \"" + path + "\": " + why);
}

inline std::string TooLarge(std::size_t limit) { return "он больше " + std::to_string(limit) + " байт"; }

inline const char* NotRegular() { return "это не обычный файл (канал, устройство или папка)"; }

}  // namespace qel::file_messages
