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
// is thrown.
void WriteFileAtomically(const std::string& path, std::string_view data);

// Reads a file to its end, but never more than `limit` bytes; std::nullopt
// when nothing is at the path. Any file is read, a pipe or a device too, and
// nothing waits: the open does not wait for a pipe's writer, and a file that
// is not a regular one is read without waiting for data (what is not there
// yet is an error). For a regular file, `checkSize` sees its size before a
// byte is read and may throw. Throws FileError (naming the file, with the
// system's reason) on any other failure.
std::optional<std::string> ReadFileUpTo(const std::string& path, std::size_t limit,
                                        const std::function<void(std::uintmax_t)>& checkSize = {});

// Reads a regular file (or one a link points to) whole; std::nullopt when
// nothing is at the path. Anything else there (a pipe, a device, a socket, a
// folder) and a file of more than `limit` bytes is not read: FileError naming
// the file and why.
std::optional<std::string> ReadRegularFile(const std::string& path, std::size_t limit);

// True when something exists at the path.
bool PathExists(const std::string& path);

// The system's text for an error number.
std::string SystemReason(int err);

}  // namespace qel
