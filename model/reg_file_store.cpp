#include "reg_file_store.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include <string>
#include <unordered_map>

#include "atomic_file.h"
#ifdef _WIN32
#include "win_text.h"
#endif

namespace qel {

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::vector<char32_t> DecodeUtf8(std::string_view s) {
  std::vector<char32_t> out;
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    char32_t c = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
    bool ok = len > 0 && i + static_cast<std::size_t>(len) <= s.size();
    for (int k = 1; ok && k < len; ++k) {
      const auto cb = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
      if ((cb & 0xC0) != 0x80) ok = false;
      c = (c << 6) | (cb & 0x3F);
    }
    if (ok && (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) ok = false;
    if (!ok) {
      out.push_back(0xFFFD);
      ++i;
    } else {
      out.push_back(c);
      i += static_cast<std::size_t>(len);
    }
  }
  return out;
}

bool NeedsHexString(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  return false;
}

std::string QuoteText(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

// "hex:" or "hex(N):" followed by the bytes, wrapped like the registry
// editor wraps them (lines of at most 80 characters, continued with "\").
std::string HexText(std::string prefix, std::string_view bytes) {
  std::string out = std::move(prefix);
  std::size_t lineLen = out.size();
  char buf[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(bytes[i]));
    out += buf;
    lineLen += 2;
    if (i + 1 < bytes.size()) {
      out += ',';
      ++lineLen;
      if (lineLen > 76) {
        out += "\\\n  ";
        lineLen = 2;
      }
    }
  }
  return out;
}

class ParseError {
 public:
  std::string what;
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = AsciiLower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string_view TrimBlank(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::string ParseHexBytes(std::string_view s) {
  std::string out;
  std::size_t i = 0;
  s = TrimBlank(s);
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    if (i >= s.size()) break;
    if (i + 2 > s.size()) throw ParseError{"неполный байт в шестнадцатеричных данных"};
    const int hi = HexDigit(s[i]), lo = HexDigit(s[i + 1]);
    if (hi < 0 || lo < 0) throw ParseError{"неверная цифра в шестнадцатеричных данных"};
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    if (i < s.size()) {
      if (s[i] != ',') throw ParseError{"ожидалась запятая в шестнадцатеричных данных"};
      ++i;
      if (TrimBlank(s.substr(i)).empty()) throw ParseError{"данные оборваны после запятой"};
    }
  }
  return out;
}

// Reads a quoted text starting at s[0] == '"'; returns it and moves `used`
// past the closing quote.
std::string ParseQuoted(std::string_view s, std::size_t& used) {
  std::string out;
  std::size_t i = 1;
  for (;;) {
    if (i >= s.size()) throw ParseError{"нет закрывающей кавычки"};
    const char c = s[i++];
    if (c == '"') break;
    if (c == '\\') {
      if (i >= s.size()) throw ParseError{"нет закрывающей кавычки"};
      out += s[i++];
    } else {
      out += c;
    }
  }
  used = i;
  return out;
}

RegValue ParseValueText(std::string_view v) {
  v = TrimBlank(v);
  if (!v.empty() && v.front() == '"') {
    std::size_t used = 0;
    std::string text = ParseQuoted(v, used);
    if (!TrimBlank(v.substr(used)).empty()) throw ParseError{"лишние знаки после строки"};
    return RegValue{static_cast<std::uint32_t>(RegType::String), std::move(text)};
  }
  if (v.substr(0, 6) == "dword:") {
    const std::string_view digits = v.substr(6);
    if (digits.empty() || digits.size() > 8) throw ParseError{"неверное значение dword"};
    std::uint32_t u = 0;
    for (char c : digits) {
      const int d = HexDigit(c);
      if (d < 0) throw ParseError{"неверное значение dword"};
      u = u * 16 + static_cast<std::uint32_t>(d);
    }
    std::string data(4, '\0');
    for (int i = 0; i < 4; ++i) data[static_cast<std::size_t>(i)] = static_cast<char>((u >> (8 * i)) & 0xFF);
    return RegValue{static_cast<std::uint32_t>(RegType::DWord), data};
  }
  if (v.substr(0, 4) == "hex:") {
    return RegValue{static_cast<std::uint32_t>(RegType::Binary), ParseHexBytes(v.substr(4))};
  }
  if (v.substr(0, 4) == "hex(") {
    const auto close = v.find("):");
    if (close == std::string_view::npos || close == 4 || close > 12) throw ParseError{"неверный тип hex(...)"};
    std::uint32_t type = 0;
    for (char c : v.substr(4, close - 4)) {
      const int d = HexDigit(c);
      if (d < 0) throw ParseError{"неверный тип hex(...)"};
      type = type * 16 + static_cast<std::uint32_t>(d);
    }
    std::string bytes = ParseHexBytes(v.substr(close + 2));
    if (type == static_cast<std::uint32_t>(RegType::String) ||
        type == static_cast<std::uint32_t>(RegType::ExpandString)) {
      std::string text = Utf16LeToUtf8(bytes);
      while (!text.empty() && text.back() == '\0') text.pop_back();
      return RegValue{type, std::move(text)};
    }
    return RegValue{type, std::move(bytes)};
  }
  throw ParseError{"неизвестный вид значения"};
}

}  // namespace

std::string Utf8ToUtf16Le(std::string_view utf8) {
  std::string out;
  auto put = [&](char16_t u) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  };
  for (char32_t c : DecodeUtf8(utf8)) {
    if (c >= 0x10000) {
      c -= 0x10000;
      put(static_cast<char16_t>(0xD800 + (c >> 10)));
      put(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      put(static_cast<char16_t>(c));
    }
  }
  return out;
}

std::string Utf16LeToUtf8(std::string_view b) {
  std::string out;
  const std::size_t n = b.size() / 2;
  auto unit = [&](std::size_t i) {
    return static_cast<char16_t>(static_cast<unsigned char>(b[2 * i]) |
                                 (static_cast<unsigned char>(b[2 * i + 1]) << 8));
  };
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (unit(i + 1) - 0xDC00));
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      AppendUtf8(out, 0xFFFD);
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

RegFileStore::RegFileStore(std::string path) : path_(std::move(path)) {
  std::string text;
  // What cannot be read whole (no permission, an I/O error, a pipe or a
  // device, a file far too large) is not known to be damaged: it is kept.
  try {
    auto read = ReadRegularFile(path_, MaxFileSize);
    if (!read) return;
    text = std::move(*read);
  } catch (const FileError& e) {
    loadProblem_ = std::string("Настройки не прочитаны: ") + e.what() +
                   ". Файл оставлен как есть; настройки этого сеанса в него не записываются";
    readOnlyReason_ = "Файл настроек \"" + path_ + "\" не был прочитан при запуске (" + e.what() +
                      ") и не перезаписывается, чтобы не потерять его содержимое";
    return;
  }
  try {
    Parse(text);
  } catch (const RegistryError& e) {
    keys_.clear();
    std::string aside = path_ + ".bad";
    for (int n = 2; PathExists(aside); ++n) aside = path_ + ".bad." + std::to_string(n);
    loadProblem_ = std::string("Файл настроек \"") + path_ + "\" не прочитан: " + e.what();
    std::string reason;
    if (RenamePath(path_, aside, reason))
      loadProblem_ += ". Он перенесён в \"" + aside + "\"; используются настройки по умолчанию";
    else {
      loadProblem_ += ". Перенести его не удалось (" + reason +
                      "); используются настройки по умолчанию, в файл они не записываются";
      readOnlyReason_ = "Файл настроек \"" + path_ + "\" не прочитан и не перенесён (" + reason +
                        "); он не перезаписывается, чтобы не потерять его содержимое";
    }
  }
}

RegFileStore RegFileStore::ReadOnlyFromText(std::string path, const std::string& text) {
  RegFileStore store(std::move(path), NoRead{});
  store.Parse(text);
  store.readOnlyReason_ = "Файл настроек \"" + store.path_ + "\" открыт только для чтения";
  return store;
}

std::string RegFileStore::DefaultPath() {
#ifdef _WIN32
  // Windows keeps the settings in the registry; a file of them, where one is
  // wanted, lives with the user's other programs' data.
  const wchar_t* appData = _wgetenv(L"APPDATA");
  return (appData && *appData ? Utf8FromWide(appData) : CurrentFolder()) + "\\Talvor\\Qel\\1.0.reg";
#else
  std::string base;
  if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x) {
    base = x;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home ? home : ".") + "/.config";
  }
  return base + "/Talvor/Qel/1.0.reg";
