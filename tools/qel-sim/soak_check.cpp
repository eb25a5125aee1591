// qel-soak-check: compares the spectra a program saved automatically with
// what qel-sim sent (its --pass-log), for a soak run.
//
//   qel-soak-check --pass-log FILE --dir DIR --mask NAME [--speed CODE]
//                  [--lines N] [--width CODES] [--amplitude CODES]
//                  [--values-changed 1]
//
// Every point saved must carry the simulator's signal; a point may be
// missing only where the simulator damaged the telegram (a wrong checksum,
// random bytes before it, or the telegram after such bytes). File numbers
// must run without a gap, and the files must follow the passes one by one:
// a pass is merged into the file of the one before only when its Tm03 was
// damaged, and the files reach the end of the log (the pass under way when
// the program was stopped excepted). The first file (the pass under way when the program started) is
// checked for wrong values only. Prints a summary; exit status 1 on any fault.
//
// With --values-changed 1 (the real-time filter or accumulation on, which
// change what is saved) the values are not compared; the rest is: numbers
// without a gap, and files that follow the passes one by one, each missing
// points only where the simulator damaged a telegram.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "instrument.h"
#include "model/auto_save.h"
#include "model/spectrum.h"
#include "model/spectrum_file.h"

namespace {

struct Pass {
  std::uint64_t number = 0;
  int startDamage = 0;  // 1: its Tm03 had a wrong checksum or followed random bytes
  bool cut = false;
  int points = 0;
  int gain = 0, correction = 0;
  std::set<int> bad, garbage;
};

std::set<int> ParseCodes(const std::string& s) {
  std::set<int> codes;
  if (s == "-") return codes;
  std::stringstream in(s);
  std::string item;
  while (std::getline(in, item, ',')) codes.insert(std::atoi(item.c_str()));
  return codes;
}

struct SavedFile {
  int number = 0;
  std::string path;
  std::set<int> missing;  // telegram codes (multiples of the step) without a point
  int wrong = 0;          // points whose value is not the signal
  int present = 0;
};

}  // namespace

