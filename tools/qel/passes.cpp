#include "passes.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <ctime>
#include <limits>
#include <stdexcept>

#include "model/atomic_file.h"
#include "model/spectrum_file.h"
#include "model/tables.h"
#include "model/units.h"

namespace qel::cli {

namespace {

std::string Number(double v) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

void PutBigEndian(std::string& out, double v) {
  const auto bits = std::bit_cast<std::uint64_t>(v);
  for (int shift = 56; shift >= 0; shift -= 8) out += static_cast<char>((bits >> shift) & 0xFF);
}

std::uint32_t PassNumber(std::string_view text, const std::string& whole) {
  std::uint32_t n = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), n);
  if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size() || n == 0)
    throw std::runtime_error("неверный список проходов \"" + whole + "\": нужны номера от 1, например 3,7-9");
  return n;
}

// Runs of numbers as "1–2, 4–11".
std::string Runs(const std::vector<std::uint32_t>& numbers) {
  std::string text;
  for (std::size_t i = 0; i < numbers.size();) {
    std::size_t j = i;
    while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1) ++j;
    if (!text.empty()) text += ", ";
    text += std::to_string(numbers[i]);
    if (j > i) text += "–" + std::to_string(numbers[j]);
    i = j + 1;
  }
  return text;
}

}  // namespace

std::set<std::uint32_t> ParsePassList(const std::string& text) {
  std::set<std::uint32_t> out;
  std::string_view rest(text);
  while (true) {
    const std::size_t comma = rest.find(',');
    const std::string_view item = rest.substr(0, comma);
    const std::size_t dash = item.find('-');
    if (dash == std::string_view::npos) {
      out.insert(PassNumber(item, text));
    } else {
      const std::uint32_t a = PassNumber(item.substr(0, dash), text), b = PassNumber(item.substr(dash + 1), text);
      if (b < a || b - a > 1000000) throw std::runtime_error("неверный список проходов \"" + text + "\": " + std::string(item));
      for (std::uint32_t n = a; n <= b; ++n) out.insert(n);
    }
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  return out;
}

PassArchive ReadArchiveForUse(const std::string& path, std::string& warning) {
  PassArchive a = ReadPassArchive(path);
  if (a.Damaged) throw FileError(a.Problem + "; проходы за ним не читаются (их среднее было бы неверным)");
  if (a.Passes.empty()) throw FileError("Файл \"" + path + "\": в архиве нет ни одного целого прохода" +
                                        (a.Problem.empty() ? std::string() : " (" + a.Problem + ")"));
  if (!a.Problem.empty())
    warning = a.Problem + "; взяты целые проходы 1–" + std::to_string(a.Passes.back().Number);
  // The counts the window divided by, replayed: an archive that does not
  // agree with itself gives no spectrum.
  std::int32_t count = 0;
  for (const PassRecord& p : a.Passes) {
    bool restart = false;
    count = NextAccumCount(count, p.RTNumb, restart);
    if (p.AccumCount != count || restart)
      throw FileError("Файл \"" + path + "\": проход " + std::to_string(p.Number) + " разделён на " +
                      std::to_string(p.AccumCount) + ", а по порядку проходов должен на " + std::to_string(count) +
                      ": архив противоречив");
  }
  return a;
}

std::vector<PassScore> ScorePasses(const std::vector<PassRecord>& passes, std::size_t valuesHeld) {
  std::vector<PassScore> scores;
  for (const PassRecord& p : passes) {
    PassScore s;
    s.Number = p.Number;
    s.StartMs = p.StartMs;
    s.Cut = p.Cut;
    for (const PassEntry& e : p.Entries) s.Points += e.Value <= MaxValidValue;
    scores.push_back(s);
  }
  if (passes.size() < 3) return scores;
  // The codes a block at a time, so that the values held (two bytes each)
  // stay bounded however many passes the archive has.
  constexpr std::size_t kCodes = MaxFieldCode + 1;
  std::vector<std::pair<std::size_t, std::size_t>> spans;
  std::size_t holding = 0;  // passes with a value
  for (const PassRecord& p : passes) {
    spans.push_back(PassCodeSpan(p));
    holding += spans.back().first <= spans.back().second;
  }
  if (holding < 3) return scores;
  const std::size_t blockSize = std::clamp<std::size_t>(valuesHeld / holding, 256, kCodes);
  std::vector<std::vector<std::uint16_t>> blocks(passes.size());
  std::vector<double> values, deviations;
  auto median = [](std::vector<double>& v) {
    const std::size_t mid = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(mid), v.end());
    double m = v[mid];
    if (v.size() % 2 == 0) m = (m + *std::max_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(mid))) / 2;
    return m;
  };
  for (std::size_t first = 0; first < kCodes; first += blockSize) {
    const std::size_t size = std::min(blockSize, kCodes - first);
    std::vector<std::size_t> in;  // the passes that reach the block
    for (std::size_t k = 0; k < passes.size(); ++k) {
      if (spans[k].first >= first + size || spans[k].second < first) continue;
      blocks[k].resize(size);
      if (PassCodeBlock(passes[k], first, blocks[k])) in.push_back(k);
    }
    if (in.size() < 3) continue;
    for (std::size_t i = 0; i < size; ++i) {
      values.clear();
      for (const std::size_t k : in)
        if (blocks[k][i] != PassNoValue) values.push_back(blocks[k][i]);
      if (values.size() < 3) continue;
      const double med = median(values);
      deviations.clear();
      for (const double v : values) deviations.push_back(std::fabs(v - med));
      const double scale = std::max(0.5, 1.4826 * median(deviations));
      for (const std::size_t k : in) {
        if (blocks[k][i] == PassNoValue) continue;
        const double z = std::fabs(blocks[k][i] - med) / scale;
        if (!scores[k].Score || z > *scores[k].Score) {
          scores[k].Score = z;
          scores[k].AtCode = static_cast<std::uint16_t>(first + i);
        }
      }
    }
  }
  return scores;
}

