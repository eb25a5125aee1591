#include "spectrum_file.h"

#include "atomic_file.h"

namespace qel {

std::string SerializeSpectrum(const SpectrumBuffer& spectrum) {
  std::string out;
  out.resize(SpectrumSize * 4);
  std::size_t n = 0;
  for (const SpectrumPoint p : spectrum) {
    if (p.Value == EmptyValue) continue;
    out[n] = static_cast<char>(p.Code & 0xFF);
    out[n + 1] = static_cast<char>(p.Code >> 8);
    out[n + 2] = static_cast<char>(p.Value & 0xFF);
    out[n + 3] = static_cast<char>(p.Value >> 8);
    n += 4;
  }
  out.resize(n);
  return out;
}

void SaveSpectrum(const SpectrumStore& store, const std::string& path) {
  WriteFileAtomically(path, SerializeSpectrum(store.CurrentSpectrum));
}

void PlaceRecords(SpectrumStore& store, std::string_view bytes) {
  const std::size_t n = std::min(bytes.size() / 4, MaxSpectrumRecords);
  store.ClearSpectrum();
  store.SaveUndo();
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  for (std::size_t i = 0; i < n; ++i) {
    store.BackupSpectrum[i] = SpectrumPoint{static_cast<std::uint16_t>(b[4 * i] | (b[4 * i + 1] << 8)),
                                            static_cast<std::uint16_t>(b[4 * i + 2] | (b[4 * i + 3] << 8))};
  }
  for (std::size_t i = 0; i < SpectrumSize; ++i) {
    const SpectrumPoint r = store.BackupSpectrum[i];
    if (r.Value == EmptyValue) continue;
    if (r.Value < 4096) {
      store.CurrentSpectrum[r.Code] = r;
    } else if (r.Value > MaxValidValue) {
      store.CurrentSpectrum[r.Value] = r;
    }
  }
}

bool LoadSpectrum(SpectrumStore& store, const std::string& path) {
  // 65536 records and up to 3 trailing bytes, which are ignored.
  constexpr std::size_t largest = MaxSpectrumRecords * 4 + 3;
  const auto refuse = [&](const std::string& records) {
    throw FileError("Файл \"" + path + "\" не загружен: в нём " + records +
                    " записей, а спектр вмещает не более 65536 (262144 байт)");
  };
  // A regular file is refused by its size before a byte is read; anything
  // else (a device, a pipe) by reading one byte past the largest file.
  const auto bytes = ReadFileUpTo(path, largest + 1, [&](std::uintmax_t size) {
    if (size > largest) refuse(std::to_string(size / 4));
  });
  if (!bytes) return false;
  if (bytes->size() > largest) refuse("более " + std::to_string(MaxSpectrumRecords));
  PlaceRecords(store, *bytes);
  return true;
}

}  // namespace qel
