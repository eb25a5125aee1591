#include "spectrum.h"

#include <algorithm>
#include <cmath>

#include "number_format.h"
#include "tables.h"
#include "units.h"

namespace qel {

SpectrumStore::SpectrumStore()
    : buffers_(std::make_unique<Buffers>()),
      CurrentSpectrum(buffers_->Current),
      BackupSpectrum(buffers_->Backup),
      AccumSpectrum(buffers_->Accum),
      RawSpectrum(buffers_->Raw) {
  BackupSpectrum.fill(SpectrumPoint{0, 0});
  AccumSpectrum.fill(0.0f);
  RawSpectrum.fill(0);
  ClearSpectrum();
}

void SpectrumStore::ClearSpectrum() { CurrentSpectrum.fill(EmptyPoint); }

std::uint16_t SpectrumStore::FindFirstValid(std::uint16_t a, std::uint16_t b) const {
  std::uint16_t i = std::min(a, b);
  while (!IsValid(CurrentSpectrum[i]) && i < 65535) ++i;
  return i;
}

std::uint16_t SpectrumStore::FindLastValid(std::uint16_t a, std::uint16_t b) const {
  std::uint16_t i = std::max(a, b);
  while (!IsValid(CurrentSpectrum[i]) && i > 0) --i;
  return i;
}

void SpectrumStore::SaveUndo() { BackupSpectrum = CurrentSpectrum; }
void SpectrumStore::RestoreUndo() { CurrentSpectrum = BackupSpectrum; }

std::uint16_t Low16OfRound(long double v) {
  if (!std::isfinite(v)) return 0;
  // Only the low 16 bits survive; reduce first so the rounding stays in range.
  const long double m = std::fmod(v, 65536.0L * 65536.0L);
  return static_cast<std::uint16_t>(static_cast<std::uint64_t>(RoundEven(m)) & 0xFFFF);
}

std::array<SpectrumPoint, 10> ParameterRecords(const Settings& s, const RunValues& run) {
  std::array<SpectrumPoint, 10> r{};
  auto put = [&](std::size_t slot, std::uint16_t code, ParameterTag tag) {
    r[slot - 65526] = SpectrumPoint{code, tag};
  };
  const UnitRecord& adc3 = s.ADCUnits[3];
  // The gain, speed and filter constant are stamped as the program uses them
  // (a stored value out of range is used clamped), so that a reload gives back
  // what was really in force.
  put(65535, static_cast<std::uint16_t>(UsedAmplifying(s)), TagGain);
  put(65534, static_cast<std::uint16_t>(UsedRapid(s)), TagSpeed);
  put(65533, run.SerialNumber, TagSerialNumber);
  put(65532, run.ProgramNumber, TagProgramNumber);
  put(65531, Low16OfRound(static_cast<long double>(s.RazvUnits[3].X1) * 10), TagFieldLow);
  put(65530, Low16OfRound(static_cast<long double>(s.RazvUnits[3].X2) * 10), TagFieldHigh);
  put(65529, static_cast<std::uint16_t>(run.AdcCode), TagAdcCode);
  put(65528, static_cast<std::uint16_t>(run.PassesAveraged), TagAccumCount);
  put(65527, s.EnableRTLPF ? static_cast<std::uint16_t>(UsedConst(s.RTLPFConst)) : std::uint16_t{0}, TagFilterConst);
  put(65526,
      Low16OfRound((static_cast<long double>(run.AdcCode) * adc3.KoeffK + adc3.KoeffB) * 100),
      TagModAmplitude);
  return r;
}

void StampParameters(SpectrumStore& store, const Settings& s, const RunValues& run) {
  const auto r = ParameterRecords(s, run);
  std::copy(r.begin(), r.end(), store.CurrentSpectrum.end() - 10);
}

RecordedParameters ReadParameters(const SpectrumBuffer& spectrum) {
  RecordedParameters r;
  for (std::size_t i = 0; i < SpectrumSize; ++i) {
    const SpectrumPoint p = spectrum[i];
    if (!IsParameterRecord(p)) continue;
    r.Last[LastParameterTag - p.Value] = p.Code;
    if (p.Value == TagGain && p.Code < GainTable.size()) r.ValidGain = p.Code;
    if (p.Value == TagSpeed && p.Code < SpeedTable.size()) r.ValidSpeed = p.Code;
    if (p.Value == TagFilterConst && p.Code > 0) r.PositiveFilter = p.Code;
  }
  return r;
}

void ApplyParameters(const SpectrumStore& store, Settings& s, RunValues& run, ParameterView& view,
                     std::string_view sep) {
  view.SelectGain(0);
  s.Amplifying = 0;
  view.SelectSpeed(11);
  s.Rapid = 11;
  view.ClearSelectorTexts();

  const RecordedParameters r = ReadParameters(store.CurrentSpectrum);
  if (r.ValidGain) {
    view.SelectGain(*r.ValidGain);
    s.Amplifying = static_cast<std::uint8_t>(*r.ValidGain);
  }
  if (r.ValidSpeed) {
    view.SelectSpeed(*r.ValidSpeed);
    s.Rapid = static_cast<std::uint8_t>(*r.ValidSpeed);
  }
  if (auto n = r.Get(TagSerialNumber)) view.SetStatusPanel(6, "S/N: " + std::to_string(*n));
  if (auto n = r.Get(TagProgramNumber)) view.SetStatusPanel(5, "PR: " + std::to_string(*n));
  const auto low = r.Get(TagFieldLow);
  const auto high = r.Get(TagFieldHigh);
  if (low) s.RazvUnits[3].X1 = *low / 10.0;
  if (high) s.RazvUnits[3].X2 = *high / 10.0;
  if (auto n = r.Get(TagAdcCode)) {
    run.AdcCode = *n;
    view.SetAdcText(FormatAdc(s, *n, sep));
  }
  run.PassesAveraged = 1;
  if (auto n = r.Get(TagAccumCount)) {
    view.SetStatusPanel(10, "НАКОПЛ: " + std::to_string(*n));
    run.PassesAveraged = *n;
  }
  if (r.PositiveFilter) view.SetStatusPanel(9, "ФИЛЬТР [" + std::to_string(*r.PositiveFilter) + "]");
  if (auto n = r.Get(TagModAmplitude)) run.ModAmplitude = *n / 100.0;

  if (low && high) {
    // Both units are calibrated on copies: when the sweep anchors cannot
    // calibrate (they coincide), neither unit changes.
    const float a1 = static_cast<float>(s.RazvUnits[0].X1);
    const float a2 = static_cast<float>(s.RazvUnits[0].X2);
    UnitRecord r2{0, s.RazvUnits[3].X2 - s.RazvUnits[3].X1, 0, 0, "Э"};
    UnitRecord r3 = s.RazvUnits[3];
    r3.KoeffK = 0;
    r3.KoeffB = 0;
    r3.Name = "Э";
    if (Calibrate(r2, a1, a2) && Calibrate(r3, a1, a2)) {
      s.RazvUnits[2] = std::move(r2);
      s.RazvUnits[3] = std::move(r3);
    }
  }
  view.SetViewBoundTexts(FormatField(s, static_cast<std::uint16_t>(s.ViewMin), sep),
                         FormatField(s, static_cast<std::uint16_t>(s.ViewMax), sep));
}

}  // namespace qel
