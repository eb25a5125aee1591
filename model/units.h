#pragma once
// Units in which codes are shown, their calibration and the formatters through
// which every value shown to the operator passes.

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "settings.h"

namespace qel {

// Captions of the unit choice lists, in table order.
inline constexpr std::array<std::string_view, 4> RazvCaptions{
    "Ток электромагнита, отсчет ЦАП", "Ток электромагнита,  А", "Поле электромагнита,  Э",
    "Суммарное магнитное поле,  Э"};
inline constexpr std::array<std::string_view, 2> AmpCaptions{"Напряжение, отсчет АЦП", "Напряжение, В"};
inline constexpr std::array<std::string_view, 2> CorrCaptions{"Напряжение, отсчет ЦАП", "Напряжение, мВ"};
inline constexpr std::array<std::string_view, 5> ADCCaptions{
    "Напряжение, отсчет АЦП", "Напряжение,  В", "Амплитуда тока (100 кГц),  А",
    "Амплитуда поля (100 кГц),  Э", "Напряженность поля, Э"};

// The default unit tables, each unit calibrated over its anchors.
void SetDefaultUnits(Settings& s);

// The formatters. `sep` is the decimal separator (the system locale's).
std::string FormatField(const Settings& s, std::uint16_t code, std::string_view sep);
std::string FormatAmplitude(const Settings& s, std::int32_t a, std::string_view sep);
std::string FormatIntegral(const Settings& s, double x, std::string_view sep);
std::string FormatCorrection(const Settings& s, std::int32_t code, std::string_view sep);
std::string FormatAdc(const Settings& s, std::int32_t code, std::string_view sep);

// RazvUnits[4..7] := [0..3] and ADCUnits[5..9] := [0..4]; RestoreUnits the reverse.
void StoreUnits(Settings& s);
void RestoreUnits(Settings& s);

// The texts of the calibration dialog's Min and Max edits and its four choices.
struct UnitDialogTexts {
  std::array<std::string, 4> RazvMin, RazvMax;
  std::array<std::string, 2> AmpMin, AmpMax;
  std::array<std::string, 2> CorrMin, CorrMax;
  std::array<std::string, 5> ADCMin, ADCMax;
  int RazvUnit = 0, AmpUnit = 0, CorrUnit = 0, ADCUnit = 0;
};

// The texts the dialog shows for the current tables: general(5, 5) of X1 and X2.
UnitDialogTexts UnitDialogTextsFrom(const Settings& s, std::string_view sep);

// Two anchors of a unit that coincide after narrowing: the unit has no slope.
class CalibrationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What the dialog's OK does: each unit parsed from its Min and Max texts and
// calibrated at once, in table order, then the four selected indices.
// A text that is not a number throws ConvertError "'<text>' is not a valid
// floating point value"; the units handled before it keep their new values.
// Anchors that coincide (or are not finite) throw CalibrationError and change
// nothing at all.
void ApplyUnitDialog(Settings& s, const UnitDialogTexts& texts, std::string_view sep);

}  // namespace qel