#endif
}

void RegFileStore::Parse(const std::string& text) {
  std::vector<Key> keys;
  std::unordered_map<std::string, std::size_t> keyIndex;    // lower-cased path -> keys
  std::unordered_map<std::string, std::size_t> valueIndex;  // key number, lower-cased name -> Values
  int cur = -1;
  std::size_t pos = 0;
  int lineNo = 0;
  bool headerSeen = false;
  std::string_view all(text);
  if (all.substr(0, 3) == "\xEF\xBB\xBF") pos = 3;
  auto nextLine = [&](std::string_view& line) {
    if (pos >= all.size()) return false;
    auto nl = all.find('\n', pos);
    if (nl == std::string_view::npos) nl = all.size();
    line = all.substr(pos, nl - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos = nl + 1;
    ++lineNo;
    return true;
  };
  std::string_view line;
  try {
    while (nextLine(line)) {
      const std::string_view t = TrimBlank(line);
      if (t.empty() || t.front() == ';') continue;
      if (!headerSeen) {
        if (t != kHeader) throw ParseError{"нет заголовка \"" + std::string(kHeader) + "\""};
        headerSeen = true;
        continue;
      }
      if (t.front() == '[') {
        if (t.back() != ']' || t.size() < 3 || t[1] == '-') throw ParseError{"неверное имя раздела"};
        const std::string_view name = t.substr(1, t.size() - 2);
        // Indexes by the lower-cased name keep a file of many sections and
        // values linear to read.
        const auto [at, added] = keyIndex.try_emplace(LowerAscii(name), keys.size());
        if (added) keys.push_back(Key{std::string(name), {}});
        cur = static_cast<int>(at->second);
        continue;
      }
      if (cur < 0) throw ParseError{"значение вне раздела"};
      std::string name;
      std::size_t used = 0;
      if (t.front() == '@') {
        used = 1;
      } else if (t.front() == '"') {
        name = ParseQuoted(t, used);
      } else {
        throw ParseError{"непонятная строка"};
      }
      std::string_view rest = TrimBlank(t.substr(used));
      if (rest.empty() || rest.front() != '=') throw ParseError{"нет знака \"=\" после имени"};
      rest = TrimBlank(rest.substr(1));
      std::string valueText(rest);
      if (rest.substr(0, 3) == "hex") {
        while (!valueText.empty() && valueText.back() == '\\') {
          valueText.pop_back();
          std::string_view more;
          if (!nextLine(more)) throw ParseError{"данные оборваны в конце файла"};
          valueText += TrimBlank(more);
        }
      }
      RegValue value = ParseValueText(valueText);
      auto& values = keys[static_cast<std::size_t>(cur)].Values;
      const auto [at, added] = valueIndex.try_emplace(std::to_string(cur) + '\n' + LowerAscii(name), values.size());
      if (added) {
        values.emplace_back(std::move(name), std::move(value));
      } else {
        values[at->second].second = std::move(value);
      }
    }
    if (!headerSeen) throw ParseError{"нет заголовка \"" + std::string(kHeader) + "\""};
  } catch (const ParseError& e) {
    throw RegistryError("строка " + std::to_string(lineNo) + ": " + e.what);
  }
  keys_ = std::move(keys);
  current_ = -1;
}

std::string RegFileStore::Serialize() const {
  std::string out(kHeader);
  out += "\n\n";
  for (const Key& key : keys_) {
    out += "[" + key.Path + "]\n";
    for (const auto& [name, v] : key.Values) {
      out += name.empty() ? std::string("@") : QuoteText(name);
      out += '=';
      const auto type = static_cast<RegType>(v.Type);
      if (type == RegType::String && !NeedsHexString(v.Data)) {
        out += QuoteText(v.Data);
      } else if (type == RegType::String || type == RegType::ExpandString) {
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, "hex(%x):", v.Type);
        out += HexText(prefix, Utf8ToUtf16Le(v.Data) + std::string(2, '\0'));
      } else if (type == RegType::DWord && v.Data.size() == 4) {
        std::uint32_t u = 0;
        for (int i = 3; i >= 0; --i) u = (u << 8) | static_cast<unsigned char>(v.Data[static_cast<std::size_t>(i)]);
        char buf[24];
        std::snprintf(buf, sizeof buf, "dword:%08x", u);
        out += buf;
      } else if (type == RegType::Binary) {
        out += HexText("hex:", v.Data);
      } else {
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, "hex(%x):", v.Type);
        out += HexText(prefix, v.Data);
      }
      out += '\n';
    }
    out += '\n';
  }
  return out;
}

