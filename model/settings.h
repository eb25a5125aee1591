#pragma once
// The program's persistent configuration and its store.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "unit_record.h"

namespace qel {

class RegistryStore;
class LayeredRegistryStore;

struct WindowPlacement {
  std::int32_t Top = 0;
  std::int32_t Left = 0;
  std::int32_t Height = 0;
  std::int32_t Width = 0;
  bool Visible = false;
  std::uint8_t State = 0;  // 0 normal, 1 minimised, 2 maximised
  std::uint8_t Style = 0;  // 0 normal, 3 stays on top

  bool operator==(const WindowPlacement&) const = default;
};

// Colours in the 0x00BBGGRR form.
struct ColorSet {
  std::int32_t BackGround = 0;
  std::int32_t Border = 0;
  std::int32_t Graph = 0;
  std::int32_t AddGraph = 0;
  std::int32_t Text = 0;
  std::int32_t ADC2 = 0;
  std::int32_t Grid = 0;
  std::int32_t Visir1 = 0;
  std::int32_t Visir2 = 0;

  bool operator==(const ColorSet&) const = default;
};

struct Settings {
  WindowPlacement Position;
  WindowPlacement MsgWindow;
  WindowPlacement ADCWindow;
  std::string Port;
  std::int32_t BitRate = 0;
  std::int32_t PoleMin = 0;
  std::int32_t PoleMax = 0;
  std::int32_t ViewMin = 0;
  std::int32_t ViewMax = 0;
  std::uint8_t OrdScale = 0;
  std::uint8_t Rapid = 0;
  std::uint8_t Amplifying = 0;
  std::int32_t Correction = 0;
  std::string WorkDir;
  std::string LastOpen;
  bool ToolBar = false;
  bool Visir1 = false;
  bool Visir2 = false;
  std::uint16_t VisKoord1 = 0;
  std::uint16_t VisKoord2 = 0;
  bool Mode = false;
  bool ADCEnable = false;
  std::uint16_t ADCFreq = 0;
  std::uint8_t RazvUnit = 0;
  std::uint8_t AmpUnit = 0;
  std::uint8_t CorrUnit = 0;
  std::uint8_t ADCUnit = 0;
  std::array<UnitRecord, 8> RazvUnits;   // 0..3 working, 4..7 stored copy
  std::array<UnitRecord, 2> AmpUnits;
  std::array<UnitRecord, 2> CorrUnits;
  std::array<UnitRecord, 10> ADCUnits;   // 0..4 working, 5..9 stored copy
  bool AutoSave = false;
  std::int32_t SaveStep = 0;
  std::string NameMask;
  std::int32_t NumbMask = 0;
  std::int32_t LPFConst = 0;
  std::int32_t GlissConst = 0;
  bool EnableRTLPF = false;
  bool EnableRTSum = false;
  std::int32_t RTLPFConst = 0;
  std::int32_t RTNumb = 0;
  bool ShowFirst = false;
  // Every pass of an accumulation series kept in an archive (.qelpass); not
  // in the settings file while off.
  bool PassArchive = false;
  ColorSet BMPColors;
  ColorSet DisplayColors;
  ColorSet PrinterColors;
  bool Orientation = false;
  std::int32_t PrnL = 0;
  std::int32_t PrnT = 0;
  std::int32_t PrnR = 0;
  std::int32_t PrnB = 0;
  // The microwave frequency in GHz the line table's g-factors use, as the
  // operator last typed it; 0 when never typed. Kept as text ("9.4").
  double MWFrequency = 0;

  bool operator==(const Settings&) const = default;
};

// The recent-files list kept beside the settings: up to 20 paths, newest first.
using RecentFileList = std::vector<std::string>;
inline constexpr std::size_t MaxRecentFiles = 20;

// Fills every field with its default, the unit tables calibrated.
void SetDefaults(Settings& s);

// Overlays the store's contents on the record and appends the stored recent
// files. A missing key or value leaves the field as it was. A value of the
// wrong type throws RegistryError "Invalid data type for '<name>'" and ends the
// load there (fields read before it keep their new values).
void LoadSettings(Settings& s, RecentFileList& recent, RegistryStore& store);

// Writes the record and the recent files. A value that cannot be written
// throws RegistryError "Failed to set data for '<name>'" and stops.
void SaveSettings(const Settings& s, const RecentFileList& recent, RegistryStore& store);

// Stores the settings read from an earlier store in the user's own, at the
// start, before anything is written there: the automatic save's counter,
// written during the session, would otherwise make the user's key with that
// one value, and a session ended without its closing save (a crash, a power
// cut) would leave every other setting behind in the earlier store. Nothing
// is done where the user's key exists, or where the earlier settings do not
// read whole (the window then says why, as for its own) or cannot be stored
// (the window says so at its close).
void TakeOverSettings(LayeredRegistryStore& store);

// Values the store may hold out of range are used as the nearest value their
// dialog allows, so nothing divides by zero or reads past a table.
int UsedAmplifying(const Settings& s);  // 0..7
int UsedRapid(const Settings& s);       // 0..11
int UsedConst(std::int32_t constant);   // filter and smoothing constants: 2..2000
int UsedSaveStep(const Settings& s);    // 1..256

// MWFrequency as stored: plain decimal text with a point, whatever the
// locale; text that is not a finite number above zero reads as 0 (unset),
// and 0 is written as an empty text.
double ParseFrequency(std::string_view text);
std::string FrequencyText(double ghz);

}  // namespace qel
