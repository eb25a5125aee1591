#include <benchmark/benchmark.h>

#include "qt_bench_main.h"

#include <QApplication>

#include <cmath>
#include <cstdlib>
#include <memory>

#include "app/error_boxes.h"
#include "app/main_window.h"
#include "app/print_commands.h"
#include "app/print_setup_form.h"
#include "app/message_form.h"
#include "display/print_sheet.h"
#include "display/view_window.h"
#include "model/reg_file_store.h"

namespace {

// Appending one line to the message log after `lines` lines: the same cost
// at a million lines as at ten, since the window keeps only the newest.
void BM_LogAppend(benchmark::State& state) {
  qel::TQelMessageForm log;
  log.ClearLines();
  const QString line = "Tm03. POLEmax=65519";
  for (long i = 0; i < state.range(0); ++i) log.AppendLine(line);
  for (auto _ : state) log.AppendLine(line);
  state.counters["lines kept"] = log.LineCount();
}
BENCHMARK(BM_LogAppend)->Name("log append")->Arg(10)->Arg(18000)->Arg(1000000)->Iterations(5000)->Unit(benchmark::kMicrosecond);

// A processing command from the click to the repainted plot, on a full
// spectrum at 1920 x 1080: the window's own handlers.
struct Window {
  Window() : store(std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/qel-bench-none/1.0.reg") {
    window = std::make_unique<qel::TQelMainForm>(state, store, errors, ",");
    qel::Settings& s = state.Settings;
    s.Mode = false;
    s.Visir1 = s.Visir2 = true;
    s.VisKoord1 = 100;
    s.VisKoord2 = 65400;
    window->View().Plot().resize(1920, 1080);
    for (std::uint16_t i = 0; i <= qel::MaxFieldCode; ++i) {
      const double x = (i - 32760) / 900.0;
      full[i] = {i, static_cast<std::uint16_t>(2048 - std::lround(1500 * x / ((1 + x * x) * (1 + x * x))))};
    }
    for (std::size_t i = qel::MaxFieldCode + 1; i < qel::SpectrumSize; ++i) full[i] = qel::EmptyPoint;
  }
  qel::ProgramState state;
  qel::RegFileStore store;
  qel::ErrorBoxes errors;
  std::unique_ptr<qel::TQelMainForm> window;
  qel::SpectrumBuffer full;
};

void BM_Command(benchmark::State& state, const char* action) {
  Window w;
  for (auto _ : state) {
    state.PauseTiming();
    w.state.Store.CurrentSpectrum = w.full;
    w.window->Action("ABackUp")->setEnabled(true);  // as after a command that took an undo copy
    state.ResumeTiming();
    w.window->Action(action)->trigger();
  }
}
BENCHMARK_CAPTURE(BM_Command, gliss, "AGliss")->Name("command/AGliss 1920x1080")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Command, filter, "AFilter")->Name("command/AFilter 1920x1080")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Command, equalize, "AEqualize")->Name("command/AEqualize 1920x1080")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Command, integr, "AIntegr")->Name("command/AIntegr 1920x1080")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Command, minmax, "AMinMax")->Name("command/AMinMax 1920x1080")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Command, backup, "ABackUp")->Name("command/ABackUp 1920x1080")->Unit(benchmark::kMillisecond);

// The printed sheet of a full spectrum (65520 points, both cursors, the
// minimum and maximum; with the raw points of ShowFirst or without) on an A4
// page at 300 dpi: drawn on an image allocated once, and printed to a PDF file.
struct FullSheet {
  explicit FullSheet(bool raw) {
    qel::SetDefaults(s);
    s.ViewMin = 0;
    s.ViewMax = qel::MaxFieldCode;
    s.ShowFirst = raw;
    s.Visir1 = s.Visir2 = true;
    s.VisKoord1 = 20000;
    s.VisKoord2 = 45000;
    for (std::uint16_t i = 0; i <= qel::MaxFieldCode; ++i) {
      const double x = (i - 32760) / 900.0;
      const auto v = static_cast<std::uint16_t>(2048 - std::lround(1500 * x / ((1 + x * x) * (1 + x * x))));
      store.CurrentSpectrum[i] = {i, v};
      store.RawSpectrum[i] = static_cast<std::uint16_t>(v + (i % 37) - 18);
    }
    run.MaxIndex = 32240;
    run.MinIndex = 33280;
  }
  qel::SheetInput Input() const { return {s, store, run, false, "1", "1 мин", ","}; }
  qel::Settings s;
  qel::SpectrumStore store;
  qel::RunValues run;
};

void BM_SheetImage(benchmark::State& state) {
  FullSheet sheet(state.range(0) != 0);
  const qel::PrintGeometry a4{2480, 3508, 210, 297};
  QImage image(a4.HorzRes, a4.VertRes, QImage::Format_RGB32);
  image.setDotsPerMeterX(11811);  // 300 dpi
  image.setDotsPerMeterY(11811);
  long points = 0;
  for (auto _ : state) {
    QPainter p(&image);
    points = qel::DrawSheet(p, a4, sheet.Input()).Points;
  }
  state.counters["points"] = static_cast<double>(points);
}
BENCHMARK(BM_SheetImage)->Name("print/sheet A4 300 dpi image")->ArgName("raw")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_SheetPdf(benchmark::State& state) {
  FullSheet sheet(state.range(0) != 0);
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QString(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/qel-bench-sheet.pdf");
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
  printer.setResolution(300);
  const qel::PrintGeometry g = qel::PrinterGeometry(printer);
  for (auto _ : state) {
    QPainter p(&printer);
    qel::DrawSheet(p, g, sheet.Input());
    p.end();  // the file is written here
  }
}
BENCHMARK(BM_SheetPdf)->Name("print/sheet A4 300 dpi PDF")->ArgName("raw")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

QEL_QT_BENCHMARK_MAIN()