int RegFileStore::FindKey(std::string_view fullPath) const {
  for (std::size_t k = 0; k < keys_.size(); ++k)
    if (SameName(keys_[k].Path, fullPath)) return static_cast<int>(k);
  return -1;
}

std::string RegFileStore::FullPath(std::string_view key) const {
  std::string p(BaseKey);
  if (!key.empty()) {
    p += '\\';
    p += key;
  }
  return p;
}

int RegFileStore::FirstSubkey(std::string_view fullPath) const {
  for (std::size_t k = 0; k < keys_.size(); ++k) {
    const std::string_view p = keys_[k].Path;
    if (p.size() > fullPath.size() && p[fullPath.size()] == '\\' && SameName(p.substr(0, fullPath.size()), fullPath))
      return static_cast<int>(k);
  }
  return -1;
}

// As in the registry, a key with subkeys exists even where the file has no
// section of its own for it.
bool RegFileStore::KeyExists(std::string_view key) const {
  const std::string full = FullPath(key);
  return FindKey(full) >= 0 || FirstSubkey(full) >= 0;
}

bool RegFileStore::OpenKey(std::string_view key, bool create) {
  const std::string full = FullPath(key);
  int k = FindKey(full);
  if (k < 0 && (k = FirstSubkey(full)) >= 0) {
    // Implied by its subkeys: it gets its section, listed before theirs.
    keys_.insert(keys_.begin() + k, Key{full, {}});
  } else if (k < 0) {
    if (!create) return false;
    // Parents first, so the file lists the tree from the top.
    if (!key.empty()) {
      const auto slash = key.find_last_of('\\');
      const std::string_view parent = slash == std::string_view::npos ? std::string_view() : key.substr(0, slash);
      if (FindKey(FullPath(parent)) < 0) OpenKey(parent, true);
    }
    keys_.push_back(Key{full, {}});
    k = static_cast<int>(keys_.size()) - 1;
    dirty_ = true;
  }
  current_ = k;
  return true;
}

