#include "qel_cli.h"

#include <cstdio>
#include <ostream>
#include <sstream>

#include "model/atomic_file.h"
#include "model/number_format.h"
#include "model/settings.h"
#include "model/spectrum_file.h"
#include "model/tables.h"
#include "model/units.h"

namespace qel::cli {

namespace {

constexpr const char* kHelp =
    "Использование:\n"
    "  qel info ФАЙЛ...              параметры записи и диапазон данных каждого спектра\n"
    "  qel export ФАЙЛ [-o ВЫХОД.csv] точки спектра в CSV (без -o: в стандартный вывод)\n"
    "  qel --help                    эта справка\n"
    "\n"
    "info печатает для каждого файла: усиление, скорость развёртки, S/N, PR,\n"
    "диапазон поля в эрстедах (если записан), код АЦП, число накоплений,\n"
    "постоянную фильтра, амплитуду модуляции, диапазон данных и число точек.\n"
    "\n"
    "export пишет строку заголовка и по строке на каждую точку:\n"
    "  field_code,field_Oe,amplitude_code,signed_amplitude\n"
    "Поле в эрстедах берётся из записанного диапазона поля, а без него — из\n"
    "единицы развёртки \"Суммарное магнитное поле\" по умолчанию (3000..3300 Э).\n"
    "Десятичный разделитель — точка.\n"
    "\n"
    "Код выхода: 0 — успех, 1 — ошибка (сообщение в стандартном потоке ошибок);\n"
    "при ошибке выходной файл не создаётся.\n";

// Loads a file; a missing file is an error here.
void Load(SpectrumStore& store, const std::string& path) {
  if (!LoadSpectrum(store, path)) throw FileError("Файл \"" + path + "\" не найден");
}

std::string Fixed1(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.1f", v);
  return buf;
}

// The sweep unit 3 as the window would show it for this spectrum.
Settings FieldUnits(const RecordedParameters& p, bool& recorded) {
  Settings s;
  SetDefaults(s);
  const auto low = p.Get(TagFieldLow);
  const auto high = p.Get(TagFieldHigh);
  recorded = low && high;
  if (recorded) {
    UnitRecord& r3 = s.RazvUnits[3];
    r3.X1 = *low / 10.0;
    r3.X2 = *high / 10.0;
    Calibrate(r3, static_cast<float>(s.RazvUnits[0].X1), static_cast<float>(s.RazvUnits[0].X2));
  }
  return s;
}

void Info(const std::string& path, std::ostream& out) {
  SpectrumStore store;
  Load(store, path);
  const RecordedParameters p = ReadParameters(store.CurrentSpectrum);
  out << path << "\n";
  auto line = [&](const char* name, const std::string& value) { out << "  " << name << ": " << value << "\n"; };
  auto raw = [&](ParameterTag tag) -> std::string {
    const auto v = p.Get(tag);
    return v ? std::to_string(*v) : "нет";
  };
  if (auto g = p.Get(TagGain))
    line("Усиление", *g < GainTable.size() ? std::string(GainTable[*g].Caption) : "? (" + std::to_string(*g) + ")");
  else
    line("Усиление", "нет");
  if (auto v = p.Get(TagSpeed))
    line("Скорость", *v < SpeedTable.size() ? std::string(SpeedTable[*v].Caption) : "? (" + std::to_string(*v) + ")");
  else
    line("Скорость", "нет");
  line("S/N", raw(TagSerialNumber));
  line("PR", raw(TagProgramNumber));
  const auto low = p.Get(TagFieldLow);
  const auto high = p.Get(TagFieldHigh);
  line("Поле, Э", (low ? Fixed1(*low / 10.0) : "нет") + " .. " + (high ? Fixed1(*high / 10.0) : "нет"));
  line("Код АЦП", raw(TagAdcCode));
  line("Накоплений", raw(TagAccumCount));
  line("Фильтр", raw(TagFilterConst));
  if (auto m = p.Get(TagModAmplitude))
    line("Амплитуда модуляции, Э", FormatGeneral(*m / 100.0, 6, 2, "."));
  else
    line("Амплитуда модуляции, Э", "нет");
  const std::uint16_t first = store.FindFirstValid(0, 65535);
  if (!IsValid(store.CurrentSpectrum[first])) {
    line("Данные", "нет точек");
  } else {
    const std::uint16_t last = store.FindLastValid(0, 65535);
    std::size_t count = 0;
    for (const SpectrumPoint pt : store.CurrentSpectrum) count += IsValid(pt) ? 1 : 0;
    line("Данные", std::to_string(first) + " .. " + std::to_string(last) + ", точек: " + std::to_string(count));
  }
}

std::string ExportCsv(const std::string& path) {
  SpectrumStore store;
  Load(store, path);
  bool recorded = false;
  const Settings units = FieldUnits(ReadParameters(store.CurrentSpectrum), recorded);
  const UnitRecord& r3 = units.RazvUnits[3];
  std::string csv = "field_code,field_Oe,amplitude_code,signed_amplitude\n";
  char buf[96];
  for (std::size_t i = 0; i < SpectrumSize; ++i) {
    const SpectrumPoint p = store.CurrentSpectrum[i];
    if (!IsValid(p)) continue;
    std::snprintf(buf, sizeof buf, "%zu,%.4f,%u,%d\n", i, r3.KoeffK * static_cast<double>(i) + r3.KoeffB,
                  static_cast<unsigned>(p.Value), static_cast<int>(p.Value) - ZeroLine);
    csv += buf;
  }
  return csv;
}

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  auto usageError = [&](const std::string& what) {
    err << "qel: " << what << " (см. qel --help)\n";
    return 1;
  };
  if (args.empty()) return usageError("не указана команда");
  const std::string& cmd = args[0];
  if (cmd == "--help" || cmd == "-h" || cmd == "help") {
    out << kHelp;
    return 0;
  }
  if (cmd == "info") {
    if (args.size() < 2) return usageError("не указан файл");
    int status = 0;
    for (std::size_t i = 1; i < args.size(); ++i) {
      try {
        std::ostringstream one;
        Info(args[i], one);
        out << one.str();
      } catch (const std::exception& e) {
        err << "qel: " << e.what() << "\n";
        status = 1;
      }
    }
    return status;
  }
  if (cmd == "export") {
    std::string input, output;
    for (std::size_t i = 1; i < args.size(); ++i) {
      if (args[i] == "-o") {
        if (i + 1 >= args.size()) return usageError("после -o не указан выходной файл");
        output = args[++i];
      } else if (input.empty()) {
        input = args[i];
      } else {
        return usageError("лишний аргумент \"" + args[i] + "\"");
      }
    }
    if (input.empty()) return usageError("не указан файл");
    try {
      const std::string csv = ExportCsv(input);
      if (output.empty()) {
        out << csv;
      } else {
        WriteFileAtomically(output, csv);
      }
    } catch (const std::exception& e) {
      err << "qel: " << e.what() << "\n";
      return 1;
    }
    return 0;
  }
  return usageError("неизвестная команда \"" + cmd + "\"");
}

}  // namespace qel::cli
