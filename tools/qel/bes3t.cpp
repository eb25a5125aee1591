#include "bes3t.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "model/tables.h"

namespace qel::cli {

namespace {

std::string Number(double v) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);  // shortest exact text, '.' always
  return std::string(buf, r.ptr);
}

// BES3T texts are read as plain bytes; units get their usual Latin names.
std::string AsciiUnit(const std::string& name) {
  if (name == "В") return "V";
  if (name == "мВ") return "mV";
  if (name == "мкВ") return "uV";
  if (name == "отсч") return "counts";
  return name;
}

std::string Quoted(std::string text) {
  for (char& c : text)
    if (c == '\'' || c == '\n' || c == '\r') c = '_';
  return "'" + text + "'";
}

void PutBigEndian(std::string& out, double v) {
  const auto bits = std::bit_cast<std::uint64_t>(v);
  for (int shift = 56; shift >= 0; shift -= 8) out += static_cast<char>((bits >> shift) & 0xFF);
}

}  // namespace

std::optional<double> SweepSeconds(std::string_view caption) {
  while (!caption.empty() && (caption.front() == ' ' || caption.front() == '-')) caption.remove_prefix(1);
  int n = 0;
  const auto r = std::from_chars(caption.data(), caption.data() + caption.size(), n);
  if (r.ec != std::errc() || n <= 0) return std::nullopt;
  const std::string_view unit(r.ptr, static_cast<std::size_t>(caption.data() + caption.size() - r.ptr));
  if (unit.find("мин") != std::string_view::npos) return 60.0 * n;
  if (unit.find("сек") != std::string_view::npos) return 1.0 * n;
  return std::nullopt;
}

Bes3tPair MakeBes3t(const SpectrumBuffer& spectrum, const Shown& shown, const std::string& title,
                    std::optional<double> frequencyGHz) {
  long first = -1, last = -1;
  for (long i = 0; i < static_cast<long>(SpectrumSize); ++i) {
    if (!IsValid(spectrum[static_cast<std::size_t>(i)])) continue;
    if (first < 0) first = i;
    last = i;
  }
  if (first < 0) throw std::runtime_error("в спектре нет точек");

  Bes3tPair pair;
  const long points = last - first + 1;
  pair.Dta.reserve(static_cast<std::size_t>(points) * 8);
  std::uint16_t held = spectrum[static_cast<std::size_t>(first)].Value;
  for (long i = first; i <= last; ++i) {
    const SpectrumPoint p = spectrum[static_cast<std::size_t>(i)];
    if (IsValid(p)) {
      held = p.Value;
    } else {
      ++pair.FilledPoints;
    }
    PutBigEndian(pair.Dta, AmplitudeShown(shown.S, static_cast<double>(held) - ZeroLine));
  }

  const UnitRecord& f = shown.Field;
  const double xmin = f.KoeffK * static_cast<double>(first) + f.KoeffB;
  const double xmax = f.KoeffK * static_cast<double>(last) + f.KoeffB;
  const RecordedParameters rec = ReadParameters(spectrum);
  const int gain = GainTable[static_cast<std::size_t>(UsedAmplifying(shown.S))].Factor;
  const std::string unit = AsciiUnit(AmplitudeUnitName(shown.S));

  std::string d;
  auto line = [&](const std::string& key, const std::string& value) { d += key + "\t" + value + "\n"; };
  d += "#DESC\t1.2 * DESCRIPTOR INFORMATION ***********************\n";
  d += "*\n*\tDataset Type and Format:\n*\n";
  line("DSRC", "EXP");
  line("BSEQ", "BIG");
  line("IKKF", "REAL");
  line("XTYP", "IDX");
  line("YTYP", "NODATA");
  line("ZTYP", "NODATA");
  d += "*\n*\tItem Formats:\n*\n";
  line("IRFMT", "D");
  d += "*\n*\tData Ranges and Resolutions:\n*\n";
  line("XPTS", std::to_string(points));
  line("XMIN", Number(xmin));
  line("XWID", Number(xmax - xmin));
  d += "*\n*\tDocumentational Text:\n*\n";
  line("TITL", Quoted(shown.FieldRecorded ? title : title + " (field range not recorded: default 3000..3300 G)"));
  line("IRNAM", "'Intensity'");
  line("XNAM", "'Field'");
  line("IRUNI", Quoted(unit));
  line("XUNI", "'G'");
  d += "*\n";
  d += "*\tField codes " + std::to_string(first) + ".." + std::to_string(last) + ", x = XMIN + XWID*i/(XPTS-1).\n";
  if (shown.FieldRecorded)
    d += "*\tField axis from the field range recorded in the spectrum.\n";
  else
    d += "*\tNo field range recorded: field axis from the default sweep unit, 3000 G at code 0 to 3300 G at code 65519.\n";
  d += "*\tIntensity: amplitude in " + (unit.empty() ? std::string("ADC counts") : unit) +
       " before the amplifier (divided by the gain factor " + std::to_string(gain) + ").\n";
  d += "*\tEmpty points inside the data range: " + std::to_string(pair.FilledPoints) +
       ", each given the value of the last recorded point before it.\n";
  d += "*\n************************************************************\n*\n";
  d += "#SPL\t1.2 * STANDARD PARAMETER LAYER\n*\n";
  line("EXPT", "CW");
  line("AXS1", "B0VL");
  if (frequencyGHz) line("MWFQ", Number(*frequencyGHz * 1e9));
  if (auto n = rec.Get(TagAccumCount)) line("AVGS", std::to_string(*n));
  if (rec.ValidSpeed) {
    if (auto t = SweepSeconds(SpeedTable[static_cast<std::size_t>(*rec.ValidSpeed)].Caption)) {
      d += "*\tSweep time " + Number(*t) + " s (speed record) spread over the XPTS points:\n";
      line("SPTP", Number(*t / static_cast<double>(points)));
    }
  }
  if (auto m = rec.Get(TagModAmplitude); m && *m > 0 && shown.S.ADCUnits[3].Name == "Э")
    line("B0MA", Number(*m / 100.0 * 1e-4));  // tesla
  d += "*\n************************************************************\n";
  pair.Dsc = std::move(d);
  return pair;
}

}  // namespace qel::cli
