#include "pass_archive.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "atomic_file.h"
#include "auto_save.h"
#include "number_format.h"

namespace qel {

std::uint16_t AccumulatePoint(float& mean, std::uint16_t y, std::int32_t count) {
  mean = static_cast<float>(mean + (static_cast<long double>(y) - mean) / std::max(count, 1));
  return static_cast<std::uint16_t>(std::clamp<long long>(RoundEven(mean), 0, MaxValidValue));
}

void StorePoint(SpectrumBuffer& spectrum, std::uint16_t x, std::uint16_t y, std::uint8_t points,
                std::uint16_t& currentCode, const std::function<void(std::uint16_t)>& onCode) {
  spectrum[x] = SpectrumPoint{x, y};
  for (std::uint8_t k = 0; k < points && currentCode <= 65522; ++k) {
    const std::uint16_t c = currentCode;
    spectrum[c] = SpectrumPoint{c, y};
    if (onCode) onCode(c);
    currentCode = static_cast<std::uint16_t>(c + 1);
  }
}

void RejectPoint(SpectrumBuffer& spectrum, std::uint8_t points, std::uint16_t& currentCode) {
  for (std::uint8_t k = 0; k < points && currentCode <= 65522; ++k) {
    spectrum[currentCode] = EmptyPoint;
    ++currentCode;
  }
}

std::int32_t NextAccumCount(std::int32_t count, std::int32_t rtNumb, bool& restart) {
  restart = count > rtNumb;
  if (restart) count = 0;
  if (count < rtNumb) ++count;
  return count;
}

std::optional<SpectrumBuffer> ReplayPasses(const std::vector<PassRecord>& passes,
                                           const std::set<std::uint32_t>& excluded) {
  std::optional<SpectrumBuffer> spectrum;
  auto accum = std::make_unique<AccumBuffer>();
  std::int32_t count = 0;
  for (const PassRecord& pass : passes) {
    if (excluded.count(pass.Number)) continue;
    bool restart = false;
    count = NextAccumCount(spectrum ? count : 0, pass.RTNumb, restart);
    if (!spectrum || restart) accum->fill(0.0f);
    if (!spectrum) spectrum.emplace();
    spectrum->fill(EmptyPoint);
    std::uint16_t currentCode = 0;
    for (const PassEntry& e : pass.Entries) {
      if (e.Value == PassCleared) {
        spectrum->fill(EmptyPoint);
        continue;
      }
      currentCode = e.Code;
      if (e.Value == PassRejected) {
        RejectPoint(*spectrum, e.Points, currentCode);
        continue;
      }
      const std::uint16_t y = AccumulatePoint((*accum)[e.Code], e.Value, count);
      StorePoint(*spectrum, e.Code, y, e.Points, currentCode);
    }
    std::copy(pass.Records.begin(), pass.Records.end(), spectrum->end() - 10);
    // The passes in the mean: the window's count, renumbered without the
    // passes left out.
    for (auto r = spectrum->end() - 10; r != spectrum->end(); ++r)
      if (r->Value == TagAccumCount) r->Code = static_cast<std::uint16_t>(count);
  }
  return spectrum;
}

std::pair<std::size_t, std::size_t> PassCodeSpan(const PassRecord& pass) {
  std::size_t first = MaxFieldCode + 1, last = 0;
  for (const PassEntry& e : pass.Entries) {
    if (e.Value == PassCleared || e.Value == PassRejected || e.Code > MaxFieldCode) continue;
    first = std::min<std::size_t>(first, e.Code);
    last = std::max<std::size_t>(last, std::min<std::size_t>(e.Code + std::max<std::uint8_t>(e.Points, 1) - 1, MaxFieldCode));
  }
  return {first, last};
}

bool PassCodeBlock(const PassRecord& pass, std::size_t first, std::vector<std::uint16_t>& block) {
  std::fill(block.begin(), block.end(), PassNoValue);
  bool any = false;
  const std::size_t end = std::min<std::size_t>(first + block.size(), MaxFieldCode + 1);
  for (const PassEntry& e : pass.Entries) {
    if (e.Value == PassCleared) continue;
    if (e.Value != PassRejected && e.Code > MaxFieldCode) continue;
    // A value fills its code and the codes the telegram covered; a rejected
    // one empties the codes covered.
    const bool rejected = e.Value == PassRejected;
    const std::size_t from = e.Code;
    const std::size_t to = std::min<std::size_t>(from + (rejected ? e.Points : std::max<std::uint8_t>(e.Points, 1)), end);
    const std::uint16_t v = rejected ? PassNoValue : e.Value;
    for (std::size_t c = std::max(from, first); c < to; ++c) block[c - first] = v;
    any = any || (!rejected && to > std::max(from, first));
  }
  return any;
}

namespace {

constexpr char kMagic[8] = {'Q', 'E', 'L', 'P', 'A', 'S', 'S', 0x1A};
constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kChunkHead = 12;
// Pass number .. filter constant, 10 records, entry count.
constexpr std::size_t kPassFixed = 4 + 8 + 1 + 1 + 4 + 4 + 4 + 10 * 4 + 4;
constexpr std::size_t kEntrySize = 5;

template <typename T>
void Put(std::string& out, T v) {
  for (std::size_t i = 0; i < sizeof(T); ++i) out.push_back(static_cast<char>((static_cast<std::uint64_t>(v) >> (8 * i)) & 0xFF));
}

template <typename T>
T Get(std::string_view b, std::size_t at) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) v |= static_cast<std::uint64_t>(static_cast<unsigned char>(b[at + i])) << (8 * i);
  return static_cast<T>(v);
}

}  // namespace

