#pragma once
// The program's window printing to PDF files, and the PDF files read back
// with poppler's tools.

#include <QColor>
#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>

#include "app/error_boxes.h"
#include "app/main_window.h"
#include "app/print_commands.h"
#include "display/plot_renderer.h"
#include "model/reg_file_store.h"

namespace qel::test {

inline QColor Bgr(std::int32_t c) { return ToQColor(c); }

// The program's window over its own settings file, the printer a PDF on A4
// with a printable area of 203 x 289 mm, at first at 1200 dpi as a printer
// switched to PDF in the print dialog keeps it.
struct Window {
  explicit Window(const std::string& dir, const std::function<void(Settings&)>& change = {})
      : store(dir + "/1.0.reg"), pdf(QString::fromStdString(dir + "/sheet.pdf")) {
    Settings s;
    SetDefaults(s);
    s.Mode = false;
    s.Orientation = false;
    if (change) change(s);
    SaveSettings(s, {}, store);
    window = std::make_unique<TQelMainForm>(state, store, errors, ",");
    window->show();
    QPrinter& printer = window->Printing().Printer();
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    printer.setResolution(1200);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setPageMargins(QMarginsF(3.5, 4, 3.5, 4), QPageLayout::Millimeter);
  }
  ProgramState state;
  RegFileStore store;
  ErrorBoxes errors;
  std::unique_ptr<TQelMainForm> window;
  QString pdf;
};

inline QString Run(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(60000) || p.exitCode() != 0) return "<" + program + " failed>";
  return QString::fromUtf8(p.readAllStandardOutput());
}

// The page of a PDF as an image at the given resolution.
inline QImage Raster(const QString& pdf, int dpi) {
  const QString base = pdf + "-page";
  Run("pdftoppm", {"-r", QString::number(dpi), "-png", "-singlefile", pdf, base});
  return QImage(base + ".png");
}

}  // namespace qel::test
