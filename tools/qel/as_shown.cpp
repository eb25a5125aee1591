#include "as_shown.h"

#include <charconv>
#include <cmath>

#include "model/atomic_file.h"
#include "model/spectrum_file.h"
#include "model/tables.h"
#include "model/units.h"

namespace qel::cli {

namespace {
class NoView : public ParameterView {
 public:
  void SelectGain(int) override {}
  void SelectSpeed(int) override {}
  void ClearSelectorTexts() override {}
  void SetStatusPanel(int, const std::string&) override {}
  void SetAdcText(const std::string&) override {}
  void SetViewBoundTexts(const std::string&, const std::string&) override {}
};
}  // namespace

UnitRecord FieldUnit(const RecordedParameters& p, bool& recorded) {
  Settings s;
  SetDefaults(s);
  const auto low = p.Get(TagFieldLow);
  const auto high = p.Get(TagFieldHigh);
  recorded = low && high;
  if (recorded) {
    UnitRecord& r3 = s.RazvUnits[3];
    r3.X1 = *low / 10.0;
    r3.X2 = *high / 10.0;
    Calibrate(r3, static_cast<float>(s.RazvUnits[0].X1), static_cast<float>(s.RazvUnits[0].X2));
  }
  return s.RazvUnits[3];
}

Shown LoadAsShown(SpectrumStore& store, const std::string& path, const Settings& operatorSettings) {
  if (!LoadSpectrum(store, path)) throw FileError("Файл \"" + path + "\" не найден");
  return ShownOf(store, operatorSettings);
}

Shown ShownOf(const SpectrumStore& store, const Settings& operatorSettings) {
  Shown shown;
  shown.S = operatorSettings;
  StoreUnits(shown.S);
  NoView view;
  ApplyParameters(store, shown.S, shown.Run, view, ".");
  shown.Field = FieldUnit(ReadParameters(store.CurrentSpectrum), shown.FieldRecorded);
  return shown;
}

double AmplitudeShown(const Settings& s, double a) {
  const UnitRecord& u = s.AmpUnits[s.AmpUnit < s.AmpUnits.size() ? s.AmpUnit : 0];
  return (u.KoeffK * a + u.KoeffB) / GainTable[static_cast<std::size_t>(UsedAmplifying(s))].Factor;
}

std::string AmplitudeUnitName(const Settings& s) {
  if (s.AmpUnit == 0 || s.AmpUnit >= s.AmpUnits.size() || s.AmpUnits[s.AmpUnit].Name.empty()) return "отсч";
  return s.AmpUnits[s.AmpUnit].Name;
}

std::string PlainDecimal(double v, int significant) {
  if (!std::isfinite(v)) return "nan";
  if (v == 0) return "0";
  const int magnitude = static_cast<int>(std::floor(std::log10(std::fabs(v))));
  const int decimals = std::clamp(significant - 1 - magnitude, 0, 30);
  char buf[512];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  std::string text(buf, r.ptr);
  if (text.find('.') != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  if (text == "-0") text = "0";
  return text;
}

}  // namespace qel::cli
