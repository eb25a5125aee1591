#include "settings.h"

#include "layered_registry_store.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "atomic_file.h"
#include "registry_store.h"
#include "tables.h"
#include "units.h"

namespace qel {

namespace {

ColorSet MakeColors(std::int32_t back, std::int32_t graph, std::int32_t addGraph) {
  ColorSet c;
  c.BackGround = back;
  c.Border = 0xFF0000;
  c.Graph = graph;
  c.AddGraph = addGraph;
  c.Text = 0x0000FF;
  c.ADC2 = 0x00FF00;
  c.Grid = 0x808080;
  c.Visir1 = 0x00FF00;
  c.Visir2 = 0xFF0000;
  return c;
}

// Every read below happens only when the value exists; a narrower field keeps
// the low bits of the stored integer.
class Reader {
 public:
  explicit Reader(const RegistryStore& store) : store_(store) {}
  template <typename T>
  void Int(std::string_view name, T& field) {
    if (store_.ValueExists(name)) field = static_cast<T>(store_.ReadInteger(name));
  }
  void Bool(std::string_view name, bool& field) {
    if (store_.ValueExists(name)) field = store_.ReadBool(name);
  }
  void Str(std::string_view name, std::string& field) {
    if (store_.ValueExists(name)) field = store_.ReadString(name);
  }
  void Float(std::string_view name, double& field) {
    if (store_.ValueExists(name)) field = store_.ReadFloat(name);
  }

