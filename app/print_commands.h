#pragma once
// The window's printing and colour commands: the sheet at once ("Печать"),
// the print setup dialog followed by the sheet ("Печать спектра..."), the
// window's picture ("Печать главного окна") and the colour dialog. One
// printer object serves the whole run.
//
// With no printer installed, or with PDF output chosen in the print dialog
// without a file, the sheet goes to a PDF file the operator names.

#include <QFileDialog>
#include <QImage>
#include <QObject>
#include <QPrinter>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "display/print_sheet.h"

class QComboBox;
class QMainWindow;

namespace qel {

class PrintCommands : public QObject {
  Q_OBJECT
 public:
  struct Sources {
    std::function<bool()> ReceiveMode;
    const QComboBox* AmpBox = nullptr;
    const QComboBox* SpeedBox = nullptr;
    QMainWindow* Window = nullptr;        // printed by "Печать главного окна"
    std::function<void()> Repaint;        // the plot's full repaint
    std::function<void(const QString&)> ShowError;
  };
  PrintCommands(Settings& s, const SpectrumStore& store, const RunValues& run, std::string sep, Sources sources,
                QWidget* dialogParent);
  ~PrintCommands() override;

  void APrintExecute();
  void APrintSetupExecute();
  void APrintFormExecute();
  void AColorSetupExecute();

  // The window's client area (without its menu bar) as on screen, its
  // resolution the screen's.
  QImage ClientImage() const;

  QPrinter& Printer() { return *printer_; }
  // What the last sheet drew; nothing before the first.
  const std::optional<SheetReport>& LastSheet() const { return lastSheet_; }
  // The file dialog that names the PDF when there is no printer to print on.

 private:
  // The printer is ready for a job: a printer, or a PDF with a file name.
  bool ReadyToPrint();
  void Finish(bool ok);

  Settings& s_;
  const SpectrumStore& store_;
  const RunValues& run_;
  std::string sep_;
  Sources sources_;
  QWidget* dialogParent_;
  std::unique_ptr<QPrinter> printer_;
  QFileDialog* pdfDlg_ = nullptr;
  bool fileChosenHere_ = false;  // the PDF name came from our dialog: ask again next time
  std::optional<SheetReport> lastSheet_;
};

}  // namespace qel
