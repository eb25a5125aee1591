#include "analyse.h"

#include <atomic>
#include <cmath>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "model/tables.h"
#include "model/units.h"
#include "processing/spectrum_ops.h"

namespace qel::cli {

namespace {

// The unit text that "S=" shows after its number.
std::string IntegralUnitOf(const Settings& s) {
  const std::string text = FormatIntegral(s, 1.0, ".");
  const auto space = text.find(' ');
  return space == std::string::npos ? std::string() : text.substr(space + 1);
}

double FieldAt(const UnitRecord& f, double code) { return f.KoeffK * code + f.KoeffB; }

}  // namespace

Analysis AnalyseSpectrum(SpectrumBuffer& v, const Shown& shown, const AnalyseOptions& o) {
  const PointRange data = DataRange(v);
  if (data.Empty) throw std::runtime_error("в спектре нет точек");
  const std::uint16_t a = o.From.value_or(data.First);
  const std::uint16_t b = o.To.value_or(data.Last);
  std::int32_t maxIndex = -1, minIndex = -1;
  MinMaxSpectrum(v, a, b, maxIndex, minIndex);
  if (maxIndex < 0 || minIndex < 0)
    throw std::runtime_error("между кодами " + std::to_string(std::min(a, b)) + " и " +
                             std::to_string(std::max(a, b)) + " нет экстремумов");
  const Settings& s = shown.S;
  Analysis r;
  const SpectrumPoint mx = v[static_cast<std::size_t>(maxIndex)];
  const SpectrumPoint mn = v[static_cast<std::size_t>(minIndex)];
  const int hiEnd = CursorRange(v, a, b).Last;
  auto middleOfRun = [&](int at) {
    int end = at;
    while (end + 1 <= hiEnd && v[static_cast<std::size_t>(end + 1)].Value == v[static_cast<std::size_t>(at)].Value) ++end;
    return (at + end) / 2.0;
  };
  r.MaxCode = middleOfRun(maxIndex);
  r.MinCode = middleOfRun(minIndex);
  r.MaxField = FieldAt(shown.Field, r.MaxCode);
  r.MinField = FieldAt(shown.Field, r.MinCode);
  r.MaxAmplitude = AmplitudeShown(s, static_cast<double>(mx.Value) - ZeroLine);
  r.MinAmplitude = AmplitudeShown(s, static_cast<double>(mn.Value) - ZeroLine);
  r.PeakToPeak = AmplitudeShown(s, std::abs(static_cast<double>(mx.Value) - mn.Value));
  r.WidthPP = std::fabs(r.MaxField - r.MinField);

  // The crossing of the zero line between the extremes.
  const double level = ZeroLine;
  const int lo = std::min(maxIndex, minIndex), hi = std::max(maxIndex, minIndex);
  std::optional<double> firstCross, lastCross;
  int prev = -1;
  for (int i = lo; i <= hi; ++i) {
    if (!IsValid(v[static_cast<std::size_t>(i)])) continue;
    const double d = v[static_cast<std::size_t>(i)].Value - level;
    if (prev >= 0) {
      const double dp = v[static_cast<std::size_t>(prev)].Value - level;
      if ((dp > 0 && d <= 0) || (dp < 0 && d >= 0)) {
        const double x = prev + (i - prev) * dp / (dp - d);
        if (!firstCross) firstCross = x;
        lastCross = x;
      }
    }
    prev = i;
  }
  if (!firstCross) throw std::runtime_error("между экстремумами сигнал не пересекает нулевую линию");
  r.CentreCode = (*firstCross + *lastCross) / 2;
  r.CentreField = FieldAt(shown.Field, r.CentreCode);

  const int factor = GainTable[static_cast<std::size_t>(UsedAmplifying(s))].Factor;
  const double integral = IntegralValue(v, a, b, factor);
  const double k = s.RazvUnit < 4 ? s.RazvUnits[s.RazvUnit].KoeffK : 0;
  const double m = s.AmpUnit < 2 ? s.AmpUnits[s.AmpUnit].KoeffK : 0;
  r.Integral = k * k * integral * m;
  r.IntegralUnit = IntegralUnitOf(s);
  r.AmplitudeUnit = AmplitudeUnitName(s);
  if (o.FrequencyGHz) {
    // A centre at zero field (a file recorded over 0..0) has no g-factor.
    const double g = GFactor(*o.FrequencyGHz, r.CentreField);
    if (std::isfinite(g)) r.G = g;
  }
  return r;
}

std::vector<FileAnalysis> AnalyseFiles(const std::vector<std::string>& files, const Settings& operatorSettings,
                                       const AnalyseOptions& o, const std::function<void(std::size_t)>& progress) {
  std::vector<FileAnalysis> results(files.size());
  std::atomic<std::size_t> next{0};
  std::mutex progressMutex;
  std::size_t done = 0;
  auto work = [&] {
    const auto store = std::make_unique<SpectrumStore>();  // one per thread, reused for every file
    for (;;) {
      const std::size_t i = next.fetch_add(1);
      if (i >= files.size()) break;
      FileAnalysis& one = results[i];
      one.File = files[i];
      try {
        const Shown shown = LoadAsShown(*store, files[i], operatorSettings);
        one.Result = AnalyseSpectrum(store->CurrentSpectrum, shown, o);
      } catch (const std::exception& e) {
        one.Error = e.what();
      }
      std::lock_guard lock(progressMutex);
      ++done;
      if (progress) progress(done);
    }
  };
  const std::size_t threads = std::min<std::size_t>(static_cast<std::size_t>(std::max(1, o.Jobs)), files.size());
  std::vector<std::thread> pool;
  for (std::size_t t = 1; t < threads; ++t) pool.emplace_back(work);
  work();
  for (auto& t : pool) t.join();
  return results;
}

namespace {

std::string F(double v) { return PlainDecimal(v, 8); }
std::string A(double v) { return PlainDecimal(v, 6); }
std::string G(const std::optional<double>& g) { return g ? PlainDecimal(*g, 7) : ""; }

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", u);
      out += buf;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

}  // namespace

std::string AnalysisText(const std::vector<FileAnalysis>& rows) {
  std::string t;
  for (const FileAnalysis& f : rows) {
    t += f.File + ":";
    if (!f.Result) {
      t += " ошибка: " + f.Error + "\n";
      continue;
    }
    const Analysis& r = *f.Result;
    const std::string& au = r.AmplitudeUnit;
    t += " max " + A(r.MaxAmplitude) + " " + au + " при " + F(r.MaxField) + " Э;";
    t += " min " + A(r.MinAmplitude) + " " + au + " при " + F(r.MinField) + " Э;";
    t += " A=" + A(r.PeakToPeak) + " " + au + ";";
    t += " ΔHpp=" + F(r.WidthPP) + " Э;";
    t += " H0=" + F(r.CentreField) + " Э;";
    t += " S=" + A(r.Integral) + (r.IntegralUnit.empty() ? "" : " " + r.IntegralUnit);
    if (r.G) t += "; g=" + G(r.G);
    t += "\n";
  }
  return t;
}

std::string AnalysisCsv(const std::vector<FileAnalysis>& rows) {
  std::string t =
      "file,max_code,max_field_Oe,max_amplitude,min_code,min_field_Oe,min_amplitude,amplitude_pp,"
      "amplitude_unit,dHpp_Oe,centre_field_Oe,integral,integral_unit,g,error\n";
  for (const FileAnalysis& f : rows) {
    t += CsvField(f.File) + ",";
    if (!f.Result) {
      t += ",,,,,,,,,,,,," + CsvField(f.Error) + "\n";
      continue;
    }
    const Analysis& r = *f.Result;
    t += PlainDecimal(r.MaxCode, 8) + "," + F(r.MaxField) + "," + A(r.MaxAmplitude) + "," +
         PlainDecimal(r.MinCode, 8) + "," + F(r.MinField) + "," + A(r.MinAmplitude) + "," + A(r.PeakToPeak) +
         "," + CsvField(r.AmplitudeUnit) + "," + F(r.WidthPP) + "," + F(r.CentreField) + "," + A(r.Integral) +
         "," + CsvField(r.IntegralUnit) + "," + G(r.G) + ",\n";
  }
  return t;
}

std::string AnalysisJson(const std::vector<FileAnalysis>& rows) {
  std::string t = "[\n";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const FileAnalysis& f = rows[i];
    t += "  {\"file\": " + JsonString(f.File);
    if (!f.Result) {
      t += ", \"error\": " + JsonString(f.Error) + "}";
    } else {
      const Analysis& r = *f.Result;
      const std::string au = JsonString(r.AmplitudeUnit);
      t += ", \"max\": {\"code\": " + PlainDecimal(r.MaxCode, 8) + ", \"field\": " + F(r.MaxField) +
           ", \"amplitude\": " + A(r.MaxAmplitude) + "}";
      t += ", \"min\": {\"code\": " + PlainDecimal(r.MinCode, 8) + ", \"field\": " + F(r.MinField) +
           ", \"amplitude\": " + A(r.MinAmplitude) + "}";
      t += ", \"amplitude_pp\": " + A(r.PeakToPeak) + ", \"dHpp\": " + F(r.WidthPP) +
           ", \"centre_field\": " + F(r.CentreField) + ", \"integral\": " + A(r.Integral) +
           ", \"g\": " + (r.G ? G(r.G) : std::string("null"));
      t += ", \"units\": {\"field\": \"Э\", \"amplitude\": " + au + ", \"integral\": " +
           JsonString(r.IntegralUnit) + "}}";
    }
    t += i + 1 < rows.size() ? ",\n" : "\n";
  }
  return t + "]\n";
}

}  // namespace qel::cli