 private:
  const RegistryStore& store_;
};

void ReadPlacement(RegistryStore& store, std::string_view key, WindowPlacement& w) {
  if (!store.OpenKey(key, false)) return;
  Reader r(store);
  r.Int("Top", w.Top);
  r.Int("Left", w.Left);
  r.Int("Width", w.Width);
  r.Int("Height", w.Height);
  r.Bool("Visible", w.Visible);
  r.Int("State", w.State);
  r.Int("Style", w.Style);
}

void WritePlacement(RegistryStore& store, std::string_view key, const WindowPlacement& w) {
  store.OpenKey(key, true);
  store.WriteInteger("Top", w.Top);
  store.WriteInteger("Left", w.Left);
  store.WriteInteger("Width", w.Width);
  store.WriteInteger("Height", w.Height);
  store.WriteBool("Visible", w.Visible);
  store.WriteInteger("State", w.State);
  store.WriteInteger("Style", w.Style);
}

void ReadUnit(RegistryStore& store, const std::string& key, UnitRecord& u) {
  if (!store.OpenKey(key, false)) return;
  Reader r(store);
  r.Float("X1", u.X1);
  r.Float("X2", u.X2);
  r.Float("KoeffK", u.KoeffK);
  r.Float("KoeffB", u.KoeffB);
  if (store.ValueExists("Name")) u.Name = Utf8Prefix(store.ReadString("Name"), 5);
}

void WriteUnit(RegistryStore& store, const std::string& key, const UnitRecord& u) {
  store.OpenKey(key, true);
  store.WriteFloat("X1", u.X1);
  store.WriteFloat("X2", u.X2);
  store.WriteFloat("KoeffK", u.KoeffK);
  store.WriteFloat("KoeffB", u.KoeffB);
  store.WriteString("Name", u.Name);
}

template <typename Fn>
void ForEachColor(ColorSet& c, Fn fn) {
  fn("BackGround", c.BackGround);
  fn("Border", c.Border);
  fn("Graph", c.Graph);
  fn("AddGraph", c.AddGraph);
  fn("Text", c.Text);
  fn("ADC2", c.ADC2);
  fn("Grid", c.Grid);
  fn("Visir1", c.Visir1);
  fn("Visir2", c.Visir2);
}

void ReadColors(RegistryStore& store, std::string_view key, ColorSet& c) {
  if (!store.OpenKey(key, false)) return;
  Reader r(store);
  ForEachColor(c, [&](std::string_view name, std::int32_t& v) { r.Int(name, v); });
}

void WriteColors(RegistryStore& store, std::string_view key, ColorSet c) {
  store.OpenKey(key, true);
  ForEachColor(c, [&](std::string_view name, std::int32_t& v) { store.WriteInteger(name, v); });
}

// Runs the writes; the first value written names a failure of the store as
// a whole (a file store replaces its file once, at the end).
template <typename Fn>
void GroupedWrite(RegistryStore& store, Fn writes) {
  store.BeginUpdate();
  try {
    writes();
  } catch (...) {
    try {
      store.EndUpdate();
    } catch (const RegistryError&) {
    }
    throw;
  }
  try {
    store.EndUpdate();
  } catch (const RegistryError& e) {
    throw RegistryError(FailedToSetText("Top"), e.Detail().empty() ? e.what() : e.Detail());
  }
}

}  // namespace

void SetDefaults(Settings& s) {
  s = Settings{};
  s.Position = WindowPlacement{10, 10, 500, 760, true, 0, 0};
  s.MsgWindow = WindowPlacement{160, 60, 360, 290, false, 0, 3};
  s.ADCWindow = WindowPlacement{};
  s.Port = "COM1";
  s.BitRate = 115200;
  s.PoleMin = 0;
  s.PoleMax = 65519;
  s.ViewMin = 0;
  s.ViewMax = 65519;
  s.OrdScale = 0;
  s.Rapid = 10;
  s.Amplifying = 0;
  s.Correction = 0;
  s.WorkDir = CurrentFolder();
  s.LastOpen = "";
  s.ToolBar = true;
  s.Visir1 = false;
  s.Visir2 = false;
  s.VisKoord1 = 50;
  s.VisKoord2 = 65400;
  s.Mode = true;
  s.ADCEnable = false;
  s.ADCFreq = 100;
  s.RazvUnit = s.AmpUnit = s.CorrUnit = s.ADCUnit = 0;
  SetDefaultUnits(s);
  s.AutoSave = false;
  s.SaveStep = 1;
  s.NameMask = "Спектр";
  s.NumbMask = 1;
  s.LPFConst = 10;
  s.GlissConst = 10;
  s.EnableRTLPF = false;
  s.EnableRTSum = false;
  s.RTLPFConst = 25;
  s.RTNumb = 9;
  s.ShowFirst = false;
  s.DisplayColors = MakeColors(0x000000, 0x00FFFF, 0x00FF00);
  s.PrinterColors = MakeColors(0xFFFFFF, 0x0000FF, 0xFF0000);
  s.BMPColors = MakeColors(0xFFFFFF, 0x000000, 0xFF0000);
  s.Orientation = true;
  s.PrnL = s.PrnT = s.PrnR = s.PrnB = 15;
}

void LoadSettings(Settings& s, RecentFileList& recent, RegistryStore& store) {
  if (!store.KeyExists("")) return;

  ReadPlacement(store, "Position", s.Position);
  ReadPlacement(store, "MsgWindow", s.MsgWindow);
  ReadPlacement(store, "ADCWindow", s.ADCWindow);
  for (int i = 0; i <= 3; ++i) ReadUnit(store, "RazvUnit" + std::to_string(i), s.RazvUnits[static_cast<std::size_t>(i)]);
  for (int i = 0; i <= 1; ++i) ReadUnit(store, "AmpUnit" + std::to_string(i), s.AmpUnits[static_cast<std::size_t>(i)]);
  for (int i = 0; i <= 1; ++i) ReadUnit(store, "CorrUnit" + std::to_string(i), s.CorrUnits[static_cast<std::size_t>(i)]);
  for (int i = 0; i <= 4; ++i) ReadUnit(store, "ADCUnit" + std::to_string(i), s.ADCUnits[static_cast<std::size_t>(i)]);
  ReadColors(store, "DisplayColors", s.DisplayColors);
  ReadColors(store, "PrinterColors", s.PrinterColors);
  ReadColors(store, "BMPColors", s.BMPColors);

  if (store.OpenKey("RecentFiles", false)) {
    for (std::size_t i = 0; i < MaxRecentFiles; ++i) {
      const std::string name = std::to_string(i);
      if (store.ValueExists(name)) recent.push_back(store.ReadString(name));
    }
  }

  store.OpenKey("", false);
  Reader r(store);
  r.Int("BitRate", s.BitRate);
  r.Str("Port", s.Port);
  r.Int("PoleMin", s.PoleMin);
  r.Int("PoleMax", s.PoleMax);
  r.Int("ViewMin", s.ViewMin);
  r.Int("ViewMax", s.ViewMax);
  r.Int("Rapid", s.Rapid);
  r.Int("Amplifying", s.Amplifying);
  r.Int("Correction", s.Correction);
  r.Str("WorkDir", s.WorkDir);
  r.Str("LastOpen", s.LastOpen);
  r.Bool("Visir1", s.Visir1);
  r.Bool("Visir2", s.Visir2);
  r.Bool("ToolBar", s.ToolBar);
  r.Int("VisKoord1", s.VisKoord1);
  r.Int("VisKoord2", s.VisKoord2);
  r.Bool("Mode", s.Mode);
  r.Bool("ADCEnable", s.ADCEnable);
  r.Int("ADCFreq", s.ADCFreq);
  r.Int("ADCUnit", s.ADCUnit);
  r.Int("RazvUnit", s.RazvUnit);
  r.Int("AmpUnit", s.AmpUnit);
  r.Int("CorrUnit", s.CorrUnit);
  r.Bool("AutoSave", s.AutoSave);
  r.Int("SaveStep", s.SaveStep);
  r.Str("NameMask", s.NameMask);
  r.Int("NumbMask", s.NumbMask);
  r.Int("LPFConst", s.LPFConst);
  r.Int("GlissConst", s.GlissConst);
  r.Int("RTLPFConst", s.RTLPFConst);
  r.Int("RTNumb", s.RTNumb);
  r.Bool("EnableRTLPF", s.EnableRTLPF);
  r.Bool("EnableRTSum", s.EnableRTSum);
  r.Bool("ShowFirst", s.ShowFirst);
  r.Bool("PassArchive", s.PassArchive);
  r.Bool("Orientation", s.Orientation);
  r.Int("PrnL", s.PrnL);
  r.Int("PrnR", s.PrnR);
  r.Int("PrnT", s.PrnT);
  r.Int("PrnB", s.PrnB);
  std::string frequency;
  r.Str("MWFrequency", frequency);
  s.MWFrequency = ParseFrequency(frequency);
}

void SaveSettings(const Settings& s, const RecentFileList& recent, RegistryStore& store) {
  GroupedWrite(store, [&] {
    WritePlacement(store, "Position", s.Position);
    WritePlacement(store, "MsgWindow", s.MsgWindow);
    WritePlacement(store, "ADCWindow", s.ADCWindow);
    for (int i = 0; i <= 3; ++i) WriteUnit(store, "RazvUnit" + std::to_string(i), s.RazvUnits[static_cast<std::size_t>(i)]);
    for (int i = 0; i <= 1; ++i) WriteUnit(store, "AmpUnit" + std::to_string(i), s.AmpUnits[static_cast<std::size_t>(i)]);
    for (int i = 0; i <= 1; ++i) WriteUnit(store, "CorrUnit" + std::to_string(i), s.CorrUnits[static_cast<std::size_t>(i)]);
    for (int i = 0; i <= 4; ++i) WriteUnit(store, "ADCUnit" + std::to_string(i), s.ADCUnits[static_cast<std::size_t>(i)]);
    WriteColors(store, "DisplayColors", s.DisplayColors);
    WriteColors(store, "PrinterColors", s.PrinterColors);
    WriteColors(store, "BMPColors", s.BMPColors);

    store.OpenKey("RecentFiles", true);
    for (std::size_t i = 0; i < recent.size(); ++i) store.WriteString(std::to_string(i), recent[i]);

    store.OpenKey("", true);
    store.WriteInteger("BitRate", s.BitRate);
    store.WriteString("Port", s.Port);
    store.WriteInteger("PoleMin", s.PoleMin);
    store.WriteInteger("PoleMax", s.PoleMax);
    store.WriteInteger("ViewMin", s.ViewMin);
    store.WriteInteger("ViewMax", s.ViewMax);
    store.WriteInteger("Amplifying", s.Amplifying);
    store.WriteInteger("Rapid", s.Rapid);
    store.WriteInteger("Correction", s.Correction);
    store.WriteString("WorkDir", s.WorkDir);
    store.WriteString("LastOpen", s.LastOpen);
    store.WriteBool("Visir1", s.Visir1);
    store.WriteBool("Visir2", s.Visir2);
    store.WriteBool("ToolBar", s.ToolBar);
    store.WriteInteger("VisKoord1", s.VisKoord1);
    store.WriteInteger("VisKoord2", s.VisKoord2);
    store.WriteBool("Mode", s.Mode);
    store.WriteInteger("ADCFreq", s.ADCFreq);
    store.WriteBool("ADCEnable", s.ADCEnable);
    store.WriteInteger("RazvUnit", s.RazvUnit);
    store.WriteInteger("AmpUnit", s.AmpUnit);
    store.WriteInteger("CorrUnit", s.CorrUnit);
    store.WriteInteger("ADCUnit", s.ADCUnit);
    store.WriteBool("AutoSave", s.AutoSave);
    store.WriteInteger("SaveStep", s.SaveStep);
    store.WriteString("NameMask", s.NameMask);
    store.WriteInteger("NumbMask", s.NumbMask);
    store.WriteBool("EnableRTLPF", s.EnableRTLPF);
    store.WriteBool("EnableRTSum", s.EnableRTSum);
    store.WriteInteger("RTLPFConst", s.RTLPFConst);
    store.WriteInteger("RTNumb", s.RTNumb);
    store.WriteInteger("LPFConst", s.LPFConst);
    store.WriteInteger("GlissConst", s.GlissConst);
    store.WriteBool("ShowFirst", s.ShowFirst);
    if (s.PassArchive)
      store.WriteBool("PassArchive", true);
    else
      store.DeleteValue("PassArchive");
    store.WriteBool("Orientation", s.Orientation);
    store.WriteInteger("PrnL", s.PrnL);
    store.WriteInteger("PrnR", s.PrnR);
    store.WriteInteger("PrnT", s.PrnT);
    store.WriteInteger("PrnB", s.PrnB);
    store.WriteString("MWFrequency", FrequencyText(s.MWFrequency));
  });
}

double ParseFrequency(std::string_view text) {
  double v = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(v) || v <= 0) return 0;
  return v;
}

std::string FrequencyText(double ghz) {
  if (!std::isfinite(ghz) || ghz <= 0) return "";
  char buf[64];
  const auto [end, error] = std::to_chars(buf, buf + sizeof buf, ghz);
  return error == std::errc() ? std::string(buf, end) : std::string();
}

int UsedAmplifying(const Settings& s) { return ClampGainIndex(s.Amplifying); }
int UsedRapid(const Settings& s) { return ClampSpeedIndex(s.Rapid); }
int UsedConst(std::int32_t constant) { return std::clamp<std::int32_t>(constant, 2, 2000); }
int UsedSaveStep(const Settings& s) { return std::clamp<std::int32_t>(s.SaveStep, 1, 256); }

void TakeOverSettings(LayeredRegistryStore& store) {
  if (store.ReadsOwn() || !store.KeyExists("")) return;
  Settings s;
  SetDefaults(s);
  RecentFileList recent;
  try {
    LoadSettings(s, recent, store);
    SaveSettings(s, recent, store);
  } catch (const RegistryError&) {
  }
}

}  // namespace qel
