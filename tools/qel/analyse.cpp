#include "analyse.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
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

// An amplitude difference (an error) in the amplitude unit.
double AmplitudeStep(const Settings& s, double a) { return AmplitudeShown(s, a) - AmplitudeShown(s, 0); }

}  // namespace

std::vector<LineReport> MeasureLines(const SpectrumBuffer& v, const Shown& shown, std::uint16_t a, std::uint16_t b,
                                     FitChoice fit, std::optional<double> frequencyGHz, double* sigma) {
  std::vector<double> x, y;
  PointsOf(v, a, b, x, y);
  const LinesResult found = AnalyseLines(std::move(x), std::move(y), fit, SearchOptionsOf(ReadParameters(v)));
  const LineSearch& search = found.Search;
  const Settings& s = shown.S;
  if (sigma) *sigma = AmplitudeStep(s, search.Sigma);
  const double k = std::fabs(shown.Field.KoeffK);
  auto g = [&](double field) -> std::optional<double> {
    if (!frequencyGHz) return std::nullopt;
    const double value = GFactor(*frequencyGHz, field);
    if (!std::isfinite(value)) return std::nullopt;
    return value;
  };
  std::vector<LineReport> out;
  for (std::size_t i = 0; i < search.Lines.size(); ++i) {
    const FoundLine& line = search.Lines[i];
    LineReport r;
    r.CentreCode = line.CentreCode;
    r.CentreField = FieldAt(shown.Field, line.CentreCode);
    r.FirstField = FieldAt(shown.Field, line.FirstCode);
    r.SecondField = FieldAt(shown.Field, line.SecondCode);
    r.WidthPP = k * line.Width;
    r.PeakToPeak = AmplitudeShown(s, line.PeakToPeak);
    r.Snr = line.Snr;
    r.G = g(r.CentreField);
    r.CutLow = line.CutLow;
    r.CutHigh = line.CutHigh;
    r.Overlaps = line.Overlaps;
    const std::optional<LineFit>& f = found.Fits[i];
    if (fit != FitChoice::None && !f) r.FitError = FitProblemText(found.Problems[i]);
    if (f) {
      LineReport::Fit rf;
      rf.Shape = f->Shape;
      rf.Auto = fit == FitChoice::Auto;
      rf.CentreField = FieldAt(shown.Field, f->Centre);
      rf.CentreFieldError = k * f->CentreError;
      rf.WidthPP = k * f->Width;
      rf.WidthPPError = k * f->WidthError;
      rf.PeakToPeak = AmplitudeShown(s, f->Amplitude);
      rf.PeakToPeakError = std::fabs(AmplitudeStep(s, f->AmplitudeError));
      rf.ReducedChi2 = f->ReducedChi2;
      rf.Points = f->Points;
      rf.ResidualAboveNoise = f->ResidualAboveNoise;
      rf.G = g(rf.CentreField);
      if (rf.G) rf.GError = *rf.G * rf.CentreFieldError / std::fabs(rf.CentreField);
      r.Fitted = rf;
    }
    out.push_back(r);
  }
  return out;
}

