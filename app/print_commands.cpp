#include "print_commands.h"

#include <QComboBox>
#include <QMainWindow>
#include <QMenuBar>
#include <QPainter>
#include <QPrinterInfo>

#include <cmath>

#include "color_setup_form.h"
#include "print_setup_form.h"

namespace qel {

namespace {
constexpr const char* kJobTitle = "Спектр КЕЛ";
// A PDF at the printer's high resolution makes hairlines of the sheet's
// 2 x 2 dots and 1-pixel lines.
constexpr int kPdfDpi = 300;
}

PrintCommands::PrintCommands(Settings& s, const SpectrumStore& store, const RunValues& run, std::string sep,
                             Sources sources, QWidget* dialogParent)
    : QObject(dialogParent),
      s_(s),
      store_(store),
      run_(run),
      sep_(std::move(sep)),
      sources_(std::move(sources)),
      dialogParent_(dialogParent),
      printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
  if (printer_->outputFormat() == QPrinter::PdfFormat) {
    // No printer installed: a PDF of A4 paper, printable to its edges, so
    // the margins of the settings are measured from the paper's edge.
    printer_->setPageSize(QPageSize(QPageSize::A4));
    printer_->setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    printer_->setResolution(kPdfDpi);
  }
}

PrintCommands::~PrintCommands() = default;

bool PrintCommands::ReadyToPrint() {
  if (printer_->outputFormat() != QPrinter::PdfFormat) return true;
  printer_->setResolution(kPdfDpi);  // also when the print dialog chose PDF output
  if (!printer_->outputFileName().isEmpty() && !fileChosenHere_) return true;  // chosen in the print dialog
  if (!pdfDlg_) {
    // Made at its first use and kept, so that it opens where it was left;
    // never made, it watches no folder.
    pdfDlg_ = new QFileDialog(dialogParent_);
    pdfDlg_->setObjectName("PrnPdfDlg");
    pdfDlg_->setOption(QFileDialog::DontUseNativeDialog, true);
    pdfDlg_->setWindowTitle("Печать в файл PDF");
    pdfDlg_->setAcceptMode(QFileDialog::AcceptSave);
    pdfDlg_->setFileMode(QFileDialog::AnyFile);
    pdfDlg_->setNameFilter("Документ PDF (*.pdf)");
    pdfDlg_->setDefaultSuffix("pdf");
  }
  if (pdfDlg_->exec() != QDialog::Accepted || pdfDlg_->selectedFiles().isEmpty()) return false;
  printer_->setOutputFileName(pdfDlg_->selectedFiles().first());
  fileChosenHere_ = true;
  return true;
}

void PrintCommands::Finish(bool ok) {
  if (!ok && sources_.ShowError) {
    const QString where = printer_->outputFormat() == QPrinter::PdfFormat ? printer_->outputFileName()
                                                                             : printer_->printerName();
    sources_.ShowError("Печать не удалась: " + where);
  }
}

void PrintCommands::APrintExecute() {
  printer_->setDocName(kJobTitle);
  printer_->setPageOrientation(s_.Orientation ? QPageLayout::Landscape : QPageLayout::Portrait);
  if (!ReadyToPrint()) return;
  const PrintGeometry g = PrinterGeometry(*printer_);
  const SheetInput in{s_,
                      store_,
                      run_,
                      sources_.ReceiveMode ? sources_.ReceiveMode() : false,
                      sources_.AmpBox ? sources_.AmpBox->currentText() : QString(),
                      sources_.SpeedBox ? sources_.SpeedBox->currentText() : QString(),
                      sep_};
  QPainter p;
  if (!p.begin(printer_.get())) return Finish(false);
  lastSheet_ = DrawSheet(p, g, in);
  Finish(p.end());
}

void PrintCommands::APrintSetupExecute() {
  TPrintSetupForm dlg(*printer_, s_, dialogParent_);
  const bool outputBefore = printer_->outputFormat() == QPrinter::PdfFormat;
  const QString fileBefore = printer_->outputFileName();
  const bool ok = dlg.exec() == QDialog::Accepted;
  // A file named in the print dialog is the operator's: it is not asked for again.
  if (printer_->outputFormat() != QPrinter::PdfFormat || !outputBefore || printer_->outputFileName() != fileBefore)
    fileChosenHere_ = false;
  if (ok) APrintExecute();
}

QImage PrintCommands::ClientImage() const {
  QMainWindow* w = sources_.Window;
  if (!w) return {};
  const int top = w->menuBar()->isVisible() ? w->menuBar()->height() : 0;
  QImage image = w->grab(QRect(0, top, w->width(), w->height() - top)).toImage();
  image.setDotsPerMeterX(static_cast<int>(std::lround(w->logicalDpiX() / 0.0254)));
  image.setDotsPerMeterY(static_cast<int>(std::lround(w->logicalDpiY() / 0.0254)));
  return image;
}

void PrintCommands::APrintFormExecute() {
  const QImage image = ClientImage();
  if (image.isNull()) return;
  printer_->setDocName(kJobTitle);
  if (!ReadyToPrint()) return;
  QPainter p;
  if (!p.begin(printer_.get())) return Finish(false);
  // Printer pixels per screen pixel: the picture keeps about its size on screen.
  const double ratio = static_cast<double>(printer_->resolution()) /
                       (image.dotsPerMeterX() > 0 ? image.dotsPerMeterX() * 0.0254 : 96.0);
  const QSizeF size = QSizeF(image.size()) / image.devicePixelRatio() * ratio;
  p.drawImage(QRectF(QPointF(0, 0), size), image);
  Finish(p.end());
}

void PrintCommands::AColorSetupExecute() {
  TColorSetupForm dlg(s_, dialogParent_);
  if (dlg.exec() == QDialog::Accepted && sources_.Repaint) sources_.Repaint();
}

}  // namespace qel