std::uint32_t Crc32(std::string_view bytes) {
  static const auto table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  std::uint32_t c = 0xFFFFFFFFu;
  for (const char ch : bytes) c = table[(c ^ static_cast<unsigned char>(ch)) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

std::string PassArchiveHeader(std::int64_t seriesStart) {
  std::string h(kMagic, sizeof kMagic);
  Put<std::uint32_t>(h, PassArchiveVersion);
  Put<std::uint32_t>(h, kHeaderSize);
  Put<std::int64_t>(h, seriesStart);
  Put<std::uint32_t>(h, 0);
  Put<std::uint32_t>(h, Crc32(h));
  return h;
}

std::string PassArchiveChunk(const PassRecord& pass) {
  std::string p;
  p.reserve(kPassFixed + kEntrySize * pass.Entries.size());
  Put<std::uint32_t>(p, pass.Number);
  Put<std::int64_t>(p, pass.StartMs);
  Put<std::uint8_t>(p, static_cast<std::uint8_t>(pass.End));
  Put<std::uint8_t>(p, pass.Cut ? 1 : 0);
  Put<std::int32_t>(p, pass.RTNumb);
  Put<std::int32_t>(p, pass.AccumCount);
  Put<std::int32_t>(p, pass.FilterConst);
  for (const SpectrumPoint r : pass.Records) {
    Put<std::uint16_t>(p, r.Code);
    Put<std::uint16_t>(p, r.Value);
  }
  Put<std::uint32_t>(p, static_cast<std::uint32_t>(pass.Entries.size()));
  for (const PassEntry& e : pass.Entries) {
    Put<std::uint16_t>(p, e.Code);
    Put<std::uint16_t>(p, e.Value);
    Put<std::uint8_t>(p, e.Points);
  }
  std::string chunk = "PASS";
  Put<std::uint32_t>(chunk, static_cast<std::uint32_t>(p.size()));
  Put<std::uint32_t>(chunk, Crc32(p));
  return chunk + p;
}

PassArchive ParsePassArchive(std::string_view b, const std::string& name) {
  const std::string file = "Файл \"" + name + "\"";
  if (b.empty()) throw FileError(file + " пуст: это не архив проходов");
  if (b.size() < kHeaderSize || std::memcmp(b.data(), kMagic, sizeof kMagic) != 0)
    throw FileError(file + " не является архивом проходов");
  const auto version = Get<std::uint32_t>(b, 8);
  if (Get<std::uint32_t>(b, 28) != Crc32(b.substr(0, 28)))
    throw FileError(file + ": заголовок архива проходов повреждён");
  if (version > PassArchiveVersion)
    throw FileError(file + ": архив проходов версии " + std::to_string(version) +
                    " записан более новой программой (эта читает версию " + std::to_string(PassArchiveVersion) + ")");
  const auto headerSize = Get<std::uint32_t>(b, 12);
  if (headerSize < kHeaderSize || headerSize > b.size())
    throw FileError(file + ": заголовок архива проходов повреждён");
  PassArchive a;
  a.SeriesStart = Get<std::int64_t>(b, 16);
  std::size_t at = headerSize;
  while (at < b.size()) {
    const std::string after = a.Passes.empty() ? "в начале архива"
                                               : "после прохода " + std::to_string(a.Passes.back().Number);
    const std::size_t left = b.size() - at;
    if (left < kChunkHead) {
      a.Problem = file + ": запись прохода " + after + " оборвана (" + std::to_string(left) + " байт)";
      break;
    }
    const auto length = Get<std::uint32_t>(b, at + 4);
    if (b.substr(at, 4) != "PASS" || length < kPassFixed) {
      a.Problem = file + ": запись " + after + " повреждена (смещение " + std::to_string(at) + ")";
      a.Damaged = true;
      break;
    }
    // A length running past the end is a torn write only where the payload
    // there says as much; otherwise the length itself is damaged.
    if (length > left - kChunkHead && left >= kChunkHead + kPassFixed &&
        length != kPassFixed + std::size_t{Get<std::uint32_t>(b, at + kChunkHead + kPassFixed - 4)} * kEntrySize) {
      a.Problem = file + ": запись " + after + " повреждена: её длина не сходится с числом точек (смещение " +
                  std::to_string(at) + ")";
      a.Damaged = true;
      break;
    }
    if (length > left - kChunkHead) {
      a.Problem = file + ": запись прохода " + after + " оборвана (записано " + std::to_string(left - kChunkHead) +
                  " байт из " + std::to_string(length) + ")";
      break;
    }
    const std::string_view p = b.substr(at + kChunkHead, length);
    const auto number = Get<std::uint32_t>(p, 0);
    const auto entries = Get<std::uint32_t>(p, kPassFixed - 4);
    if (Get<std::uint32_t>(b, at + 8) != Crc32(p) || length != kPassFixed + std::size_t{entries} * kEntrySize ||
        Get<std::uint8_t>(p, 12) > 2) {
      a.Problem = file + ": запись прохода " + std::to_string(number) + " (" + after +
                  ") повреждена: контрольная сумма не сходится";
      a.Damaged = true;
      break;
    }
    const std::uint32_t expected = a.Passes.empty() ? 1 : a.Passes.back().Number + 1;
    if (number != expected) {
      // A pass given up when it could not be written: the mean of the
      // passes after it cannot be replayed.
      a.Problem = file + ": " +
                  (number > expected ? "нет проходов " + std::to_string(expected) + "–" + std::to_string(number - 1) +
                                           " (" + after + " идёт проход " + std::to_string(number) + ")"
                                     : "проход " + std::to_string(number) + " записан не на своём месте (" + after + ")");
      a.Damaged = true;
      break;
    }
    PassRecord r;
    r.Number = number;
    r.StartMs = Get<std::int64_t>(p, 4);
    r.End = static_cast<PassEnd>(Get<std::uint8_t>(p, 12));
    r.Cut = Get<std::uint8_t>(p, 13) != 0;
    r.RTNumb = Get<std::int32_t>(p, 14);
    r.AccumCount = Get<std::int32_t>(p, 18);
    r.FilterConst = Get<std::int32_t>(p, 22);
    for (std::size_t i = 0; i < 10; ++i)
      r.Records[i] = SpectrumPoint{Get<std::uint16_t>(p, 26 + 4 * i), Get<std::uint16_t>(p, 28 + 4 * i)};
    r.Entries.reserve(entries);
    bool valid = true;
    for (std::size_t i = 0, e = kPassFixed; i < entries; ++i, e += kEntrySize) {
      const PassEntry entry{Get<std::uint16_t>(p, e), Get<std::uint16_t>(p, e + 2), Get<std::uint8_t>(p, e + 4)};
      // What the acquisition logs: a field code, a value or one of the two
      // marks, at most 4 codes a telegram.
      if (entry.Value != PassCleared &&
          (entry.Code > MaxFieldCode || entry.Points > 4 || (entry.Value > MaxValidValue && entry.Value != PassRejected)))
        valid = false;
      r.Entries.push_back(entry);
    }
    if (!valid) {
      a.Problem = file + ": запись прохода " + std::to_string(number) + " (" + after +
                  ") повреждена: в ней точка вне диапазона кодов или значений";
      a.Damaged = true;
      break;
    }
    a.Passes.push_back(std::move(r));
    at += kChunkHead + length;
  }
  return a;
}

PassArchive ReadPassArchive(const std::string& path) {
  // A series of hours at the fastest sweep stays far below this.
  constexpr std::size_t kLimit = std::size_t{4} << 30;
  const auto bytes = ReadRegularFile(path, kLimit);
  if (!bytes) throw FileError("Файл \"" + path + "\" не найден");
  return ParsePassArchive(*bytes, path);
}

std::string LocalTimeText(std::int64_t seconds, const char* format) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &t);
#else
  localtime_r(&t, &local);
#endif
  char text[64];
  return std::string(text, std::strftime(text, sizeof text, format, &local));
}

std::string PassArchiveName(std::string_view nameMask, std::int64_t seriesStart, int n) {
  // The mask as automatic saving cleans it, without the number it adds.
  std::string name = AutoSaveName(nameMask, 0);
  name.resize(name.size() - 8);
  name += LocalTimeText(seriesStart, "-%Y%m%d-%H%M%S");
  if (n > 1) {
    name += '_';
    name += std::to_string(n);
  }
  return name + ".qelpass";
}

}  // namespace qel
