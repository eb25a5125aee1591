#pragma once
// Automatic saving of every n-th spectrum during acquisition.

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "settings.h"
#include "spectrum.h"

namespace qel {

class RegistryStore;

// mask + number as "%8.8d", then " ", ".", ",", "\", "/", "*" each become "_".
std::string AutoSaveName(std::string_view mask, std::int32_t number);

// AutoSaveName(NameMask, number) + ".qel", and the same in WorkDir.
std::string AutoSaveFileName(const Settings& s, std::int32_t number);
std::string AutoSavePath(const Settings& s, std::int32_t number);

// NumbMask can advance past the number of the next save. At the largest
// number it cannot: a save under it would leave the next one the same name.
inline bool AutoSaveNumberLeft(const Settings& s) { return s.NumbMask < std::numeric_limits<std::int32_t>::max(); }
// Why a spectrum was not saved when no number is left.
std::string NoNumberLeftText(std::int32_t number);

// Status panel 8 ("АВТО" or empty) is the step's only text.
class AutoSaveView {
 public:
  virtual ~AutoSaveView() = default;
  virtual void SetStatusPanel(int panel, const std::string& text) = 0;
};

struct AutoSaveResult {
  enum Kind { Off, Skipped, Saved, Failed } Outcome = Off;
  std::string Path;        // the file written or tried
  std::string Error;       // why the save failed (Failed)
  std::string StoreError;  // the spectrum was saved, but NumbMask could not be stored
  bool NoNumber = false;   // failed because NumbMask cannot advance (nothing was tried)
};

// The step run at the start of every forward pass. When the countdown is 0 it
// stamps the parameters and saves under NumbMask, then advances NumbMask,
// writes it to the settings store at once (so a crash never makes the next
// run number over the files already saved) and restarts the countdown at
// SaveStep - 1; otherwise it counts down. A failed save changes no counter:
// what follows is the caller's decision. At the largest NumbMask nothing is
// written and the step fails with NoNumber.
AutoSaveResult AutoSaveStep(SpectrumStore& store, Settings& s, const RunValues& run, std::int32_t& countdown,
                            RegistryStore* settingsStore, AutoSaveView& view);

// What a successful save does to the counters: NumbMask + 1 (never past the
// largest number), written to the settings store at once, and the countdown
// restarted at SaveStep - 1.
// Returns why NumbMask could not be stored, or an empty text.
std::string AdvanceAutoSaveCounters(Settings& s, std::int32_t& countdown, RegistryStore* settingsStore);

// Free space of the file system holding the folder, in whole megabytes
// (0 when it cannot be queried), and the dialog's text for it.
long long FreeMegabytes(const std::string& directory);
std::string FreeSpaceText(const std::string& directory);

}  // namespace qel
