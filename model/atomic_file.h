#pragma once
// Files that are replaced whole: the data goes to a temporary file in the same
// folder, is flushed to the disk, and only then takes the target's name, so a
// crash, a power cut or a full disk never leaves a half-written file behind.

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

// Reads a whole file. Throws FileError (with the system's reason) on failure.
std::string ReadWholeFile(const std::string& path);

// True when something exists at the path.
bool PathExists(const std::string& path);

// The system's text for an error number.
std::string SystemReason(int err);

}  // namespace qel