namespace {
std::string LocalTime(std::int64_t ms) { return LocalTimeText(ms / 1000, "%Y-%m-%d %H:%M:%S"); }

std::string Score(const PassScore& s) { return s.Score ? PlainDecimal(*s.Score, 3) : std::string(); }
}  // namespace

std::string PassesReport(const std::vector<PassScore>& scores, PassesFormat format, const std::string& csvPath,
                         const std::string& file) {
  std::string out;
  if (format == PassesFormat::Json) {
    out = "[";
    for (std::size_t i = 0; i < scores.size(); ++i) {
      const PassScore& s = scores[i];
      out += std::string(i ? ",\n " : "\n ") + "{\"pass\": " + std::to_string(s.Number) +
             ", \"points\": " + std::to_string(s.Points) + ", \"start\": \"" + LocalTime(s.StartMs) +
             "\", \"cut\": " + (s.Cut ? "true" : "false") + ", \"score\": " + (s.Score ? Score(s) : "null") +
             ", \"at_code\": " + (s.Score ? std::to_string(s.AtCode) : "null") + "}";
    }
    return out + "\n]\n";
  }
  if (format == PassesFormat::Csv) {
    out = "pass,points,start,cut,score,at_code\n";
    for (const PassScore& s : scores)
      out += std::to_string(s.Number) + "," + std::to_string(s.Points) + "," + LocalTime(s.StartMs) + "," +
             (s.Cut ? "1" : "0") + "," + Score(s) + "," + (s.Score ? std::to_string(s.AtCode) : "") + "\n";
    if (csvPath == "-") return out;
    WriteFileAtomically(csvPath, out);
    return {};
  }
  out = file + ": проходов " + std::to_string(scores.size()) + "\n";
  for (const PassScore& s : scores) {
    out += "  проход " + std::to_string(s.Number) + ": точек " + std::to_string(s.Points) + ", начало " +
           LocalTime(s.StartMs) + (s.Cut ? ", прерван" : ", целый");
    if (s.Score) out += ", отличие " + Score(s) + " (код " + std::to_string(s.AtCode) + ")";
    out += "\n";
  }
  return out;
}

namespace {
// The least and greatest code any of the passes holds (first > last: none).
std::pair<std::size_t, std::size_t> SpanOfPasses(const std::vector<const PassRecord*>& passes) {
  std::pair<std::size_t, std::size_t> span{MaxFieldCode + 1, 0};
  for (const PassRecord* p : passes) {
    const auto s = PassCodeSpan(*p);
    span = {std::min(span.first, s.first), std::max(span.second, s.second)};
  }
  return span;
}
}  // namespace

PassesPlotRequest PassesPlotOf(const PassArchive& archive, const std::vector<PassScore>& scores,
                               const std::string& output) {
  PassesPlotRequest r;
  r.Output = output;
  std::vector<double> values;
  for (const PassScore& s : scores)
    if (s.Score) values.push_back(*s.Score);
  double median = 0;
  if (!values.empty()) {
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2), values.end());
    median = values[values.size() / 2];
  }
  std::vector<const PassRecord*> all;
  for (const PassRecord& p : archive.Passes) all.push_back(&p);
  const auto [first, last] = SpanOfPasses(all);
  if (first > last) return r;
  r.First = static_cast<std::uint16_t>(first);
  r.Last = static_cast<std::uint16_t>(last);
  std::vector<std::uint16_t> block(last - first + 1);
  for (std::size_t k = 0; k < archive.Passes.size(); ++k) {
    PassCodeBlock(archive.Passes[k], first, block);
    auto& row = r.Passes.emplace_back(block.size());
    for (std::size_t i = 0; i < block.size(); ++i)
      if (block[i] != PassNoValue) row[i] = block[i];
    r.Numbers.push_back(archive.Passes[k].Number);
    const auto score = scores[k].Score;
    r.Outlier.push_back(score && *score >= 10 && *score >= 3 * median);
  }
  return r;
}