std::optional<RegValue> RegFileStore::GetValue(std::string_view name) const {
  if (current_ < 0) return std::nullopt;
  for (const auto& [n, v] : keys_[static_cast<std::size_t>(current_)].Values)
    if (SameName(n, name)) return v;
  return std::nullopt;
}

void RegFileStore::SetValue(std::string_view name, const RegValue& value) {
  if (current_ < 0) throw RegistryError(FailedToSetText(name), "no key is open");
  auto& values = keys_[static_cast<std::size_t>(current_)].Values;
  bool found = false;
  for (auto& [n, v] : values)
    if (SameName(n, name)) {
      v = value;
      found = true;
      break;
    }
  if (!found) values.emplace_back(std::string(name), value);
  dirty_ = true;
  if (updateDepth_ == 0) {
    try {
      Flush();
    } catch (const RegistryError& e) {
      throw RegistryError(FailedToSetText(name), e.Detail());
    }
  }
}

void RegFileStore::DeleteValue(std::string_view name) {
  if (current_ < 0) throw RegistryError(FailedToSetText(name), "no key is open");
  auto& values = keys_[static_cast<std::size_t>(current_)].Values;
  const auto it = std::find_if(values.begin(), values.end(), [&](const auto& v) { return SameName(v.first, name); });
  if (it == values.end()) return;
  values.erase(it);
  dirty_ = true;
  if (updateDepth_ == 0) {
    try {
      Flush();
    } catch (const RegistryError& e) {
      throw RegistryError(FailedToSetText(name), e.Detail());
    }
  }
}

void RegFileStore::EndUpdate() {
  if (updateDepth_ > 0) --updateDepth_;
  if (updateDepth_ == 0 && dirty_) Flush();
}

void RegFileStore::Flush() {
  if (ReadOnly()) throw RegistryError("Не удалось сохранить настройки", readOnlyReason_);
  try {
    MakeParentFolders(path_);
    WriteFile(path_, Serialize());
    dirty_ = false;
  } catch (const FileError& e) {
    throw RegistryError("Не удалось сохранить настройки", e.what());
  }
}

void RegFileStore::WriteFile(const std::string& path, const std::string& text) {
  WriteFileAtomically(path, text);
}

}  // namespace qel
