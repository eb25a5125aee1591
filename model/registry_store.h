#pragma once
// The program's key in the system registry and its subkeys, behind an
// interface: a file of the registry editor's export format here, the Windows
// registry where there is one.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qel {

class RegistryError : public std::runtime_error {
 public:
  explicit RegistryError(const std::string& what, std::string detail = {})
      : std::runtime_error(what), detail_(std::move(detail)) {}
  // The system's reason, where there is one (file and errno text).
  const std::string& Detail() const { return detail_; }

 private:
  std::string detail_;
};

// Registry value types, numbered as the Windows registry numbers them.
enum class RegType : std::uint32_t {
  None = 0,
  String = 1,
  ExpandString = 2,
  Binary = 3,
  DWord = 4,
  MultiString = 7,
  QWord = 11,
};

struct RegValue {
  std::uint32_t Type = 0;
  // DWord: 4 bytes little-endian; Binary and other types: the raw bytes;
  // String and ExpandString: the text in UTF-8.
  std::string Data;

  bool operator==(const RegValue&) const = default;
};

class RegistryStore {
 public:
  virtual ~RegistryStore() = default;

  // Keys are named relative to the program's key "SOFTWARE\Talvor\Qel\1.0";
  // "" is that key itself, "Position" one of its subkeys.
  virtual bool KeyExists(std::string_view key) const = 0;
  // Makes the key the current one. Without create a missing key is not opened
  // (false); with create it is made, parents included.
  virtual bool OpenKey(std::string_view key, bool create) = 0;
  // In the current key. Names compare without regard to ASCII case.
  virtual std::optional<RegValue> GetValue(std::string_view name) const = 0;
  // Throws RegistryError "Failed to set data for '<name>'" when it cannot.
  virtual void SetValue(std::string_view name, const RegValue& value) = 0;
  // Removes the value from the current key; nothing when it is not there.
  // Throws RegistryError like SetValue.
  virtual void DeleteValue(std::string_view name) = 0;

  // Writes are grouped: a backend that keeps the whole store in one file
  // replaces that file once, in EndUpdate, which throws RegistryError (its
  // Detail says why) when the replacement fails.
  virtual void BeginUpdate() {}
  virtual void EndUpdate() {}

  // Typed access. A read of the wrong type throws
  // RegistryError "Invalid data type for '<name>'".
  bool ValueExists(std::string_view name) const { return GetValue(name).has_value(); }
  std::int32_t ReadInteger(std::string_view name) const;
  bool ReadBool(std::string_view name) const { return ReadInteger(name) != 0; }
  std::string ReadString(std::string_view name) const;
  double ReadFloat(std::string_view name) const;  // 8-byte binary IEEE double
  void WriteInteger(std::string_view name, std::int32_t v);
  void WriteBool(std::string_view name, bool v) { WriteInteger(name, v ? 1 : 0); }
  void WriteString(std::string_view name, std::string_view v);
  void WriteFloat(std::string_view name, double v);
};

std::string InvalidDataTypeText(std::string_view name);
std::string FailedToSetText(std::string_view name);

}  // namespace qel
