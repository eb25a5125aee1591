#pragma once
// The one spectrum the program holds, its undo copy and the acquisition's
// buffers; the parameter records that travel inside a saved spectrum.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "settings.h"

namespace qel {

// One slot: Code (low half of the little-endian word), Value (high half).
struct SpectrumPoint {
  std::uint16_t Code;
  std::uint16_t Value;

  bool operator==(const SpectrumPoint&) const = default;
};
static_assert(sizeof(SpectrumPoint) == 4);
static_assert(offsetof(SpectrumPoint, Code) == 0 && offsetof(SpectrumPoint, Value) == 2);

inline constexpr std::size_t SpectrumSize = 65536;
inline constexpr std::uint16_t MaxFieldCode = 65519;
inline constexpr std::uint16_t MaxValidValue = 65519;  // 0xFFEF
inline constexpr std::uint16_t EmptyValue = 0xFFFF;
inline constexpr std::uint16_t FirstParameterTag = 0xFFF5;
inline constexpr std::uint16_t LastParameterTag = 0xFFFE;
inline constexpr std::uint16_t ZeroLine = 2048;

inline constexpr SpectrumPoint EmptyPoint{0, EmptyValue};

inline bool IsValid(SpectrumPoint p) { return p.Value <= MaxValidValue; }
inline bool IsParameterRecord(SpectrumPoint p) {
  return p.Value >= FirstParameterTag && p.Value <= LastParameterTag;
}

using SpectrumBuffer = std::array<SpectrumPoint, SpectrumSize>;
using AccumBuffer = std::array<float, SpectrumSize>;
using RawBuffer = std::array<std::uint16_t, SpectrumSize>;

// Parameter tags.
enum ParameterTag : std::uint16_t {
  TagGain = 0xFFFE,
  TagSpeed = 0xFFFD,
  TagSerialNumber = 0xFFFC,
  TagProgramNumber = 0xFFFB,
  TagFieldLow = 0xFFFA,
  TagFieldHigh = 0xFFF9,
  TagAdcCode = 0xFFF8,
  TagAccumCount = 0xFFF7,
  TagFilterConst = 0xFFF6,
  TagModAmplitude = 0xFFF5,
};

// Run-time values that a saved spectrum carries or the plot shows; one record
// shared by reference by the link, processing, display and window.
struct RunValues {
  std::uint8_t SerialNumber = 0;   // from the identification telegram
  std::uint8_t ProgramNumber = 0;
  std::int32_t AdcCode = 0;        // last ADC-input reading
  std::int32_t AccumCount = 1;     // spectra in the running accumulation
  // Passes averaged into the spectrum held, which its accumulation record
  // carries: the running count for an accumulated pass, 1 for a single one,
  // the record's own count for a loaded spectrum.
  std::int32_t PassesAveraged = 1;
  double ModAmplitude = -1;        // modulation amplitude, -1 = none
  std::int32_t MaxIndex = -1;      // -1 = none
  std::int32_t MinIndex = -1;
  double IntegralS = -1;           // -1 = none
};

// The four buffers, allocated once for the whole run.
class SpectrumStore {
 public:
  SpectrumStore();
  SpectrumStore(const SpectrumStore&) = delete;
  SpectrumStore& operator=(const SpectrumStore&) = delete;

 private:
  struct Buffers {
    SpectrumBuffer Current;
    SpectrumBuffer Backup;
    AccumBuffer Accum;
    RawBuffer Raw;
  };
  std::unique_ptr<Buffers> buffers_;

 public:
  SpectrumBuffer& CurrentSpectrum;  // the spectrum
  SpectrumBuffer& BackupSpectrum;   // undo copy; the file loader's read area
  AccumBuffer& AccumSpectrum;       // running means of the accumulation
  RawBuffer& RawSpectrum;           // raw values for the additional graph

  // Every slot of CurrentSpectrum := (Code 0, Value 0xFFFF).
  void ClearSpectrum();
  // From min(a, b) up to the first valid slot; 65535 when none (test it).
  std::uint16_t FindFirstValid(std::uint16_t a, std::uint16_t b) const;
  // From max(a, b) down to the last valid slot; 0 when none (test it).
  std::uint16_t FindLastValid(std::uint16_t a, std::uint16_t b) const;
  void SaveUndo();
  void RestoreUndo();
};

// What the main window shows of a loaded spectrum's parameters.
class ParameterView {
 public:
  virtual ~ParameterView() = default;
  virtual void SelectGain(int index) = 0;   // AmpBox
  virtual void SelectSpeed(int index) = 0;  // SpeedBox
  virtual void ClearSelectorTexts() = 0;    // both selectors' shown texts
  virtual void SetStatusPanel(int panel, const std::string& text) = 0;
  virtual void SetAdcText(const std::string& text) = 0;  // ADCRes
  virtual void SetViewBoundTexts(const std::string& minText, const std::string& maxText) = 0;
};

// The ten parameter records of slots 65526..65535, as a save stamps them.
std::array<SpectrumPoint, 10> ParameterRecords(const Settings& s, const RunValues& run);
// Writes the ten parameter records into slots 65535 down to 65526.
void StampParameters(SpectrumStore& store, const Settings& s, const RunValues& run);

// Applies the parameter records of a loaded spectrum: selectors, status
// panels, the ADC label, the recorded field range and the view-bound texts.
// A gain or speed record outside its table is not applied.
void ApplyParameters(const SpectrumStore& store, Settings& s, RunValues& run, ParameterView& view,
                     std::string_view sep);

// The parameter records of a spectrum, the later record of a tag winning.
struct RecordedParameters {
  std::array<std::optional<std::uint16_t>, 10> Last;  // by tag, index LastParameterTag - tag
  std::optional<std::uint16_t> Get(ParameterTag tag) const { return Last[LastParameterTag - tag]; }
  std::optional<int> ValidGain;    // the last gain record inside the table
  std::optional<int> ValidSpeed;   // the last speed record inside the table
  std::optional<int> PositiveFilter;  // the last filter record above 0
};
RecordedParameters ReadParameters(const SpectrumBuffer& spectrum);

// Low 16 bits of round(v), halves to even; 0 for a value that is not finite.
std::uint16_t Low16OfRound(long double v);

}  // namespace qel
