#include "print_setup_form.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <functional>

#include "model/number_format.h"
#include "ui_metrics.h"

namespace qel {

namespace {

// A paint box that asks its owner to draw it.
class PaintBox : public QWidget {
 public:
  PaintBox(std::function<void(QPainter&)> paint, QWidget* parent) : QWidget(parent), paint_(std::move(paint)) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    paint_(p);
  }

 private:
  std::function<void(QPainter&)> paint_;
};

}  // namespace

PrintGeometry PrinterGeometry(const QPrinter& printer) {
  const QPageLayout layout = printer.pageLayout();
  const QRect px = layout.paintRectPixels(printer.resolution());
  const QRectF mm = layout.paintRect(QPageLayout::Millimeter);
  return {px.width(), px.height(), static_cast<int>(RoundEven(mm.width())), static_cast<int>(RoundEven(mm.height()))};
}

QString PrinterDisplayName(const QPrinter& printer) {
  if (printer.outputFormat() == QPrinter::PdfFormat) {
    const QString file = printer.outputFileName();
    return file.isEmpty() ? QString("Файл PDF") : "Файл PDF: " + QFileInfo(file).fileName();
  }
  return printer.printerName();
}

TPrintSetupForm::TPrintSetupForm(QPrinter& printer, Settings& s, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), printer_(printer), s_(s) {
  setObjectName("PrintSetupForm");
  setWindowTitle("Печать спектра");

  auto* group1 = new QGroupBox("Активный принтер ", this);
  group1->setObjectName("GroupBox1");
  prnName_ = new QLineEdit(group1);
  prnName_->setObjectName("PrnName");
  prnName_->setReadOnly(true);
  prnSetupPrn_ = new QPushButton("Настроить...", group1);
  prnSetupPrn_->setObjectName("PrnSetupPrn");
  auto* printerRow = new QHBoxLayout(group1);
  printerRow->addWidget(prnName_, 1);
  printerRow->addWidget(prnSetupPrn_);

  auto* fieldBox = new QGroupBox("Поля", this);
  fieldBox->setObjectName("FieldBox");
  auto* fields = new QGridLayout(fieldBox);
  const char* names[4] = {"LeftEdit", "RightEdit", "TopEdit", "BotEdit"};
  const char* captions[4] = {"Слева", "Справа", "Сверху", "Снизу"};
  for (int i = 0; i < 4; ++i) {
    auto* edit = new SpinEdit(fieldBox);
    edit->setObjectName(names[i]);
    edit->setRange(1, 200);
    edit->setValue(10);
    edits_[static_cast<std::size_t>(i)] = edit;
    auto* caption = new QLabel(captions[i], fieldBox);
    caption->setBuddy(edit);
    const int row = i / 2, col = (i % 2) * 3;
    fields->addWidget(caption, row, col);
    fields->addWidget(edit, row, col + 1);
    fields->addWidget(new QLabel("мм", fieldBox), row, col + 2);
  }

  auto* orientBox = new QGroupBox("Ориентация бумаги", this);
  orientBox->setObjectName("OrientGroup");
  orientGroup_ = new QButtonGroup(this);
  auto* orientRow = new QHBoxLayout(orientBox);
  const char* orientCaptions[2] = {"Книжная", "Альбомная"};
  for (int i = 0; i < 2; ++i) {
    auto* radio = new QRadioButton(orientCaptions[i], orientBox);
    radio->setObjectName(i == 0 ? "Portrait" : "Landscape");
    orientGroup_->addButton(radio, i);
    orientRow->addWidget(radio);
  }

  sampleBox_ = new QGroupBox("Пример", this);
  sampleBox_->setObjectName("SampleBox");
  sample_ = new PaintBox([this](QPainter& p) { PaintSample(p); }, sampleBox_);
  sample_->setObjectName("Sample");
  sample_->setFixedSize(Px(200), Px(200));
  (new QVBoxLayout(sampleBox_))->addWidget(sample_);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
  ok->setObjectName("OkBtn");
  ok->setDefault(true);
  QPushButton* cancel = buttons->addButton("Отмена", QDialogButtonBox::RejectRole);
  cancel->setObjectName("BitBtn2");
  connect(ok, &QPushButton::clicked, this, &TPrintSetupForm::OkBtnClick);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* left = new QVBoxLayout;
  left->addWidget(group1);
  left->addWidget(fieldBox);
  left->addWidget(orientBox);
  left->addStretch(1);
  left->addWidget(buttons);
  auto* columns = new QHBoxLayout(this);
  columns->addLayout(left, 1);
  columns->addWidget(sampleBox_);
  // 624 x 295, or more where the desktop's font needs it.
  const QSize hint = sizeHint();
  setFixedSize(std::max(Px(624), hint.width()), std::max(Px(295), hint.height()));

  connect(prnSetupPrn_, &QPushButton::clicked, this, &TPrintSetupForm::PrnSetupPrnClick);
  connect(orientGroup_, &QButtonGroup::idClicked, this, &TPrintSetupForm::OrientGroupClick);
  for (SpinEdit* edit : edits_)
    connect(edit, &QSpinBox::valueChanged, this, [this] { DrawMarginSample(); });
  FormShow();
}

