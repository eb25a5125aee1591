#include "units.h"

#include <cmath>

#include "number_format.h"
#include "tables.h"

namespace qel {

std::string Utf8Prefix(const std::string& text, std::size_t maxChars) {
  std::size_t chars = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      if (chars == maxChars) return text.substr(0, i);
      ++chars;
    }
  }
  return text;
}

bool Calibrate(UnitRecord& unit, float c1, float c2) {
  const long double a1 = c1, a2 = c2;
  if (!std::isfinite(c1) || !std::isfinite(c2) || a1 == a2) return false;
  const long double x1 = unit.X1, x2 = unit.X2;
  const long double k = (x1 - x2) / (a1 - a2);
  const long double b = x2 - (x1 - x2) * a2 / (a1 - a2);
  if (!std::isfinite(static_cast<double>(k)) || !std::isfinite(static_cast<double>(b))) return false;
  unit.KoeffK = static_cast<double>(k);
  unit.KoeffB = static_cast<double>(b);
  return true;
}

namespace {

float F(double v) { return static_cast<float>(v); }

UnitRecord Unit(double x1, double x2, const char* name) {
  UnitRecord u;
  u.X1 = x1;
  u.X2 = x2;
  u.Name = name;
  return u;
}

// Calibrates a unit over its anchors, all units of one table in table order.
// Returns false (leaving the unit as it was) when the anchors coincide.
template <std::size_t N>
bool CalibrateTable(std::array<UnitRecord, N>& t, std::size_t count, float c1, float c2, bool firstOnOwn) {
  if (firstOnOwn) {
    c1 = F(t[0].X1);
    c2 = F(t[0].X2);
  }
  if (!Calibrate(t[0], c1, c2)) return false;
  for (std::size_t i = 1; i < count; ++i)
    if (!Calibrate(t[i], F(t[0].X1), F(t[0].X2))) return false;
  return true;
}

double Value(const UnitRecord& u, double code) { return u.KoeffK * code + u.KoeffB; }

}  // namespace

void SetDefaultUnits(Settings& s) {
  s.RazvUnits[0] = Unit(0, 65519, "");
  s.RazvUnits[1] = Unit(0, 5, "А");
  s.RazvUnits[2] = Unit(0, 300, "Э");
  s.RazvUnits[3] = Unit(3000, 3300, "Э");
  CalibrateTable(s.RazvUnits, 4, 0.0f, 65519.0f, false);
  s.AmpUnits[0] = Unit(-2047, 2047, "");
  s.AmpUnits[1] = Unit(-10, 10, "В");
  CalibrateTable(s.AmpUnits, 2, 0, 0, true);
  s.CorrUnits[0] = Unit(-32767, 32767, "");
  s.CorrUnits[1] = Unit(-1000, 1000, "мВ");
  CalibrateTable(s.CorrUnits, 2, -32767.0f, 32767.0f, false);
  s.ADCUnits[0] = Unit(0, 4095, "");
  s.ADCUnits[1] = Unit(0, 10, "В");
  s.ADCUnits[2] = Unit(0, 6, "А");
  s.ADCUnits[3] = Unit(0, 10, "Э");
  s.ADCUnits[4] = Unit(0, 9000, "Э");
  CalibrateTable(s.ADCUnits, 5, 0.0f, 4095.0f, false);
  StoreUnits(s);
}

std::string FormatField(const Settings& s, std::uint16_t code, std::string_view sep) {
  if (s.RazvUnit > 3) return {};
  if (s.RazvUnit == 0) return std::to_string(code);
  const UnitRecord& u = s.RazvUnits[s.RazvUnit];
  const double v = Value(u, code);
  switch (s.RazvUnit) {
    case 1: return FormatFixed(v, 4, 3, sep) + " " + u.Name;
    case 2: return FormatGeneral(v, 4, 2, sep) + " " + u.Name;
    default: return FormatGeneral(v, 6, 4, sep) + " " + u.Name;
  }
}

std::string FormatAmplitude(const Settings& s, std::int32_t a, std::string_view sep) {
  if (s.AmpUnit > 1) return {};
  const UnitRecord& u = s.AmpUnits[s.AmpUnit];
  const double v = Value(u, a) / GainTable[static_cast<std::size_t>(UsedAmplifying(s))].Factor;
  if (s.AmpUnit == 0) return FormatGeneral(v, 4, 3, sep);
  const double m = std::fabs(v);
  if (m >= 1 || v == 0) return FormatGeneral(v, 3, 3, sep) + " " + u.Name;
  if (m < 0.001) return FormatGeneral(v * 1000000, 3, 3, sep) + " мк" + u.Name;
  return FormatGeneral(v * 1000, 3, 3, sep) + " м" + u.Name;
}

std::string FormatIntegral(const Settings& s, double x, std::string_view sep) {
  if (s.RazvUnit > 3 || s.AmpUnit > 1) return {};
  const double k = s.RazvUnits[s.RazvUnit].KoeffK;
  const double m = s.AmpUnits[s.AmpUnit].KoeffK;
  const std::string number = FormatExponent(k * k * x * m, 4, 3, sep);
  const std::string& sweep = s.RazvUnits[s.RazvUnit].Name;
  const std::string& amp = s.AmpUnits[s.AmpUnit].Name;
  if (s.RazvUnit == 0) return number + (s.AmpUnit == 0 ? " отсч^3" : " " + amp + "*отсч^2");
  return number + (s.AmpUnit == 0 ? " отсч*" + sweep + "^2" : " " + amp + "*" + sweep + "^2");
}

