#pragma once
// The texts of the file layer's failures, the same on every platform.

#include <string>

#include "atomic_file.h"

namespace qel::file_messages {

[[noreturn]] inline void Fail(const std::string& what, const std::string& path, const std::string& reason) {
  throw FileError(what + " \"" + path + "\": " + reason);
}

[[noreturn]] inline void Refuse(const std::string& path, const std::string& why) {
  throw FileError("Не удалось прочитать файл \"" + path + "\": " + why);
}

inline std::string TooLarge(std::size_t limit) { return "он больше " + std::to_string(limit) + " байт"; }

inline const char* NotRegular() { return "это не обычный файл (канал, устройство или папка)"; }

}  // namespace qel::file_messages
