#include "qel_cli.h"

#include <cmath>
#include <cstdio>
#include <ostream>
#include <sstream>

#include "analyse.h"
#include "as_shown.h"
#include "bes3t.h"
#include "common/cli_ru.h"
#include "model/atomic_file.h"
#include "model/number_format.h"
#include "model/reg_file_store.h"
#include "model/spectrum_file.h"
#include "model/tables.h"
#include "model/units.h"
#include "operator_settings.h"
#include "passes.h"

namespace qel::cli {
namespace {
// A frequency: a finite number above zero (CLI11's own check lets NaN through).
CLI::Validator FinitePositive() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        double v = 0;
        if (!CLI::detail::lexical_cast(text, v) || !std::isfinite(v) || !(v > 0))
          return "нужно конечное число больше нуля: " + text;
        return {};
      },
      "");
}
}  // namespace


namespace {

constexpr const char* kOverview =
    "Команды:\n"
    "  qel info ФАЙЛ...                       параметры записи и диапазон данных каждого спектра\n"
    "  qel export ФАЙЛ [-o ВЫХОД.csv]         точки спектра в CSV (без -o: в стандартный вывод)\n"
    "  qel export --format bes3t ФАЙЛ -o ИМЯ  ИМЯ.DSC и ИМЯ.DTA для программ анализа ЭПР\n"
    "  qel analyse ФАЙЛ... [--from КОД --to КОД] [--frequency ГГц] [--lines] [--fit ФОРМА] [--json | --csv ВЫХОД] [--jobs N]\n"
    "                                         параметры линии каждого спектра\n"
    "  qel plot ФАЙЛ -o ВЫХОД.png|ВЫХОД.svg [--size ШxВ]   рисунок спектра (в сборке с Qt)\n"
    "  qel passes АРХИВ.qelpass [--json | --csv ВЫХОД] [--plot ВЫХОД.png|svg]   проходы серии и их отличие\n"
    "  qel average АРХИВ.qelpass [--exclude 3,7-9] -o ВЫХОД.qel   среднее без выбранных проходов\n"
    "  qel export --format bes3t АРХИВ.qelpass -o ИМЯ   проходы как двумерный набор BES3T\n"
    "  qel КОМАНДА --help                     справка по команде\n"
    "\n"
    "Настройки оператора (единицы, цвета рисунка) только читаются: файл настроек\n"
    "не создаётся, не изменяется и не переносится, даже если он повреждён.\n"
    "\n"
    "Код выхода: 0 — успех; 1 — ошибка в командной строке или в файле (сообщение в\n"
    "стандартном потоке ошибок; при ошибке выходной файл не создаётся); для\n"
    "нескольких файлов 1 — часть файлов не обработана, остальные обработаны.\n";

constexpr const char* kInfoHelp =
    "info печатает для каждого файла: усиление, скорость развёртки, S/N, PR,\n"
    "диапазон поля в эрстедах (если записан), код АЦП, число накоплений,\n"
    "постоянную фильтра, амплитуду модуляции, диапазон данных и число точек.\n";

constexpr const char* kExportHelp =
    "csv (по умолчанию) пишет строку заголовка и по строке на каждую точку:\n"
    "  field_code,field_Oe,amplitude_code,signed_amplitude\n"
    "Десятичный разделитель — точка.\n"
    "\n"
    "bes3t пишет пару ИМЯ.DSC (описание, BES3T 1.2) и ИМЯ.DTA (числа double,\n"
    "старший байт первым) от первой до последней точки спектра. Амплитуда — как\n"
    "в окне: в единицах амплитуды из настроек, делённая на коэффициент усиления.\n"
    "Пустые точки внутри диапазона данных получают значение последней\n"
    "записанной точки перед ними (как при поиске минимума и максимума и при\n"
    "интегрировании в окне); их число указано в описании.\n"
    "\n"
    "Поле в эрстедах (гауссах) берётся из записанного диапазона поля, а без\n"
    "него — из единицы развёртки \"Суммарное магнитное поле\" по умолчанию\n"
    "(3000..3300 Э на кодах 0..65519); в BES3T это сказано в заголовке TITL.\n";

constexpr const char* kAnalyseHelp =
    "Для каждого файла: максимум и минимум (поиск как \"MinMax\" в окне) и их поле,\n"
    "размах A (как \"A=\"), ширина ΔHpp = |H(max) − H(min)|, центр H0 — поле, где\n"
    "сигнал пересекает нулевую линию между экстремумами (линейная\n"
    "интерполяция между кодами), двойной интеграл S (как \"S=\"), и с частотой\n"
    "g = 714.4773 · ν[ГГц] / H0[Гс]. Поле в эрстедах (1 Э = 1 Гс) — из записанного\n"
    "диапазона поля или по умолчанию 3000..3300 Э. Числа — десятичные, с точкой;\n"
    "единицы названы. Без --from/--to берётся весь диапазон данных.\n"
    "Если в диапазоне больше одной линии или экстремум лежит на его краю,\n"
    "об этом предупреждает строка в стандартном потоке ошибок.\n"
    "\n"
    "С --lines — каждая линия диапазона: пара максимум и минимум с переходом\n"
    "через базовую линию между ними и размахом не меньше 5σ шума. σ — медиана\n"
    "абсолютных отклонений вторых разностей y[i+2L] − 2y[i+L] + y[i], умноженная\n"
    "на 1.4826 и делённая на √6 (не меньше шума квантования 1/√12 отсчёта);\n"
    "шаг L удваивается от 1 до 128, пока оценка растёт больше чем на 15 %\n"
    "(шум, коррелированный фильтром, накоплением, сглаживанием или записью\n"
    "отсчёта в несколько кодов). Базовая линия — прямая через медианы 32\n"
    "участков. Для каждой линии: центр H0, ΔHpp, размах A, отношение\n"
    "сигнал/шум, g (с --frequency), обрезана ли она краем диапазона,\n"
    "перекрывается ли с соседней (центры ближе удвоенной суммы их ΔHpp).\n"
    "С --fit (включает --lines) — подгонка производной линии лоренца или\n"
    "гаусса с прямой базовой линией методом наименьших квадратов\n"
    "(Левенберг-Марквардт; соседние линии, чьи окна пересекаются, — вместе;\n"
    "точки на краях шкалы АЦП, 0 и 4095, не берутся): H0, ΔHpp и A со\n"
    "стандартными ошибками, умноженными на корень из приведённого χ² и из\n"
    "времени автокорреляции остатков, и сам χ²; auto выбирает форму\n"
    "с меньшей суммой квадратов остатков. Текст — строка на линию.\n";

constexpr const char* kPassesHelp =
    "Архив проходов (.qelpass) пишет окно при включённом \"Архив проходов...\":\n"
    "каждый проход серии накопления. Для каждого прохода: номер, число точек,\n"
    "начало, прерван ли он, и оценка отличия от остальных: для каждого кода поля\n"
    "|значение прохода − медиана всех проходов| / (1.4826 · медиана абсолютных\n"
    "отклонений, но не меньше 0.5 отсчёта); оценка прохода — наибольшая из них\n"
    "(и код, где она). Значения — после фильтра реального времени, до\n"
    "усреднения. Строки — от самого отличающегося прохода. Меньше трёх\n"
    "проходов — без оценки. Оборванный конец архива (сбой при записи) —\n"
    "предупреждение, целые проходы до него берутся; повреждённый проход —\n"
    "ошибка. С --plot — рисунок проходов друг на друге цветами набора\n"
    "\"Файл BMP\"; проходы с оценкой не меньше 10 и втрое выше медианной\n"
    "выделены цветом визира 1 и названы.\n";

constexpr const char* kAverageHelp =
    "Пересчитывает среднее серии по архиву проходов так же, как окно: без\n"
    "--exclude получается спектр, который окно записало в конце последнего\n"
    "прохода; исключённые проходы считаются никогда не приходившими (остальные\n"
    "нумеруются заново, каждый со своим числом усреднения). В стандартный\n"
    "вывод — какие проходы взяты.\n";

constexpr const char* kPlotHelp =
    "Рисует спектр как экран (фон, рамка, сетка и подписи амплитуды, точки,\n"
    "\"АМ=\", с --minmax — минимум, максимум и \"A=\") цветами набора \"Файл BMP\"\n"
    "из настроек (по умолчанию — стандартными). Формат — по расширению: .png или .svg.\n";

// Loads a file; a missing file is an error here.
void Load(SpectrumStore& store, const std::string& path) {
  if (!LoadSpectrum(store, path)) throw FileError("Файл \"" + path + "\" не найден");
}

std::string Fixed1(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.1f", v);
  return buf;
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
  const UnitRecord r3 = FieldUnit(ReadParameters(store.CurrentSpectrum), recorded);
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

// NAME.DSC and NAME.DTA: an extension given with -o is dropped.
std::string Bes3tBase(const std::string& output, const std::string& input) {
  std::string base = output;
  if (base.empty()) {
    base = input;
    if (base.size() > 4 && (base.ends_with(".qel") || base.ends_with(".QEL"))) base.resize(base.size() - 4);
  }
  if (base.size() > 4) {
    std::string ext = base.substr(base.size() - 4);
    for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (ext == ".DSC" || ext == ".DTA") base.resize(base.size() - 4);
  }
  return base;
}

std::string BaseName(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Where the settings are read from when no file is named.
#ifdef _WIN32
constexpr const char* SettingsHelp = "файл настроек оператора (по умолчанию — раздел программы в реестре)";
#else
constexpr const char* SettingsHelp = "файл настроек оператора (по умолчанию — файл программы)";
#endif

OperatorSettings Operator(const std::string& path, std::ostream& err) {
#ifdef _WIN32
  // The window keeps its settings in the registry there.
  OperatorSettings o = path.empty() ? ReadOperatorSettingsFromRegistry() : ReadOperatorSettings(path);
#else
  OperatorSettings o = ReadOperatorSettings(path.empty() ? RegFileStore::DefaultPath() : path);
#endif
  // The program's own file may well not exist yet; a file named on the
  // command line that is not there is a typing error worth a word.
  if (o.Warning.empty() && !path.empty() && !PathExists(path))
    o.Warning = "файл настроек \"" + path + "\" не найден; используются настройки по умолчанию";
  if (!o.Warning.empty()) err << "qel: " << o.Warning << "\n";
  return o;
}

// "1024x600" -> 1024, 600 (each 16..16384).
bool ParseSize(const std::string& text, int& w, int& h) {
  int a = 0, b = 0;
  char x = 0, tail = 0;
  if (std::sscanf(text.c_str(), "%d%c%d%c", &a, &x, &b, &tail) != 3 || (x != 'x' && x != 'X')) return false;
  if (a < 16 || b < 16 || a > 16384 || b > 16384) return false;
  w = a;
  h = b;
  return true;
}

}  // namespace

int Run(const std::vector<std::string>& argsIn, std::ostream& out, std::ostream& err, const Environment& env) {
  std::vector<std::string> args = argsIn;
  if (!args.empty() && args[0] == "help") args[0] = "--help";

  CLI::App app("qel: записанные спектры без окна программы.", "qel");
  UseRussian(app);
  app.footer(std::string("\n") + kOverview);
  app.require_subcommand(1);
  app.fallthrough();
  std::string settingsPath;
  app.add_option("--settings", settingsPath, SettingsHelp)
      ->type_name("ФАЙЛ");

  // info
  std::vector<std::string> infoFiles;
  CLI::App* info = AddCommand(app, "info", "параметры записи и диапазон данных каждого спектра");
  info->add_option("ФАЙЛ", infoFiles, "файлы .qel")->required()->type_name("");
  info->footer(std::string("\n") + kInfoHelp);

  // export
  std::string exportInput, exportOutput, format = "csv";
  double exportGHz = 0;
  CLI::App* exp = AddCommand(app, "export", "точки спектра в CSV или в BES3T");
  exp->add_option("ФАЙЛ", exportInput, "файл .qel")->required()->type_name("");
  exp->add_option("-o,--output", exportOutput, "CSV: выходной файл (без него — стандартный вывод); "
                                               "bes3t: ИМЯ для ИМЯ.DSC и ИМЯ.DTA (без него — имя входного файла)")
      ->type_name("ВЫХОД");
  std::string exportExclude;
  exp->add_option("--exclude", exportExclude, "архив проходов: без этих проходов, например 3,7-9")->type_name("СПИСОК");
  exp->add_option("--format", format, "csv (по умолчанию) или bes3t")
      ->check(CLI::IsMember({"csv", "bes3t"}))
      ->type_name("ФОРМАТ");
  CLI::Option* expFreq = exp->add_option("--frequency", exportGHz, "частота СВЧ, ГГц (в BES3T: MWFQ)")
                             ->check(FinitePositive())
                             ->type_name("ГГц");
  exp->footer(std::string("\n") + kExportHelp);

  // analyse
  std::vector<std::string> analyseFiles;
  AnalyseOptions ao;
  std::uint16_t from = 0, to = 0;
  double ghz = 0;
  std::string csvOut;
  bool json = false;
  CLI::App* an = AddCommand(app, "analyse", "параметры линии: экстремумы, A, ΔHpp, центр, S, g");
  an->add_option("ФАЙЛ", analyseFiles, "файлы .qel")->required()->type_name("");
  CLI::Option* fromOpt = an->add_option("--from", from, "код поля начала диапазона")->type_name("КОД");
  CLI::Option* toOpt = an->add_option("--to", to, "код поля конца диапазона")->type_name("КОД");
  fromOpt->needs(toOpt);
  toOpt->needs(fromOpt);
  CLI::Option* freqOpt =
      an->add_option("--frequency", ghz, "частота СВЧ, ГГц: тогда и g-фактор")->check(FinitePositive())->type_name("ГГц");
  CLI::Option* jsonOpt = an->add_flag("--json", json, "итог в JSON в стандартный вывод");
  CLI::Option* csvOpt = an->add_option("--csv", csvOut, "итог в CSV в файл (\"-\" — стандартный вывод)")->type_name("ВЫХОД");
  jsonOpt->excludes(csvOpt);
  an->add_flag("--lines", ao.Lines, "каждая линия диапазона: центр, ΔHpp, A, S/N, g, обрезана ли, перекрывается ли");
  std::string fitShape;
  CLI::Option* fitOpt = an->add_option("--fit", fitShape, "подгонка формы каждой линии (включает --lines): lorentz, gauss или auto")
                            ->check(CLI::IsMember({"lorentz", "gauss", "auto"}))
                            ->type_name("ФОРМА");
  an->add_option("--jobs", ao.Jobs, "число потоков, 1..256 (по умолчанию 1)")->check(CLI::Range(1, 256).description(""))->type_name("N");
  an->footer(std::string("\n") + kAnalyseHelp);

  // passes
  std::string passesInput, passesCsv;
  bool passesJson = false;
  CLI::App* ps = AddCommand(app, "passes", "проходы архива и их отличие от остальных");
  ps->add_option("АРХИВ", passesInput, "файл .qelpass")->required()->type_name("");
  CLI::Option* psJson = ps->add_flag("--json", passesJson, "в JSON в стандартный вывод");
  CLI::Option* psCsv = ps->add_option("--csv", passesCsv, "в CSV в файл (\"-\" — стандартный вывод)")->type_name("ВЫХОД");
  psJson->excludes(psCsv);
  std::string passesPlot;
  if (env.PlotPasses)
    ps->add_option("--plot", passesPlot, "рисунок проходов: .png или .svg (выделенные — цветом визира 1)")->type_name("ВЫХОД");
  ps->footer(std::string("\n") + kPassesHelp);

  // average
  std::string averageInput, averageOutput, averageExclude;
  CLI::App* av = AddCommand(app, "average", "среднее серии по архиву проходов, без выбранных проходов");
  av->add_option("АРХИВ", averageInput, "файл .qelpass")->required()->type_name("");
  av->add_option("-o,--output", averageOutput, "спектр .qel")->required()->type_name("ВЫХОД");
  av->add_option("--exclude", averageExclude, "исключить проходы, например 3,7-9")->type_name("СПИСОК");
  av->footer(std::string("\n") + kAverageHelp);

  // plot
  PlotRequest plot;
  std::string size;
  CLI::Option* plotFrom = nullptr;
  CLI::Option* plotTo = nullptr;
  std::uint16_t plotFromCode = 0, plotToCode = 0;
  CLI::App* pl = nullptr;
  if (env.Plot) {
    pl = AddCommand(app, "plot", "рисунок спектра в PNG или SVG");
    pl->add_option("ФАЙЛ", plot.Input, "файл .qel")->required()->type_name("");
    pl->add_option("-o,--output", plot.Output, "рисунок: .png или .svg")->required()->type_name("ВЫХОД");
    pl->add_option("--size", size, "размер в пикселях (по умолчанию 1024x600)")->type_name("ШxВ");
    plotFrom = pl->add_option("--from", plotFromCode, "код поля левого края (по умолчанию — начало данных)")->type_name("КОД");
    plotTo = pl->add_option("--to", plotToCode, "код поля правого края (по умолчанию — конец данных)")->type_name("КОД");
    pl->add_flag("--minmax", plot.MinMax, "отметить минимум и максимум в показанном диапазоне, с \"A=\"");
    pl->add_option("--scale", plot.OrdScale, "шаг вертикального масштаба 0..6 (по умолчанию 0)")
        ->check(CLI::Range(0, 6).description(""))
        ->type_name("N");
    pl->footer(std::string("\n") + kPlotHelp);
  }

  if (const int status = Parse(app, args, out, err, "qel"); status >= 0) return status;

  if (info->parsed()) {
    int status = 0;
    for (const std::string& file : infoFiles) {
      try {
        std::ostringstream one;
        Info(file, one);
        out << one.str();
      } catch (const std::exception& e) {
        err << "qel: " << e.what() << "\n";
        status = 1;
      }
    }
    return status;
  }

  auto isArchive = [](const std::string& path) {  // by its extension, in any case
    if (path.size() < 8) return false;
    std::string ext = path.substr(path.size() - 8);
    for (char& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return ext == ".qelpass";
  };
  if (exp->parsed() && isArchive(exportInput)) {
    try {
      if (format != "bes3t") throw std::runtime_error("архив проходов выводится только в BES3T (--format bes3t)");
      std::string warning;
      const PassArchive archive = ReadArchiveForUse(exportInput, warning);
      if (!warning.empty()) err << "qel: " << warning << "\n";
      const std::set<std::uint32_t> excluded = exportExclude.empty() ? std::set<std::uint32_t>{} : ParsePassList(exportExclude);
      const OperatorSettings op = Operator(settingsPath, err);
      const Bes3tSet set = MakePassesBes3t(archive, excluded, op.S, BaseName(exportInput));
      const std::string base = Bes3tBase(exportOutput, exportInput);
      WriteFileAtomically(base + ".DTA", set.Dta);
      WriteFileAtomically(base + ".YGF", set.Ygf);
      WriteFileAtomically(base + ".DSC", set.Dsc);
      return 0;
    } catch (const std::exception& e) {
      err << "qel: " << exportInput << ": " << e.what() << "\n";
      return 1;
    }
  }

  if (exp->parsed()) {
    try {
      if (!exportExclude.empty()) throw std::runtime_error("--exclude — только для архива проходов (.qelpass)");
      if (format == "csv") {
        const std::string csv = ExportCsv(exportInput);
        if (exportOutput.empty())
          out << csv;
        else
          WriteFileAtomically(exportOutput, csv);
        return 0;
      }
      const OperatorSettings op = Operator(settingsPath, err);
      SpectrumStore store;
      const Shown shown = LoadAsShown(store, exportInput, op.S);
      std::optional<double> f;
      if (*expFreq) f = exportGHz;
      const Bes3tPair pair = MakeBes3t(store.CurrentSpectrum, shown, BaseName(exportInput), f);
      const std::string base = Bes3tBase(exportOutput, exportInput);
      WriteFileAtomically(base + ".DTA", pair.Dta);
      WriteFileAtomically(base + ".DSC", pair.Dsc);
      return 0;
    } catch (const std::exception& e) {
      err << "qel: " << exportInput << ": " << e.what() << "\n";
      return 1;
    }
  }

  if (an->parsed()) {
    if (*fromOpt) {
      ao.From = from;
      ao.To = to;
    }
    if (*freqOpt) ao.FrequencyGHz = ghz;
    if (*fitOpt) {
      ao.Lines = true;
      ao.Fit = fitShape == "lorentz" ? FitChoice::Lorentz : fitShape == "gauss" ? FitChoice::Gauss : FitChoice::Auto;
    }
    const OperatorSettings op = Operator(settingsPath, err);
    const std::size_t total = analyseFiles.size();
    int lastPercent = -1;
    std::function<void(std::size_t)> progress;
    if (env.ErrIsTerminal && total > 1) {
      progress = [&](std::size_t done) {
        const int percent = static_cast<int>(100 * done / total);
        if (percent == lastPercent && done != total) return;
        lastPercent = percent;
        err << "\rqel analyse: " << done << " из " << total << " (" << percent << "%)" << std::flush;
      };
    }
    const auto results = AnalyseFiles(analyseFiles, op.S, ao, progress);
    if (progress) err << "\n";
    int status = 0;
    for (const FileAnalysis& r : results) {
      if (!ao.Lines) err << AnalysisWarnings(r);
      if (r.Result) continue;
      err << "qel: " << r.File << ": " << r.Error << "\n";
      status = 1;
    }
    try {
      if (json) {
        out << (ao.Lines ? LinesJson(results) : AnalysisJson(results));
      } else if (*csvOpt) {
        const std::string csv = ao.Lines ? LinesCsv(results) : AnalysisCsv(results);
        if (csvOut == "-")
          out << csv;
        else
          WriteFileAtomically(csvOut, csv);
      } else {
        out << (ao.Lines ? LinesText(results) : AnalysisText(results));
      }
    } catch (const std::exception& e) {
      err << "qel: " << e.what() << "\n";
      return 1;
    }
    return status;
  }

  if (ps->parsed()) {
    try {
      std::string warning;
      const PassArchive archive = ReadArchiveForUse(passesInput, warning);
      if (!warning.empty()) err << "qel: " << warning << "\n";
      const std::vector<PassScore> inOrder = ScorePasses(archive.Passes);
      std::vector<PassScore> scores = inOrder;
      if (scores.size() < 3) err << "qel: " << passesInput << ": проходов меньше трёх — отличие не оценивается\n";
      std::stable_sort(scores.begin(), scores.end(), [](const PassScore& a, const PassScore& b) {
        return a.Score.value_or(-1) > b.Score.value_or(-1);
      });
      out << PassesReport(scores, passesJson ? PassesFormat::Json : *psCsv ? PassesFormat::Csv : PassesFormat::Text,
                          passesCsv, passesInput);
      if (!passesPlot.empty()) {
        const OperatorSettings op = Operator(settingsPath, err);
        env.PlotPasses(PassesPlotOf(archive, inOrder, passesPlot), op.S);
      }
      return 0;
    } catch (const std::exception& e) {
      err << "qel: " << passesInput << ": " << e.what() << "\n";
      return 1;
    }
  }

  if (av->parsed()) {
    try {
      std::string warning;
      const PassArchive archive = ReadArchiveForUse(averageInput, warning);
      if (!warning.empty()) err << "qel: " << warning << "\n";
      const std::set<std::uint32_t> excluded = averageExclude.empty() ? std::set<std::uint32_t>{} : ParsePassList(averageExclude);
      out << AverageArchive(archive, excluded, averageOutput);
      return 0;
    } catch (const std::exception& e) {
      err << "qel: " << averageInput << ": " << e.what() << "\n";
      return 1;
    }
  }

  if (pl && pl->parsed()) {
    if (!size.empty() && !ParseSize(size, plot.Width, plot.Height)) {
      err << "qel: неверный размер \"" << size << "\": нужно ШxВ, от 16 до 16384 пикселей (см. qel plot --help)\n";
      return 1;
    }
    if (*plotFrom) plot.From = plotFromCode;
    if (*plotTo) plot.To = plotToCode;
    try {
      const OperatorSettings op = Operator(settingsPath, err);
      env.Plot(plot, op.S);
    } catch (const std::exception& e) {
      err << "qel: " << plot.Input << ": " << e.what() << "\n";
      return 1;
    }
    return 0;
  }
  return 1;
}

}  // namespace qel::cli