std::string FormatCorrection(const Settings& s, std::int32_t code, std::string_view sep) {
  if (s.CorrUnit > 1) return {};
  const UnitRecord& u = s.CorrUnits[s.CorrUnit];
  const double v = Value(u, code);
  if (s.CorrUnit == 0) return std::to_string(RoundEven(v));
  return FormatGeneral(v, 4, 5, sep) + " " + u.Name;
}

std::string FormatAdc(const Settings& s, std::int32_t code, std::string_view sep) {
  if (s.ADCUnit > 4) return {};
  const UnitRecord& u = s.ADCUnits[s.ADCUnit];
  const double v = Value(u, code);
  switch (s.ADCUnit) {
    case 0: return std::to_string(RoundEven(v));
    case 1: return FormatFixed(v, 3, 2, sep) + " " + u.Name;
    case 2:
    case 3: return FormatFixed(v, 2, 2, sep) + " " + u.Name;
    default: return FormatFixed(v, 4, 0, sep) + " " + u.Name;
  }
}

void StoreUnits(Settings& s) {
  for (std::size_t i = 0; i < 4; ++i) s.RazvUnits[i + 4] = s.RazvUnits[i];
  for (std::size_t i = 0; i < 5; ++i) s.ADCUnits[i + 5] = s.ADCUnits[i];
}

void RestoreUnits(Settings& s) {
  for (std::size_t i = 0; i < 4; ++i) s.RazvUnits[i] = s.RazvUnits[i + 4];
  for (std::size_t i = 0; i < 5; ++i) s.ADCUnits[i] = s.ADCUnits[i + 5];
}

UnitDialogTexts UnitDialogTextsFrom(const Settings& s, std::string_view sep) {
  UnitDialogTexts t;
  auto fill = [&](auto& mins, auto& maxs, const auto& units) {
    for (std::size_t i = 0; i < mins.size(); ++i) {
      mins[i] = FormatGeneral(units[i].X1, 5, 5, sep);
      maxs[i] = FormatGeneral(units[i].X2, 5, 5, sep);
    }
  };
  fill(t.RazvMin, t.RazvMax, s.RazvUnits);
  fill(t.AmpMin, t.AmpMax, s.AmpUnits);
  fill(t.CorrMin, t.CorrMax, s.CorrUnits);
  fill(t.ADCMin, t.ADCMax, s.ADCUnits);
  t.RazvUnit = s.RazvUnit;
  t.AmpUnit = s.AmpUnit;
  t.CorrUnit = s.CorrUnit;
  t.ADCUnit = s.ADCUnit;
  return t;
}

void ApplyUnitDialog(Settings& s, const UnitDialogTexts& t, std::string_view sep) {
  // Worked on a copy: coinciding anchors change nothing, a bad number keeps
  // what was done before it.
  Settings work = s;
  auto refuse = [](const char* table) {
    throw CalibrationError(std::string("Калибровка невозможна: совпадают опорные значения (") + table +
                           "). Задайте разные значения Min и Max");
  };
  auto unit = [&](UnitRecord& u, const std::string& mn, const std::string& mx, float c1, float c2,
                  const char* table) {
    const double x1 = ParseFloat(mn, sep);
    const double x2 = ParseFloat(mx, sep);
    u.X1 = x1;
    u.X2 = x2;
    if (!Calibrate(u, c1, c2)) refuse(table);
  };
  try {
    unit(work.RazvUnits[0], t.RazvMin[0], t.RazvMax[0], 0.0f, 65535.0f, "Развёртка");
    for (std::size_t i = 1; i < 4; ++i)
      unit(work.RazvUnits[i], t.RazvMin[i], t.RazvMax[i], F(work.RazvUnits[0].X1), F(work.RazvUnits[0].X2),
           "Развёртка");
    {
      UnitRecord& a0 = work.AmpUnits[0];
      const double x1 = ParseFloat(t.AmpMin[0], sep);
      const double x2 = ParseFloat(t.AmpMax[0], sep);
      a0.X1 = x1;
      a0.X2 = x2;
      if (!Calibrate(a0, F(a0.X1), F(a0.X2))) refuse("Спектр");
    }
    unit(work.AmpUnits[1], t.AmpMin[1], t.AmpMax[1], F(work.AmpUnits[0].X1), F(work.AmpUnits[0].X2), "Спектр");
    unit(work.CorrUnits[0], t.CorrMin[0], t.CorrMax[0], -32767.0f, 32767.0f, "Коррекция");
    unit(work.CorrUnits[1], t.CorrMin[1], t.CorrMax[1], F(work.CorrUnits[0].X1), F(work.CorrUnits[0].X2),
         "Коррекция");
    unit(work.ADCUnits[0], t.ADCMin[0], t.ADCMax[0], 0.0f, 4095.0f, "Вход АЦП");
    for (std::size_t i = 1; i < 5; ++i)
      unit(work.ADCUnits[i], t.ADCMin[i], t.ADCMax[i], F(work.ADCUnits[0].X1), F(work.ADCUnits[0].X2),
           "Вход АЦП");
  } catch (const ConvertError&) {
    // The old dialog parsed and calibrated unit by unit: what came before the
    // bad text stays. The unit with the bad text keeps its old record.
    s = work;
    throw;
  }
  work.RazvUnit = static_cast<std::uint8_t>(t.RazvUnit);
  work.AmpUnit = static_cast<std::uint8_t>(t.AmpUnit);
  work.CorrUnit = static_cast<std::uint8_t>(t.CorrUnit);
  work.ADCUnit = static_cast<std::uint8_t>(t.ADCUnit);
  s = work;
}

}  // namespace qel