std::string AverageArchive(const PassArchive& archive, const std::set<std::uint32_t>& excluded,
                           const std::string& output) {
  std::vector<std::uint32_t> used, left;
  std::set<std::uint32_t> held;
  for (const PassRecord& p : archive.Passes) {
    held.insert(p.Number);
    (excluded.count(p.Number) ? left : used).push_back(p.Number);
  }
  for (const std::uint32_t n : excluded)
    if (!held.count(n)) throw std::runtime_error("в архиве нет прохода " + std::to_string(n));
  if (used.empty()) throw std::runtime_error("исключены все проходы: усреднять нечего");
  const auto spectrum = ReplayPasses(archive.Passes, excluded);
  SpectrumStore store;
  store.CurrentSpectrum = *spectrum;
  SaveSpectrum(store, output);
  std::string text = "Проходы: " + Runs(used) + " (" + std::to_string(used.size()) + " из " +
                     std::to_string(archive.Passes.size()) + ")";
  if (!left.empty()) text += "; исключены: " + Runs(left);
  return text + "\n";
}

Bes3tSet MakePassesBes3t(const PassArchive& archive, const std::set<std::uint32_t>& excluded, const Settings& op,
                         const std::string& title) {
  std::vector<const PassRecord*> rows;
  for (const PassRecord& p : archive.Passes)
    if (!excluded.count(p.Number)) rows.push_back(&p);
  if (rows.empty()) throw std::runtime_error("исключены все проходы: выводить нечего");
  const auto [first, last] = SpanOfPasses(rows);
  if (first > last) throw std::runtime_error("в проходах нет точек");
  // The settings as opening the last pass's spectrum gives them.
  SpectrumStore store;
  store.CurrentSpectrum.fill(EmptyPoint);
  std::copy(rows.back()->Records.begin(), rows.back()->Records.end(), store.CurrentSpectrum.end() - 10);
  const Shown shown = ShownOf(store, op);

  Bes3tSet out;
  std::vector<std::uint16_t> block(last - first + 1);
  out.Dta.reserve(block.size() * rows.size() * 8);
  for (const PassRecord* p : rows) {
    PassCodeBlock(*p, first, block);
    for (const std::uint16_t v : block)
      PutBigEndian(out.Dta, v != PassNoValue ? AmplitudeShown(shown.S, static_cast<double>(v) - ZeroLine)
                                             : std::numeric_limits<double>::quiet_NaN());
  }
  for (const PassRecord* p : rows) PutBigEndian(out.Ygf, static_cast<double>(p->Number));

  const UnitRecord& f = shown.Field;
  const double xmin = f.KoeffK * static_cast<double>(first) + f.KoeffB;
  const double xmax = f.KoeffK * static_cast<double>(last) + f.KoeffB;
  std::string unit = AmplitudeUnitName(shown.S);
  if (unit == "отсч") unit = "counts";
  if (unit == "В") unit = "V";
  if (unit == "мВ") unit = "mV";
  if (unit == "мкВ") unit = "uV";
  std::string d;
  auto line = [&](const std::string& key, const std::string& value) { d += key + "\t" + value + "\n"; };
  d += "#DESC\t1.2 * DESCRIPTOR INFORMATION ***********************\n";
  d += "*\n*\tDataset Type and Format:\n*\n";
  line("DSRC", "EXP");
  line("BSEQ", "BIG");
  line("IKKF", "REAL");
  line("XTYP", "IDX");
  line("YTYP", "IGD");
  line("ZTYP", "NODATA");
  d += "*\n*\tItem Formats:\n*\n";
  line("IRFMT", "D");
  line("YFMT", "D");
  d += "*\n*\tData Ranges and Resolutions:\n*\n";
  line("XPTS", std::to_string(block.size()));
  line("XMIN", Number(xmin));
  line("XWID", Number(xmax - xmin));
  line("YPTS", std::to_string(rows.size()));
  line("YMIN", Number(rows.front()->Number));
  line("YWID", Number(static_cast<double>(rows.back()->Number) - rows.front()->Number));
  d += "*\n*\tDocumentational Text:\n*\n";
  std::string t = title;
  for (char& c : t)
    if (c == '\'' || c == '\n' || c == '\r') c = '_';
  line("TITL", "'" + t + "'");
  line("IRNAM", "'Intensity'");
  line("XNAM", "'Field'");
  line("YNAM", "'Pass'");
  line("IRUNI", "'" + unit + "'");
  line("XUNI", "'G'");
  line("YUNI", "''");
  d += "*\n*\tOne row per pass, field fastest: each pass's own values after the real-time filter,\n";
  d += "*\tbefore the mean (the last write of a pass winning); NaN where a pass has no value.\n";
  d += "*\tThe rows' pass numbers are in the .YGF (passes left out leave gaps).\n";
  d += "*\tField codes " + std::to_string(first) + ".." + std::to_string(last) + ", x = XMIN + XWID*i/(XPTS-1).\n";
  d += "*\n************************************************************\n*\n";
  d += "#SPL\t1.2 * STANDARD PARAMETER LAYER\n*\n";
  line("EXPT", "CW");
  line("AXS1", "B0VL");
  line("AXS2", "NONE");
  line("AVGS", "1");
  d += "*\n************************************************************\n";
  out.Dsc = std::move(d);
  return out;
}

}  // namespace qel::cli
