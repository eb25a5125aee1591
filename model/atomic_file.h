#pragma once
// Files that are replaced whole: the data goes to a temporary file in the same
// folder, is flushed to the disk, and only then takes the target's name, so a
// crash, a power cut or a full disk never leaves a half-written file behind.

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qel {

// An input/output failure; the message names the file and the system's reason.
class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Replaces (or creates) the file at `path` with `data`. On any failure the old
// file is left exactly as it was, the temporary file is removed, and FileError
// is thrown. A device or a pipe at `path` is written into, never replaced.
void WriteFileAtomically(const std::string& path, std::string_view data);

// Reads a file to its end, but never more than `limit` bytes; std::nullopt
// when nothing is at the path. Any file is read, a pipe or a device too, and
// nothing waits: the open does not wait for a pipe's writer, and a file that
// is not a regular one is read without waiting for data (what is not there
// yet is an error). On Windows a pipe gives what waits in it and a device
// (a console, a port) or a folder is refused. For a regular file, `checkSize` sees its size before a
// byte is read and may throw. Throws FileError (naming the file, with the
// system's reason) on any other failure.
// Each system's reading, behind the two below: with `regularOnly`, anything
// but a regular file, and a regular file of more than `limit` bytes, is
// refused before a byte is read.
namespace file_detail {
std::optional<std::string> ReadUpTo(const std::string& path, std::size_t limit,
                                    const std::function<void(std::uintmax_t)>& checkSize, bool regularOnly);
}  // namespace file_detail

inline std::optional<std::string> ReadFileUpTo(const std::string& path, std::size_t limit,
                                               const std::function<void(std::uintmax_t)>& checkSize = {}) {
  return file_detail::ReadUpTo(path, limit, checkSize, false);
}


// Reads a regular file (or one a link points to) whole; std::nullopt when
// nothing is at the path. Anything else there (a pipe, a device, a socket, a
// folder) and a file of more than `limit` bytes is not read: FileError naming
// the file and why.
inline std::optional<std::string> ReadRegularFile(const std::string& path, std::size_t limit) {
  return file_detail::ReadUpTo(path, limit, {}, true);
}

// True when something exists at the path.
bool PathExists(const std::string& path);

// Why a file call failed, for an error number (errno): the common causes
// (missing, no permission, read-only file system, disk full, not a folder,
// name too long) in Russian, any other as "системная ошибка N (the system's
// text)". On Windows the file calls' own codes are said the same way
// (WinFileReason).
std::string SystemReason(int err);

// The platform's separator between a folder and a name.
#ifdef _WIN32
inline constexpr char PathSeparator = '\\';
#else
inline constexpr char PathSeparator = '/';
#endif

// A file name in a folder, with one separator between them however the
// folder's name ends: "saves", "saves/" and "saves//" give "saves/NAME", the
// root "/" gives "/NAME" (on Windows "C:\" gives "C:\NAME"; there "/" counts
// as a separator too).
inline std::string PathInFolder(std::string_view folder, std::string_view name) {
  auto separator = [](char c) {
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
  };
  while (!folder.empty() && separator(folder.back())) folder.remove_suffix(1);
  std::string path(folder);
  path += PathSeparator;
  path += name;
  return path;
}

// Gives a file another name, never one that a file already has; false, with
// the system's reason, when it cannot.
bool RenamePath(const std::string& from, const std::string& to, std::string& reason);

// Creates the missing folders above a file, as the registry creates missing
// keys; one that cannot be made is left to the write that follows to report.
void MakeParentFolders(const std::string& filePath);

// The process's current folder.
std::string CurrentFolder();

// Why no file can be made in the folder ("каталог не существует", "нет прав
// на запись в каталог", ...), found by making and removing one; empty when
// one can.
std::string FolderWriteProblem(const std::string& folder);

}  // namespace qel