int main(int argc, char** argv) {
  std::string passLog, dir, mask;
  bool valuesChanged = false;
  qelsim::Options o;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i], v = argv[i + 1];
    if (a == "--pass-log") passLog = v;
    else if (a == "--dir") dir = v;
    else if (a == "--mask") mask = v;
    else if (a == "--speed") o.StartSpeedCode = std::atoi(v.c_str());
    else if (a == "--lines") o.Lines = std::atoi(v.c_str());
    else if (a == "--width") o.LineWidth = std::atof(v.c_str());
    else if (a == "--amplitude") o.Amplitude = std::atof(v.c_str());
    else if (a == "--values-changed") valuesChanged = v == "1";
    else {
      std::fprintf(stderr, "qel-soak-check: unknown option %s\n", a.c_str());
      return 2;
    }
  }
  if (passLog.empty() || dir.empty() || mask.empty()) {
    std::fprintf(stderr, "usage: qel-soak-check --pass-log FILE --dir DIR --mask NAME [--speed CODE] ...\n");
    return 2;
  }
  const int step = qelsim::SpeedOf(o.StartSpeedCode).Step;

  std::vector<Pass> passes;
  {
    std::ifstream in(passLog);
    std::string line;
    while (std::getline(in, line)) {
      std::stringstream ls(line);
      Pass p;
      int damaged = 0, cut = 0;
      std::string bad, garbage;
      ls >> p.number >> damaged >> cut >> p.points >> p.gain >> p.correction >> bad >> garbage;
      p.cut = cut != 0;
      p.bad = ParseCodes(bad);
      p.garbage = ParseCodes(garbage);
      p.startDamage = damaged;
      passes.push_back(std::move(p));
    }
  }

  // The signal for each gain and correction met.
  std::map<std::pair<int, int>, std::vector<int>> signals;
  auto signal = [&](int gain, int correction) -> const std::vector<int>& {
    auto& v = signals[{gain, correction}];
    if (v.empty()) {
      qelsim::Options ro = o;
      ro.StartGainCode = gain;
      qelsim::Instrument ref(ro);
      const int word = correction + 32768;
      const std::uint8_t hi = static_cast<std::uint8_t>(word >> 8), lo = static_cast<std::uint8_t>(word & 0xFF);
      const std::uint8_t cmd[6] = {0x81, 0x58, 133, hi, lo, static_cast<std::uint8_t>(133 + hi + lo)};
      ref.Receive(cmd, 6, 0);
      v.resize(qel::MaxFieldCode + 1);
      for (int x = 0; x <= qel::MaxFieldCode; ++x) v[static_cast<std::size_t>(x)] = ref.SignalAt(x - x % step);
    }
    return v;
  };
  // Gain and correction are the same in every pass of a soak run; take the most common.
  std::map<std::pair<int, int>, int> settings;
  for (const Pass& p : passes)
    if (p.gain >= 0) ++settings[{p.gain, p.correction}];
  std::pair<int, int> usual{1, 0};
  int most = 0;
  for (auto [k, n] : settings)
    if (n > most) most = n, usual = k;
  const std::vector<int>& expected = signal(usual.first, usual.second);

  // The files: the mask's prefix, eight digits, ".qel"; nothing else.
  const std::string zero = qel::AutoSaveName(mask, 0);
  const std::string prefix = zero.substr(0, zero.size() - 8);
  std::vector<SavedFile> files;
  int strangers = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (name.size() != prefix.size() + 12 || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - 4, 4, ".qel") != 0) {
      ++strangers;
      continue;
    }
    SavedFile f;
    f.number = std::atoi(name.substr(prefix.size(), 8).c_str());
    f.path = e.path().string();
    files.push_back(f);
  }
  std::sort(files.begin(), files.end(), [](const SavedFile& a, const SavedFile& b) { return a.number < b.number; });
  int faults = 0;
  if (files.empty()) {
    std::printf("no files\n");
    return 1;
  }
  int gaps = 0;
  for (std::size_t i = 1; i < files.size(); ++i) gaps += files[i].number - files[i - 1].number - 1;

  qel::SpectrumStore store;
  long long wrongTotal = 0;
  for (SavedFile& f : files) {
    if (!qel::LoadSpectrum(store, f.path)) {
      std::printf("cannot read %s\n", f.path.c_str());
      ++faults;
      continue;
    }
    for (int x = 0; x <= qel::MaxFieldCode; ++x) {
      const qel::SpectrumPoint p = store.CurrentSpectrum[static_cast<std::size_t>(x)];
      if (!qel::IsValid(p)) {
        if (x % step == 0) f.missing.insert(x);
        continue;
      }
      ++f.present;
      if (p.Code != x || p.Value != expected[static_cast<std::size_t>(x)]) ++f.wrong;
    }
    wrongTotal += f.wrong;
  }

  // Files 2.. against runs of passes: a run is a pass and the following
  // ones whose Tm03 was lost (possible only where it was damaged).
  auto explains = [&](const SavedFile& f, std::size_t from, std::size_t to) {  // passes [from, to)
    std::set<int> allowed;
    std::set<int> required = passes[from].bad;
    for (std::size_t j = from; j < to; ++j) {
      const Pass& p = passes[j];
      if (p.cut || p.points != (qel::MaxFieldCode + 1 + step - 1) / step) return false;
      allowed.insert(p.bad.begin(), p.bad.end());
      for (int c : p.garbage) {
        allowed.insert(c);
        allowed.insert(c + step);
      }
      std::set<int> both;
      for (int c : required)
        if (p.bad.count(c)) both.insert(c);
      if (j > from) required = both;
    }
    for (int c : f.missing)
      if (!allowed.count(c)) return false;
    for (int c : required)
      if (!f.missing.count(c)) return false;
    return true;
  };
  // memo[k][j]: files k.. follow from pass j (1 yes, 0 no, -1 unknown).
  std::vector<std::vector<int>> memo(files.size() + 1, std::vector<int>(passes.size() + 1, -1));
  std::vector<std::vector<std::size_t>> choice(files.size() + 1, std::vector<std::size_t>(passes.size() + 1, 0));
  std::function<bool(std::size_t, std::size_t)> follow = [&](std::size_t k, std::size_t j) -> bool {
    if (k == files.size()) return true;
    if (j >= passes.size()) return false;
    int& m = memo[k][j];
    if (m >= 0) return m == 1;
    m = 0;
    for (std::size_t to = j + 1; to <= passes.size(); ++to) {
      // The run ends before a pass whose Tm03 arrived; past the log's end
      // the last file's run is open.
      if (explains(files[k], j, to) && follow(k + 1, to)) {
        m = 1;
        choice[k][j] = to;
        break;
      }
      if (to < passes.size() && passes[to].startDamage == 0) break;  // a clean Tm03 always starts a new file
    }
    return m == 1;
  };
  std::size_t start = passes.size();
  for (std::size_t j = 0; j < passes.size() && files.size() > 1; ++j)
    if (follow(1, j)) {
      start = j;
      break;
    }
  bool aligned = files.size() <= 1 || start < passes.size();
  std::size_t merged = 0, lastPass = start;
  if (aligned && files.size() > 1) {
    std::size_t j = start;
    for (std::size_t k = 1; k < files.size(); ++k) {
      const std::size_t to = choice[k][j];
      merged += to - j - 1;
      lastPass = to - 1;
      j = to;
    }
    // The files reach the end of the log: only the pass under way when the
    // program was stopped may be left unsaved.
    if (lastPass + 2 < passes.size()) {
      std::printf("passes %llu..%llu after the last file were not saved\n",
                  static_cast<unsigned long long>(passes[lastPass + 1].number),
                  static_cast<unsigned long long>(passes.back().number));
      aligned = false;
    }
  }
  std::size_t damagedStarts = 0;
  for (const Pass& p : passes) damagedStarts += p.startDamage != 0;
  long long missingTelegrams = 0;
  for (std::size_t k = 1; k < files.size(); ++k) missingTelegrams += static_cast<long long>(files[k].missing.size());

  std::printf("files: %zu, numbers %d..%d, gaps %d, other files %d\n", files.size(), files.front().number,
              files.back().number, gaps, strangers);
  std::printf("passes in the simulator's log: %zu (Tm03 damaged: %zu)\n", passes.size(), damagedStarts);
  if (aligned && files.size() > 1)
    std::printf("files 2..%zu follow passes %llu..%llu one by one (%zu passes merged after a damaged Tm03)\n",
                files.size(), static_cast<unsigned long long>(passes[start].number),
                static_cast<unsigned long long>(passes[lastPass].number), merged);
  else
    std::printf("files 2.. do NOT follow the simulator's passes\n");
  if (valuesChanged)
    std::printf("values not compared (the real-time filter or accumulation on); ");
  else
    std::printf("points with a wrong value: %lld; ", wrongTotal);
  std::printf("telegrams missing in files 2..: %lld%s\n", missingTelegrams,
              aligned ? ", each where the simulator damaged one" : "");
  if (gaps || strangers || !aligned || (wrongTotal && !valuesChanged)) ++faults;
  std::printf("%s\n", faults ? "FAULT" : "OK");
  return faults ? 1 : 0;
}
