#pragma once
// "Печать спектра": the printer, the four margins and the paper's
// orientation, with a preview of the page and its margins. The printer
// object is the program's one printer: what is chosen here stays selected.

#include <QButtonGroup>
#include <QDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>

#include <array>

#include "display/print_sheet.h"
#include "model/settings.h"
#include "spin_edit.h"

namespace qel {

// The printable area of a printer as the sheet measures it: pixels at the
// printer's resolution and whole millimetres, after its orientation.
PrintGeometry PrinterGeometry(const QPrinter& printer);

// What the name box shows for a printer (its name, or its PDF file).
QString PrinterDisplayName(const QPrinter& printer);

class TPrintSetupForm : public QDialog {
  Q_OBJECT
 public:
  TPrintSetupForm(QPrinter& printer, Settings& s, QWidget* parent = nullptr);

  // Re-reads the printer, raises the edits' and the settings' margins to
  // the minimum ones and redraws the preview.
  void DrawMarginSample();
  void OrientGroupClick(int index);
  // The system print dialog; when confirmed, the name, orientation and preview follow it.
  void PrnSetupPrnClick();
  // Takes the orientation and the margins into the settings and closes the
  // dialog, unless the margins leave the sheet no plot: then it says so and
  // the dialog stays.
  void OkBtnClick();

  const Margins& MinMargins() const { return min_; }
  const PrintGeometry& Geometry() const { return geometry_; }
  QWidget& Sample() { return *sample_; }

 private:
  void FormShow();
  Margins EditMargins() const;
  // Says why the margins cannot be taken and puts the cursor into edit i.
  void Refuse(std::size_t i, const QString& text);
  void PaintSample(QPainter& p);

  QPrinter& printer_;
  Settings& s_;
  PrintGeometry geometry_;
  PaperSize paper_;
  Margins min_;
  bool drawing_ = false;

  QLineEdit* prnName_;
  QPushButton* prnSetupPrn_;
  std::array<SpinEdit*, 4> edits_{};  // left, right, top, bottom
  QButtonGroup* orientGroup_;
  QGroupBox* sampleBox_;
  QWidget* sample_;
};

}  // namespace qel