void TPrintSetupForm::FormShow() {
  prnName_->setText(PrinterDisplayName(printer_));
  printer_.setPageOrientation(s_.Orientation ? QPageLayout::Landscape : QPageLayout::Portrait);
  DrawMarginSample();
  edits_[0]->setValue(s_.PrnL);
  edits_[1]->setValue(s_.PrnR);
  edits_[2]->setValue(s_.PrnT);
  edits_[3]->setValue(s_.PrnB);
  orientGroup_->button(printer_.pageLayout().orientation() == QPageLayout::Landscape ? 1 : 0)->setChecked(true);
}

Margins TPrintSetupForm::EditMargins() const {
  return {edits_[0]->value(), edits_[1]->value(), edits_[2]->value(), edits_[3]->value()};
}

void TPrintSetupForm::DrawMarginSample() {
  if (drawing_) return;  // raising an edit's minimum changes its value, which comes back here
  drawing_ = true;
  geometry_ = PrinterGeometry(printer_);
  paper_ = NearestPaper(geometry_.HorzSize, geometry_.VertSize);
  min_ = MinimumMargins(geometry_);
  const int mins[4] = {min_.Left, min_.Right, min_.Top, min_.Bottom};
  std::int32_t* fields[4] = {&s_.PrnL, &s_.PrnR, &s_.PrnT, &s_.PrnB};
  for (std::size_t i = 0; i < 4; ++i) {
    // A printable area larger than the nearest paper (a Letter sheet taken
    // for A4) gives a negative minimum: the edits stop at 0 there.
    edits_[i]->setMinimum(std::max(mins[i], 0));
    if (*fields[i] < mins[i]) *fields[i] = mins[i];
  }
  drawing_ = false;
  sample_->update();
}

void TPrintSetupForm::PaintSample(QPainter& p) {
  PaintMarginSample(p, sample_->size(), geometry_, EditMargins(), s_.PrinterColors,
                    sampleBox_->palette().color(QPalette::Window));
}

void TPrintSetupForm::OrientGroupClick(int index) {
  printer_.setPageOrientation(index == 1 ? QPageLayout::Landscape : QPageLayout::Portrait);
  DrawMarginSample();
}

void TPrintSetupForm::PrnSetupPrnClick() {
  // Qt's print dialog lists the installed printers and "Print to File (PDF)".
  QPrintDialog dlg(&printer_, this);
  dlg.setObjectName("PrnSetupDlg");
  if (dlg.exec() != QDialog::Accepted) return;
  prnName_->setText(PrinterDisplayName(printer_));
  orientGroup_->button(printer_.pageLayout().orientation() == QPageLayout::Landscape ? 1 : 0)->setChecked(true);
  DrawMarginSample();
}

void TPrintSetupForm::Refuse(std::size_t i, const QString& text) {
  QMessageBox box(QMessageBox::Warning, "КЕЛ", text, QMessageBox::Ok, this);
  box.setObjectName("PrintSetupErrorBox");
  box.exec();
  edits_[i]->setFocus();
  edits_[i]->selectAll();
}

void TPrintSetupForm::OkBtnClick() {
  const Margins m{edits_[0]->TypedValue(), edits_[1]->TypedValue(), edits_[2]->TypedValue(), edits_[3]->TypedValue()};
  // The frame is the printable area less the margins beyond the minimum
  // ones. Without width or height every point would print in one column
  // and the labels mirrored.
  const int width = geometry_.HorzSize + min_.Left + min_.Right;
  const int height = geometry_.VertSize + min_.Top + min_.Bottom;
  const QString text("Поля %1 (%2 мм) и %3 (%4 мм) не оставляют места для спектра: вместе они должны быть меньше %5 мм.");
  if (m.Left + m.Right >= width)
    return Refuse(0, text.arg("слева").arg(m.Left).arg("справа").arg(m.Right).arg(width));
  if (m.Top + m.Bottom >= height)
    return Refuse(2, text.arg("сверху").arg(m.Top).arg("снизу").arg(m.Bottom).arg(height));
  s_.Orientation = printer_.pageLayout().orientation() == QPageLayout::Landscape;
  s_.PrnL = m.Left;
  s_.PrnR = m.Right;
  s_.PrnT = m.Top;
  s_.PrnB = m.Bottom;
  accept();
}

}  // namespace qel