Analysis AnalyseSpectrum(SpectrumBuffer& v, const Shown& shown, const AnalyseOptions& o) {
  const PointRange data = DataRange(v);
  if (data.Empty) throw std::runtime_error("в спектре нет точек");
  const std::uint16_t a = o.From.value_or(data.First);
  const std::uint16_t b = o.To.value_or(data.Last);
  if (o.Lines) {
    // Every line on its own: the pair of extremes of the whole range is not
    // needed, and empty points stay out (a filled gap would be fitted as data).
    Analysis r;
    r.Lines = MeasureLines(v, shown, a, b, o.Fit, o.FrequencyGHz, &r.Sigma);
    r.LinesInRange = r.Lines.size();
    r.AmplitudeUnit = AmplitudeUnitName(shown.S);
    return r;
  }
  // The lines, for the warnings, before the search fills the gaps.
  double sigma = 0;
  // Fitted, so that a line hidden beside another (whose fit then leaves a
  // residual above the noise) is told of too.
  const std::vector<LineReport> lines = MeasureLines(v, shown, a, b, FitChoice::Auto, std::nullopt, &sigma);
  const std::size_t linesInRange = lines.size();
  // With noise the extreme of a cut line lies a few points inside the range
  // end; the search knows the line is cut. Only the line the measured
  // extremes belong to counts (a weak line cut elsewhere does not).
  const double codesPerOe = shown.Field.KoeffK != 0 ? 1 / std::fabs(shown.Field.KoeffK) : 0;
  auto cutAt = [&](std::int32_t index) {
    return std::any_of(lines.begin(), lines.end(), [&](const LineReport& l) {
      return (l.CutLow || l.CutHigh) && std::fabs(index - l.CentreCode) <= 1.5 * l.WidthPP * codesPerOe + 1;
    });
  };
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
  {
    const int loEnd = CursorRange(v, a, b).First;
    auto runEnd = [&](int at) {
      int end = at;
      while (end + 1 <= hiEnd && v[static_cast<std::size_t>(end + 1)].Value == v[static_cast<std::size_t>(at)].Value)
        ++end;
      return end;
    };
    r.MeasuredCut =
        cutAt(maxIndex) || cutAt(minIndex) || maxIndex == loEnd || minIndex == loEnd || runEnd(maxIndex) == hiEnd || runEnd(minIndex) == hiEnd;
  }
  r.CentreField = FieldAt(shown.Field, r.CentreCode);

  const int factor = GainTable[static_cast<std::size_t>(UsedAmplifying(s))].Factor;
  const double integral = IntegralValue(v, a, b, factor);
  const double k = s.RazvUnit < 4 ? s.RazvUnits[s.RazvUnit].KoeffK : 0;
  const double m = s.AmpUnit < 2 ? s.AmpUnits[s.AmpUnit].KoeffK : 0;
  r.Integral = k * k * integral * m;
  r.IntegralUnit = IntegralUnitOf(s);
  r.AmplitudeUnit = AmplitudeUnitName(s);
  r.LinesInRange = linesInRange;
  r.HiddenLine = std::any_of(lines.begin(), lines.end(),
                             [](const LineReport& l) { return l.Fitted && l.Fitted->ResidualAboveNoise; });
  r.Sigma = sigma;
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
      one.Fit = o.Lines ? o.Fit : FitChoice::None;
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

namespace qel::cli {

namespace {

// A value and its standard error, the error to two significant digits and
// the value to the same place: "3245.1234±0.0021".
std::string WithError(double v, double e) {
  if (!std::isfinite(e) || e <= 0) return PlainDecimal(v, 8);
  const int decimals = std::clamp(1 - static_cast<int>(std::floor(std::log10(e))), 0, 12);
  char a[64], b[64];
  std::snprintf(a, sizeof a, "%.*f", decimals, v);
  std::snprintf(b, sizeof b, "%.*f", decimals, e);
  return std::string(a) + "±" + b;
}

std::string Flag(bool b) { return b ? "true" : "false"; }
std::string Number(double v) { return PlainDecimal(v, 10); }
std::string Optional(const std::optional<double>& v, const char* none) { return v ? Number(*v) : none; }

std::string LinesWord(std::size_t n) {
  const std::size_t d = n % 10, dd = n % 100;
  if (d == 1 && dd != 11) return "линия";
  if (d >= 2 && d <= 4 && (dd < 12 || dd > 14)) return "линии";
  return "линий";
}

}  // namespace

std::string LinesText(const std::vector<FileAnalysis>& rows) {
  std::string t;
  for (const FileAnalysis& f : rows) {
    if (!f.Result) {
      t += f.File + ": ошибка: " + f.Error + "\n";
      continue;
    }
    const Analysis& r = *f.Result;
    const std::string& au = r.AmplitudeUnit;
    if (r.Lines.empty()) {
      t += f.File + ": линий нет (шум " + A(r.Sigma) + " " + au + ")\n";
      continue;
    }
    for (std::size_t i = 0; i < r.Lines.size(); ++i) {
      const LineReport& l = r.Lines[i];
      t += f.File + ": линия " + std::to_string(i + 1) + " из " + std::to_string(r.Lines.size()) + ":";
      t += " H0=" + F(l.CentreField) + " Э;";
      t += " ΔHpp=" + F(l.WidthPP) + " Э;";
      t += " A=" + A(l.PeakToPeak) + " " + au + ";";
      t += " S/N=" + PlainDecimal(l.Snr, 3);
      if (l.G) t += "; g=" + G(l.G);
      if (l.CutLow) t += "; обрезана началом диапазона";
      if (l.CutHigh) t += "; обрезана концом диапазона";
      if (l.Overlaps) t += "; перекрывается с соседней";
      if (l.Fitted) {
        const LineReport::Fit& p = *l.Fitted;
        t += std::string("; подгонка") + (p.Auto ? " (авто) " : " ") + ShapeName(p.Shape) + ":";
        t += " H0=" + WithError(p.CentreField, p.CentreFieldError) + " Э,";
        t += " ΔHpp=" + WithError(p.WidthPP, p.WidthPPError) + " Э,";
        t += " A=" + WithError(p.PeakToPeak, p.PeakToPeakError) + " " + au + ",";
        t += " χ²=" + PlainDecimal(p.ReducedChi2, 3);
        if (p.G) t += ", g=" + WithError(*p.G, p.GError.value_or(0));
        if (p.ResidualAboveNoise) t += "; остаток больше шума";
      } else if (!l.FitError.empty()) {
        t += "; " + l.FitError;
      }
      t += "\n";
    }
  }
  return t;
}

std::string LinesCsv(const std::vector<FileAnalysis>& rows) {
  std::string t =
      "file,line,lines,centre_code,centre_field_Oe,first_field_Oe,second_field_Oe,dHpp_Oe,amplitude_pp,"
      "amplitude_unit,snr,sigma,g,cut_low,cut_high,overlaps,fit_shape,fit_auto,fit_centre_field_Oe,"
      "fit_centre_field_error_Oe,fit_dHpp_Oe,fit_dHpp_error_Oe,fit_amplitude_pp,fit_amplitude_pp_error,"
      "fit_reduced_chi2,fit_points,fit_g,fit_g_error,error\n";
  auto b = [](bool v) { return std::string(v ? "1" : "0"); };
  for (const FileAnalysis& f : rows) {
    if (!f.Result) {
      t += CsvField(f.File) + std::string(28, ',') + CsvField(f.Error) + "\n";
      continue;
    }
    const Analysis& r = *f.Result;
    if (r.Lines.empty()) {
      t += CsvField(f.File) + ",,0,,,,,,," + CsvField(r.AmplitudeUnit) + ",," + Number(r.Sigma) +
           std::string(17, ',') + "\n";
      continue;
    }
    for (std::size_t i = 0; i < r.Lines.size(); ++i) {
      const LineReport& l = r.Lines[i];
      t += CsvField(f.File) + "," + std::to_string(i + 1) + "," + std::to_string(r.Lines.size()) + "," +
           Number(l.CentreCode) + "," + Number(l.CentreField) + "," + Number(l.FirstField) + "," +
           Number(l.SecondField) + "," + Number(l.WidthPP) + "," + Number(l.PeakToPeak) + "," +
           CsvField(r.AmplitudeUnit) + "," + Number(l.Snr) + "," + Number(r.Sigma) + "," + Optional(l.G, "") + "," +
           b(l.CutLow) + "," + b(l.CutHigh) + "," + b(l.Overlaps) + ",";
      if (l.Fitted) {
        const LineReport::Fit& p = *l.Fitted;
        t += std::string(ShapeKey(p.Shape)) + "," + b(p.Auto) + "," + Number(p.CentreField) + "," +
             Number(p.CentreFieldError) + "," + Number(p.WidthPP) + "," + Number(p.WidthPPError) + "," +
             Number(p.PeakToPeak) + "," + Number(p.PeakToPeakError) + "," + Number(p.ReducedChi2) + "," +
             std::to_string(p.Points) + "," + Optional(p.G, "") + "," + Optional(p.GError, "") + ",";
      } else {
        t += std::string(12, ',');
      }
      t += CsvField(l.FitError) + "\n";
    }
  }
  return t;
}

std::string LinesJson(const std::vector<FileAnalysis>& rows) {
  std::string t = "[\n";
  for (std::size_t n = 0; n < rows.size(); ++n) {
    const FileAnalysis& f = rows[n];
    t += "  {\"file\": " + JsonString(f.File);
    if (!f.Result) {
      t += ", \"error\": " + JsonString(f.Error) + "}";
    } else {
      const Analysis& r = *f.Result;
      t += ", \"sigma\": " + Number(r.Sigma) + ", \"lines\": [";
      for (std::size_t i = 0; i < r.Lines.size(); ++i) {
        const LineReport& l = r.Lines[i];
        t += i ? ",\n    " : "\n    ";
        t += "{\"centre_code\": " + Number(l.CentreCode) + ", \"centre_field\": " + Number(l.CentreField) +
             ", \"first_field\": " + Number(l.FirstField) + ", \"second_field\": " + Number(l.SecondField) +
             ", \"dHpp\": " + Number(l.WidthPP) + ", \"amplitude_pp\": " + Number(l.PeakToPeak) +
             ", \"snr\": " + Number(l.Snr) + ", \"g\": " + Optional(l.G, "null") + ", \"cut_low\": " +
             Flag(l.CutLow) + ", \"cut_high\": " + Flag(l.CutHigh) + ", \"overlaps\": " + Flag(l.Overlaps);
        if (l.Fitted) {
          const LineReport::Fit& p = *l.Fitted;
          t += ", \"fit\": {\"shape\": \"" + std::string(ShapeKey(p.Shape)) + "\", \"auto\": " + Flag(p.Auto) +
               ", \"centre_field\": " + Number(p.CentreField) + ", \"centre_field_error\": " +
               Number(p.CentreFieldError) + ", \"dHpp\": " + Number(p.WidthPP) + ", \"dHpp_error\": " +
               Number(p.WidthPPError) + ", \"amplitude_pp\": " + Number(p.PeakToPeak) +
               ", \"amplitude_pp_error\": " + Number(p.PeakToPeakError) + ", \"reduced_chi2\": " +
               Number(p.ReducedChi2) + ", \"points\": " + std::to_string(p.Points) + ", \"g\": " +
               Optional(p.G, "null") + ", \"g_error\": " + Optional(p.GError, "null") +
               ", \"residual_above_noise\": " + Flag(p.ResidualAboveNoise) + "}";
        } else if (!l.FitError.empty()) {
          t += ", \"fit\": null, \"fit_error\": " + JsonString(l.FitError);
        }
        t += "}";
      }
      t += r.Lines.empty() ? "]" : "\n  ]";
      t += ", \"units\": {\"field\": \"Э\", \"amplitude\": " + JsonString(r.AmplitudeUnit) + "}}";
    }
    t += n + 1 < rows.size() ? ",\n" : "\n";
  }
  return t + "]\n";
}

std::string AnalysisWarnings(const FileAnalysis& f) {
  if (!f.Result) return "";
  const Analysis& r = *f.Result;
  std::string t;
  if (r.LinesInRange > 1)
    t += "qel: " + f.File + ": предупреждение: в диапазоне " + std::to_string(r.LinesInRange) + " " +
         LinesWord(r.LinesInRange) +
         ", а максимум и минимум могут принадлежать разным линиям; каждую линию покажет qel analyse --lines\n";
  if (r.HiddenLine)
    t += "qel: " + f.File +
         ": предупреждение: остаток больше шума — рядом с линией скрыта ещё одна; см. qel analyse --lines --fit auto\n";
  // A range too narrow to hold a line has its extremes on its ends too.
  if (r.MeasuredCut && r.LinesInRange > 0)
    t += "qel: " + f.File +
         ": предупреждение: экстремум линии на краю диапазона — линия обрезана, ΔHpp и центр неверны; "
         "см. qel analyse --lines\n";
  return t;
}

}  // namespace qel::cli
