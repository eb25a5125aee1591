#include "acquisition.h"

#include <algorithm>

#include "model/atomic_file.h"
#include "model/pass_archive.h"
#include "model/number_format.h"
#include "model/registry_store.h"
#include "model/spectrum_file.h"
#include "model/units.h"

namespace qel {

Acquisition::Acquisition(Settings& s, SpectrumStore& store, RunValues& run, LinkFlags& flags, LinkView& view,
                         LinkDriver& driver, InstrumentControl& controls, RegistryStore* settingsStore,
                         std::string sep)
    : s_(s),
      store_(store),
      run_(run),
      flags_(flags),
      view_(view),
      driver_(driver),
      controls_(controls),
      settingsStore_(settingsStore),
      sep_(std::move(sep)) {}

void Acquisition::SetReceiveMode(bool receive) {
  receiveMode_ = receive;
  // A trip to analyse mode cuts the pass under way; back in receive mode the
  // spectrum on screen starts empty, the mean goes on.
  if (pass_) {
    pass_->Cut = true;
    if (receive) pass_->Entries.push_back({0, PassCleared, 0});
  }
  view_.SetActionChecked(LinkAction::Analyse, !receive);
  view_.SetActionChecked(LinkAction::Receive, receive);
  view_.SetActionEnabled(LinkAction::Analyse, receive);
  view_.SetActionEnabled(LinkAction::Receive, !receive);
  view_.SetActionEnabled(LinkAction::ResetDiap, receive);
  view_.SetActionEnabled(LinkAction::Stop, receive);
  controls_.SetGroupEnabled(ControlGroup::Razv, receive);
  view_.SetBoundLabelsEnabled(receive);
  if (!receive) {
    controls_.SetGroupEnabled(ControlGroup::Corr, false);
    controls_.SetGroupEnabled(ControlGroup::Amp, false);
    controls_.SetGroupEnabled(ControlGroup::Speed, false);
    for (int panel : {AutoPanel, FilterPanel, AccumPanel}) view_.SetStatusPanel(panel, "");
    view_.SetActionEnabled(LinkAction::SwLPF, false);
    view_.SetActionEnabled(LinkAction::SWSum, false);
    driver_.SetTimerEnabled(LinkTimer::LPFTimer, false);
    lpfImage_ = 16;
    sumImage_ = 17;
    view_.SetToggleImages(lpfImage_, sumImage_);
    // Within QelTimer's 500 ms no loop has started yet: none must start now.
    driver_.SetTimerEnabled(LinkTimer::QelTimer, false);
    flags_.Receiving = false;
    driver_.RequestIteration();  // the running loop ends and closes the port
  } else {
    view_.SetActionEnabled(LinkAction::SwLPF, true);
    view_.SetActionEnabled(LinkAction::SWSum, true);
    driver_.SetTimerEnabled(LinkTimer::LPFTimer, true);
    run_.ModAmplitude = -1;
    run_.PassesAveraged = accumActive_ ? run_.AccumCount : 1;
    driver_.SetTimerEnabled(LinkTimer::QelTimer, true);
  }
}

void Acquisition::DataPoint(std::uint16_t x, std::uint16_t y, std::uint8_t points) {
  if (y > MaxValidValue) {
    // Not an amplitude the instrument can send: such a value would read as an
    // empty point or a parameter record. The codes it covers stay empty.
    RejectPoint(store_.CurrentSpectrum, points, flags_.CurrentCode);
    if (pass_) pass_->Entries.push_back({x, PassRejected, points});
    view_.ShowSweepMark(x);
    return;
  }
  if (s_.ShowFirst && (lpfActive_ || accumActive_)) store_.RawSpectrum[x] = y;
  if (lpfActive_) {
    if (lpfCount_ < UsedConst(s_.RTLPFConst)) ++lpfCount_;
    lpfAvg_ = static_cast<float>(lpfAvg_ + (static_cast<long double>(y) - lpfAvg_) / lpfCount_);
    y = static_cast<std::uint16_t>(std::clamp<long long>(RoundEven(lpfAvg_), 0, MaxValidValue));
  }
  if (pass_) pass_->Entries.push_back({x, y, points});
  if (accumActive_) y = AccumulatePoint(store_.AccumSpectrum[x], y, run_.AccumCount);
  StorePoint(store_.CurrentSpectrum, x, y, 0, flags_.CurrentCode);
  view_.PlotPoint(x);
  view_.ShowSweepMark(x);
  StorePoint(store_.CurrentSpectrum, x, y, points, flags_.CurrentCode, [&](std::uint16_t c) {
    if (s_.Visir1 && s_.VisKoord1 == c) view_.SetVisirText(1, FormatAmplitude(s_, y - ZeroLine, sep_));
    if (s_.Visir2 && s_.VisKoord2 == c) view_.SetVisirText(2, FormatAmplitude(s_, y - ZeroLine, sep_));
  });
}

void Acquisition::Show(const std::string& text) {
  pendingError_ = pendingError_ ? *pendingError_ + "\n" + text : text;
}

void Acquisition::Failure(const std::string& text) {
  view_.AppendLog(text);
  if (!failing_) Show(text);
  failing_ = true;
}

std::optional<std::string> Acquisition::TakeError() {
  auto e = std::move(pendingError_);
  pendingError_.reset();
  return e;
}

std::vector<std::string> Acquisition::KeptSpectrumNames() const {
  std::vector<std::string> names;
  for (const KeptSpectrum& k : kept_) names.push_back(k.Name);
  return names;
}

namespace {
bool Listed(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}
}  // namespace

std::string Acquisition::WriteKept(const std::string& folder, const std::vector<std::string>* only) {
  for (auto k = kept_.begin(); k != kept_.end();) {
    if (only && !Listed(*only, k->Name)) {
      ++k;
      continue;
    }
    const std::string path = PathInFolder(folder, k->Name);
    try {
      WriteFileAtomically(path, k->Bytes);
    } catch (const FileError& e) {
      return e.what();
    }
    view_.AppendLog("Автосохранение: записан отложенный спектр " + path);
    k = kept_.erase(k);
  }
  return {};
}

std::string Acquisition::WriteKeptSpectra(const std::string& folder, const std::vector<std::string>* only) {
  if (kept_.empty()) return {};
  std::string error = WriteKept(folder, only);
  if (kept_.empty()) EndFailureRun();
  return error;
}

std::vector<std::string> Acquisition::WriteKeptSpectraToFallback(std::string* took) {
  std::vector<std::string> lines;
  for (std::size_t n = 0; fallback_ && !kept_.empty(); ++n) {
    std::string why;
    const std::string folder = fallback_->Folder(n, why);
    if (folder.empty()) {
      if (why.empty()) break;  // no folder left to try
      lines.push_back("Автосохранение: " + why);
      continue;
    }
    const std::size_t before = kept_.size();
    const std::string error = WriteKept(folder, nullptr);
    if (const auto written = static_cast<long long>(before - kept_.size()); written > 0) {
      lines.push_back("Автосохранение: " + SpectraCount(written) + " " +
                      std::string(PluralForm(written, "записан", "записаны", "записаны")) + " в запасную папку " +
                      folder);
      if (took) *took = folder;
    }
    if (!error.empty()) lines.push_back("Автосохранение: " + error);
  }
  return lines;
}

std::vector<std::string> Acquisition::WriteKeptSpectraAtEnd(const std::string& workDir) {
  std::vector<std::string> lines;
  if (kept_.empty()) return lines;
  const std::string error = WriteKeptSpectra(workDir);
  if (kept_.empty()) return lines;
  lines.push_back("Автосохранение: спектры не записаны в рабочую папку: " + error);
  for (std::string& line : WriteKeptSpectraToFallback()) lines.push_back(std::move(line));
  for (const KeptSpectrum& k : kept_) lines.push_back("Автосохранение: спектр " + k.Name + " потерян: его некуда записать");
  return lines;
}

void Acquisition::DiscardKeptSpectra(const std::vector<std::string>& names) {
  for (auto k = kept_.begin(); k != kept_.end();) {
    if (!Listed(names, k->Name)) {
      ++k;
      continue;
    }
    view_.AppendLog("Автосохранение: спектр " + k->Name + " удалён оператором");
    k = kept_.erase(k);
  }
  if (kept_.empty()) EndFailureRun();
}

void Acquisition::Keep(const std::string& name) {
  kept_.push_back(KeptSpectrum{name, SerializeSpectrum(store_.CurrentSpectrum)});
  if (kept_.size() < MaxKeptSpectra) return;
  // No more may wait in memory: they all go to the fallback folder, the one
  // the program's end would use, and later ones after them.
  const auto count = static_cast<long long>(kept_.size());
  std::string folder;
  for (const std::string& line : WriteKeptSpectraToFallback(&folder)) view_.AppendLog(line);
  if (kept_.empty()) {
    if (!fallbackShown_)
      Show("Автосохранение: в памяти хранится не более " + std::to_string(MaxKeptSpectra) + " спектров, поэтому " +
           SpectraCount(count) + ", не записанные в рабочую папку, " +
           std::string(PluralForm(count, "записан", "записаны", "записаны")) + " в запасную папку " + folder +
           ". Туда же будут записываться и следующие, пока рабочая папка недоступна");
    fallbackShown_ = true;
    return;
  }
  while (kept_.size() > MaxKeptSpectra) {
    const std::string text = "Автосохранение: спектр " + kept_.front().Name +
                             " потерян: в памяти хранится не более " + std::to_string(MaxKeptSpectra) + " спектров";
    view_.AppendLog(text);
    if (!lossShown_) Show(text);
    lossShown_ = true;
    kept_.pop_front();
  }
}

void Acquisition::AutoSave() {
  // Spectra that could not be written before go first, oldest first, under
  // their own names into today's working folder; while any is left the new
  // one waits behind them.
  if (const std::string error = WriteKeptSpectra(s_.WorkDir); !error.empty())
    Failure("Автосохранение: " + error + ". Спектров в памяти: " + std::to_string(kept_.size()));
  if (!s_.AutoSave) {
    view_.SetStatusPanel(AutoPanel, "");
    return;
  }
  if (!kept_.empty()) {
    view_.SetStatusPanel(AutoPanel, "АВТО");
    if (autoSaveCountdown_ != 0) {
      --autoSaveCountdown_;
      return;
    }
    if (!AutoSaveNumberLeft(s_)) {
      Failure("Автосохранение: " + NoNumberLeftText(s_.NumbMask));
      return;
    }
    const std::string name = AutoSaveFileName(s_, s_.NumbMask);
    StampParameters(store_, s_, run_);
    Keep(name);
    const std::string stored = AdvanceAutoSaveCounters(s_, autoSaveCountdown_, settingsStore_);
    if (!stored.empty()) view_.AppendLog("Автосохранение: " + stored);
    return;
  }
  const AutoSaveResult r = AutoSaveStep(store_, s_, run_, autoSaveCountdown_, settingsStore_, *this);
  if (r.Outcome == AutoSaveResult::Failed && r.NoNumber) {
    Failure("Автосохранение: " + r.Error);
  } else if (r.Outcome == AutoSaveResult::Failed) {
    // The spectrum keeps its number and name and waits in memory.
    Keep(AutoSaveFileName(s_, s_.NumbMask));
    const std::string stored = AdvanceAutoSaveCounters(s_, autoSaveCountdown_, settingsStore_);
    Failure("Автосохранение: " + r.Error + ". Спектр сохранён в памяти и будет записан, когда это станет возможно");
    if (!stored.empty()) view_.AppendLog("Автосохранение: " + stored);
  } else if (r.Outcome == AutoSaveResult::Saved) {
    EndFailureRun();
    if (!r.StoreError.empty()) view_.AppendLog("Автосохранение: номер файла не записан в настройки: " + r.StoreError);
  }
}

void Acquisition::SetPassSink(PassSink* sink, std::function<std::int64_t()> nowMs) {
  sink_ = sink;
  nowMs_ = std::move(nowMs);
}

void Acquisition::FinishPass(PassEnd end) {
  if (!pass_) return;
  // The records a save of this spectrum carries.
  pass_->Records = ParameterRecords(s_, run_);
  pass_->End = end;
  PassRecord done = std::move(*pass_);
  pass_.reset();
  sink_->PassFinished(std::move(done));
}

void Acquisition::CloseSeries() {
  if (!series_) return;
  FinishPass(PassEnd::Closed);
  sink_->SeriesEnded();
  series_ = false;
}

void Acquisition::ForwardPassStart() {
  view_.PassEnded();
  const bool wasAccumulating = accumActive_;
  const std::int32_t countBefore = run_.AccumCount;
  // Whether this pass start ends the series: accumulation switched off, or
  // its mean restarting.
  const bool seriesEnds = series_ && (!s_.EnableRTSum || countBefore > UsedConst(s_.RTNumb));
  if (series_) FinishPass(seriesEnds ? PassEnd::SeriesEnd : PassEnd::NextPass);
  if (seriesEnds) {
    sink_->SeriesEnded();
    series_ = false;
  }
  AutoSave();

  if (s_.EnableRTLPF) {
    view_.SetStatusPanel(FilterPanel, "ФИЛЬТР [" + std::to_string(UsedConst(s_.RTLPFConst)) + "]");
    lpfActive_ = true;
    lpfCount_ = 0;
    lpfAvg_ = 0;
  } else {
    lpfActive_ = false;
    view_.SetStatusPanel(FilterPanel, "");
  }

  const int rtNumb = UsedConst(s_.RTNumb);
  if (s_.EnableRTSum && !accumActive_) {
    accumActive_ = true;
    run_.AccumCount = 0;
    store_.AccumSpectrum.fill(0.0f);
  }
  if (accumActive_) {
    bool restart = false;
    run_.AccumCount = NextAccumCount(run_.AccumCount, rtNumb, restart);
    if (restart) store_.AccumSpectrum.fill(0.0f);
    view_.SetStatusPanel(AccumPanel,
                         "НАКОПЛ [" + std::to_string(run_.AccumCount) + " из " + std::to_string(rtNumb) + "]");
    accumActive_ = s_.EnableRTSum;
  } else {
    view_.SetStatusPanel(AccumPanel, "");
  }
  // What this pass's files will record, read when it is saved (the next
  // pass start's save comes before the count moves on).
  run_.PassesAveraged = accumActive_ ? run_.AccumCount : 1;

  // A series starts with the mean (started or restarted here).
  if (accumActive_ && sink_ && (!wasAccumulating || run_.AccumCount == 1) && !series_) {
    passNumber_ = 0;
    series_ = sink_->SeriesStarted(nowMs_() / 1000);
  }
  if (series_ && accumActive_) {
    pass_.emplace();
    pass_->Number = ++passNumber_;
    pass_->StartMs = nowMs_();
    pass_->RTNumb = rtNumb;
    pass_->AccumCount = run_.AccumCount;
    pass_->FilterConst = lpfActive_ ? UsedConst(s_.RTLPFConst) : 0;
  }

  store_.ClearSpectrum();
  run_.MinIndex = -1;
  run_.MaxIndex = -1;
  run_.IntegralS = -1;
  view_.FullRepaint();

  view_.SetStatusPanel(InfoPanel, "Рабочий ход");
  flags_.LinkState = LinkStatus::Ok;
  passDirection_ = PassDirection::Forward;
  view_.SetActionEnabled(LinkAction::SaveFileAs, true);
}

void Acquisition::ReturnPosition(std::uint16_t code) {
  if (passDirection_ != PassDirection::Return) {
    view_.SetStatusPanel(InfoPanel, "Обратный ход");
    passDirection_ = PassDirection::Return;
    flags_.SilenceTicks = -5;
  }
  view_.ShowSweepMark(code);
}

void Acquisition::ASwLPFExecute(bool checked) {
  s_.EnableRTLPF = checked;
  view_.SetActionChecked(LinkAction::SwLPF, checked);
}

void Acquisition::ASWSumExecute(bool checked) {
  s_.EnableRTSum = checked;
  view_.SetActionChecked(LinkAction::SWSum, checked);
}

void Acquisition::LPFTimerTimer() {
  // A toggle's checked state is its setting.
  if (s_.EnableRTLPF) lpfImage_ = lpfImage_ == 16 ? 23 : 16;
  if (s_.EnableRTSum) sumImage_ = sumImage_ == 17 ? 24 : 17;
  view_.SetToggleImages(lpfImage_, sumImage_);
}

}  // namespace qel
