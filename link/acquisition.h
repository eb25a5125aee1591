#pragma once
// Receive and analyse modes, and the spectrum built from the telegrams of a
// running link: points with the real-time filter and accumulation, the start
// of each forward pass (automatic saving included), the return pass.

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "instrument_control.h"
#include "link_state.h"
#include "link_view.h"
#include "model/auto_save.h"
#include "model/pass_archive.h"
#include "model/settings.h"
#include "model/spectrum.h"

namespace qel {

class RegistryStore;

// Folders outside the working folder that take the kept spectra when no more
// may wait in memory, and at the program's end: best first, each made when it
// is first asked for and the same one for the rest of the run.
class FallbackFolders {
 public:
  virtual ~FallbackFolders() = default;
  // The n-th folder (0 the best), made if need be. Empty when there is none:
  // `why` then says why it could not be made, or stays empty past the last.
  virtual std::string Folder(std::size_t n, std::string& why) = 0;
};

class Acquisition : public AutoSaveView {
 public:
  // At most this many spectra whose automatic save failed are kept in memory.
  static constexpr std::size_t MaxKeptSpectra = 64;

  Acquisition(Settings& s, SpectrumStore& store, RunValues& run, LinkFlags& flags, LinkView& view,
              LinkDriver& driver, InstrumentControl& controls, RegistryStore* settingsStore, std::string sep);

  void SetReceiveMode(bool receive);
  bool ReceiveMode() const { return receiveMode_; }

  // A Tm02 point with x <= 65519; `points` codes from CurrentCode on take it.
  void DataPoint(std::uint16_t x, std::uint16_t y, std::uint8_t points);
  // Tm03, before its log lines.
  void ForwardPassStart();
  // Tm14.
  void ReturnPosition(std::uint16_t code);
  // The loop starts: a pass may be under way, direction unknown.
  void ResetPassDirection() { passDirection_ = PassDirection::None; }

  // The two toggles and their blinking.
  void ASwLPFExecute(bool checked);
  void ASWSumExecute(bool checked);
  void LPFTimerTimer();

  // The first error the operator has not been shown yet, taken once.
  std::optional<std::string> TakeError();

  PassDirection Direction() const { return passDirection_; }
  bool LpfActive() const { return lpfActive_; }
  bool AccumActive() const { return accumActive_; }
  std::int32_t AutoSaveCountdown() const { return autoSaveCountdown_; }
  // Spectra whose automatic save failed wait in memory, oldest first, each
  // with its number and file name; they are written into the working folder
  // in force when they are retried (at every pass start), so the operator
  // mends a failure by choosing another folder.
  std::size_t KeptSpectra() const { return kept_.size(); }
  std::vector<std::string> KeptSpectrumNames() const;
  // Writes the kept spectra now into `folder`, oldest first, and stops at the
  // first that cannot be written: returns why (naming the file), or an empty
  // text when none is left. Each one written is logged. With `only`, just
  // the spectra of those names are written (those the operator was shown);
  // spectra kept since stay kept.
  std::string WriteKeptSpectra(const std::string& folder, const std::vector<std::string>* only = nullptr);
  // Writes the kept spectra into the fallback folders, the first that takes
  // them all ending it. Returns the log lines that say where they went and
  // what failed; spectra no folder took stay kept. `took` is the last folder
  // that took any.
  std::vector<std::string> WriteKeptSpectraToFallback(std::string* took = nullptr);
  // The program ends without questions: the kept spectra go into `workDir`,
  // failing that into the fallback folders. Returns the lines that say where
  // they went, or which were lost.
  std::vector<std::string> WriteKeptSpectraAtEnd(const std::string& workDir);
  void SetFallbackFolders(FallbackFolders* folders) { fallback_ = folders; }
  // The operator chose to give up the spectra of these names (those the
  // question listed): they are dropped, and the log names each; any kept
  // since the question was asked stay kept.
  void DiscardKeptSpectra(const std::vector<std::string>& names);

  // The passes of each accumulation series go to `sink` as they end (the
  // archive of passes); `nowMs` gives the time, ms since 1970 UTC.
  void SetPassSink(PassSink* sink, std::function<std::int64_t()> nowMs);
  // The program closes: the pass under way ends the series.
  void CloseSeries();
  // The operator stopped the sweep or reset its range: the pass is cut.
  void PassInterrupted() {
    if (pass_) pass_->Cut = true;
  }

  // AutoSaveView.
  void SetStatusPanel(int panel, const std::string& text) override { view_.SetStatusPanel(panel, text); }

 private:
  struct KeptSpectrum {
    std::string Name;  // the file name, without a folder
    std::string Bytes;
  };
  void AutoSave();
  // Keeps the spectrum on screen under `name`. At the largest number kept they
  // all go to the fallback folder; only when none takes them is the oldest
  // given up.
  void Keep(const std::string& name);
  std::string WriteKept(const std::string& folder, const std::vector<std::string>* only);
  // Every failure is logged; only the first of a run of failures (until the
  // spectra are written again) is shown in a box, and the first loss of a
  // kept spectrum in that run.
  void Failure(const std::string& text);
  void Show(const std::string& text);
  void EndFailureRun() { failing_ = lossShown_ = fallbackShown_ = false; }

  Settings& s_;
  SpectrumStore& store_;
  RunValues& run_;
  LinkFlags& flags_;
  LinkView& view_;
  LinkDriver& driver_;
  InstrumentControl& controls_;  // the control groups' enabled state lives there
  RegistryStore* settingsStore_;
  std::string sep_;

  bool receiveMode_ = false;
  PassDirection passDirection_ = PassDirection::None;
  bool lpfActive_ = false;
  std::int32_t lpfCount_ = 0;
  float lpfAvg_ = 0;
  bool accumActive_ = false;
  std::int32_t autoSaveCountdown_ = 0;
  int lpfImage_ = 16, sumImage_ = 17;
  std::deque<KeptSpectrum> kept_;
  std::optional<std::string> pendingError_;
  bool failing_ = false;    // a run of failed automatic saves is under way
  bool lossShown_ = false;  // its first lost spectrum has been shown
  bool fallbackShown_ = false;  // its first write into a fallback folder has been shown
  FallbackFolders* fallback_ = nullptr;
  // The archive of passes: the pass under way while a kept series runs.
  void FinishPass(PassEnd end);
  PassSink* sink_ = nullptr;
  std::function<std::int64_t()> nowMs_;
  bool series_ = false;  // a series is kept
  std::uint32_t passNumber_ = 0;
  std::optional<PassRecord> pass_;
};

}  // namespace qel
