#pragma once
// The program's registry key kept in a file of the registry editor's export
// format ("Windows Registry Editor Version 5.00", UTF-8):
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Talvor\Qel\1.0\Position]
//   "Top"=dword:0000000a
//   "Port"="COM1"
//   "X1"=hex:00,00,00,00,00,00,00,00
//
// The whole store is replaced atomically on every save.

#include <string>
#include <utility>
#include <vector>

#include "registry_store.h"

namespace qel {

class RegFileStore : public RegistryStore {
 public:
  static constexpr std::string_view BaseKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvor\\Qel\\1.0";
  // A settings file is a few kilobytes; anything larger is not read.
  static constexpr std::size_t MaxFileSize = 4 * 1024 * 1024;

  // Reads the file; a missing file is an empty store. A file read whole that
  // cannot be parsed is moved aside (to "<path>.bad", or "<path>.bad.N" when
  // that name is taken), the store starts empty and LoadProblem() says what and
  // where. A file that exists but cannot be read whole (permissions, an I/O
  // error, not a regular file: a pipe, a device; larger than MaxFileSize) is
  // not known to be damaged: it stays as it is and the store is read-only for
  // the run, so no save can replace it; LoadProblem() says so. Never throws.
  explicit RegFileStore(std::string path);

  // A store parsed from a settings file's text already in hand, for readers
  // that must leave the file alone: nothing is read, moved or created, and
  // every save is refused. Throws RegistryError when the text does not parse.
  static RegFileStore ReadOnlyFromText(std::string path, const std::string& text);

  // $XDG_CONFIG_HOME/Talvor/Qel/1.0.reg, ~/.config/... when the variable is unset.
  static std::string DefaultPath();

  const std::string& Path() const { return path_; }
  // What went wrong at start, for the window to show; empty when nothing did.
  const std::string& LoadProblem() const { return loadProblem_; }
  // Every save fails, naming the file and why, instead of replacing it.
  bool ReadOnly() const { return !readOnlyReason_.empty(); }

  bool KeyExists(std::string_view key) const override;
  bool OpenKey(std::string_view key, bool create) override;
  std::optional<RegValue> GetValue(std::string_view name) const override;
  void SetValue(std::string_view name, const RegValue& value) override;
  void DeleteValue(std::string_view name) override;
  void BeginUpdate() override { ++updateDepth_; }
  void EndUpdate() override;

  // The file's text as it would be written now.
  std::string Serialize() const;

  // Parses a file's text into this store; throws RegistryError whose message
  // names the line.
  void Parse(const std::string& text);

 protected:
  // Writes the file; tests put a failing writer here.
  virtual void WriteFile(const std::string& path, const std::string& text);

 private:
  struct NoRead {};
  RegFileStore(std::string path, NoRead) : path_(std::move(path)) {}

  struct Key {
    std::string Path;  // full path, "HKEY_LOCAL_MACHINE\..."
    std::vector<std::pair<std::string, RegValue>> Values;
  };
  int FindKey(std::string_view fullPath) const;
  int FirstSubkey(std::string_view fullPath) const;  // -1 when the key has none
  std::string FullPath(std::string_view key) const;
  void Flush();

  std::string path_;
  std::string loadProblem_;
  std::string readOnlyReason_;  // why saves are refused; empty when they are not
  std::vector<Key> keys_;
  int current_ = -1;
  int updateDepth_ = 0;
  bool dirty_ = false;
};

// UTF-8 <-> UTF-16LE, invalid sequences becoming U+FFFD.
std::string Utf8ToUtf16Le(std::string_view utf8);
std::string Utf16LeToUtf8(std::string_view utf16le);

}  // namespace qel
