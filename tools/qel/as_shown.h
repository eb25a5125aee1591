#pragma once
// A spectrum file as the window shows it after opening: the operator's
// settings with the file's recorded parameters applied, and the field axis.

#include <cstdint>
#include <string>

#include "model/settings.h"
#include "model/spectrum.h"
#include "model/unit_record.h"

namespace qel::cli {

struct Shown {
  Settings S;            // the operator's settings after the file's parameters
  RunValues Run;         // ModAmplitude, AdcCode from the file
  UnitRecord Field;      // field code -> field in Oe (= G)
  bool FieldRecorded = false;  // the file records its field range
};

// The field unit of a spectrum: the sweep unit "Суммарное магнитное поле"
// with its default calibration (3000..3300 Oe over codes 0..65519), or over
// the range the file records.
UnitRecord FieldUnit(const RecordedParameters& p, bool& recorded);

// Loads `path` into `store` (a missing file is a FileError) and applies its
// parameters to a copy of the operator's settings, as opening it does.
Shown LoadAsShown(SpectrumStore& store, const std::string& path, const Settings& operatorSettings);
// The same for a spectrum already held.
Shown ShownOf(const SpectrumStore& store, const Settings& operatorSettings);

// An amplitude (or a difference of two) in the amplitude unit, referred to
// the signal before the amplifier: (K a + B) / gain factor.
double AmplitudeShown(const Settings& s, double a);
// The amplitude unit's name; "отсч" for ADC codes.
std::string AmplitudeUnitName(const Settings& s);

// `v` as plain decimal text with '.', `significant` significant digits,
// trailing zeros dropped; never an exponent.
std::string PlainDecimal(double v, int significant);

}  // namespace qel::cli
