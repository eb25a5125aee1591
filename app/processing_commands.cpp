#include "processing_commands.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "model/tables.h"
#include "processing/spectrum_ops.h"

namespace qel {

ConstSetupForm::ConstSetupForm(const char* objectName, const QString& caption, const QString& groupCaption,
                               std::int32_t& constant, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), constant_(constant) {
  setObjectName(objectName);
  setWindowTitle(caption);
  auto* group = new QGroupBox(groupCaption, this);
  group->setObjectName("GroupBox1");
  constEdit_ = new SpinEdit(group);
  constEdit_->setObjectName("ConstEdit");
  constEdit_->setRange(2, 2000);
  constEdit_->setValue(constant_);  // a stored value outside the range shows as it is used
  (new QVBoxLayout(group))->addWidget(constEdit_);
  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("OkBtn");
  ok->setDefault(true);
  auto* cancel = new QPushButton("Отмена", this);
  cancel->setObjectName("CancelBtn");
  connect(ok, &QPushButton::clicked, this, [this] {
    constant_ = constEdit_->TypedValue();
    accept();
  });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* column = new QVBoxLayout(this);
  column->addWidget(group);
  column->addLayout(buttons);
  column->setSizeConstraint(QLayout::SetFixedSize);
}

TGlissSetupForm::TGlissSetupForm(Settings& s, QWidget* parent)
    : ConstSetupForm("GlissSetupForm", "Сглаживание спектра", "Постоянная сглаживания в отсчетах развертки",
                     s.GlissConst, parent) {}

TLowPassSetupForm::TLowPassSetupForm(Settings& s, QWidget* parent)
    : ConstSetupForm("LowPassSetupForm", "Фильтр низкой чстоты", "Постоянная времени фильтра в отсчетах развертки",
                     s.LPFConst, parent) {}

ProcessingCommands::ProcessingCommands(Settings& s, SpectrumStore& store, RunValues& run, ProcessingHost& host,
                                       QWidget* dialogParent)
    : QObject(dialogParent), s_(s), store_(store), run_(run), host_(host), dialogParent_(dialogParent) {}

void ProcessingCommands::Done(bool undoable) {
  host_.FullRepaint();
  if (undoable) host_.SetBackUpEnabled(true);
}

bool ProcessingCommands::BothCursors(const char* message) {
  if (s_.Visir1 && s_.Visir2) return true;
  host_.ShowError(message);
  return false;
}

void ProcessingCommands::AGlissExecute() {
  store_.SaveUndo();
  // A stored constant below 2 is used as the dialog would have given it.
  GlissSpectrum(store_.CurrentSpectrum, UsedConst(s_.GlissConst));
  Done(true);
}

void ProcessingCommands::AGlissSetupExecute() {
  TGlissSetupForm dlg(s_, dialogParent_);
  if (dlg.exec() == QDialog::Accepted) AGlissExecute();
}

void ProcessingCommands::AFilterExecute() {
  store_.SaveUndo();
  FilterSpectrum(store_.CurrentSpectrum, UsedConst(s_.LPFConst));
  Done(true);
}

void ProcessingCommands::AFilterSetupExecute() {
  TLowPassSetupForm dlg(s_, dialogParent_);
  if (dlg.exec() == QDialog::Accepted) AFilterExecute();
}

void ProcessingCommands::AEqualizeExecute() {
  if (!BothCursors("Границы выравнивания спектра необходимо задать с помощью двух визиров!")) return;
  run_.IntegralS = -1.0;
  store_.SaveUndo();
  EqualizeSpectrum(store_.CurrentSpectrum, A(), B());
  Done(true);
}

void ProcessingCommands::AIntegrExecute() {
  if (!BothCursors("Границы интегрирования спектра необходимо задать с помощью двух визиров!")) return;
  run_.MaxIndex = -1;
  run_.MinIndex = -1;
  store_.SaveUndo();
  const int factor = GainTable[static_cast<std::size_t>(UsedAmplifying(s_))].Factor;
  run_.IntegralS = IntegralValue(store_.CurrentSpectrum, A(), B(), factor);
  IntegrateSpectrum(store_.CurrentSpectrum, A(), B());
  Done(true);
}

void ProcessingCommands::AMinMaxExecute() {
  if (!BothCursors("Для поиска минимума и максимума нужно задать границы спомощью двух визиров!")) return;
  run_.IntegralS = -1.0;
  MinMaxSpectrum(store_.CurrentSpectrum, A(), B(), run_.MaxIndex, run_.MinIndex);
  Done(false);  // no undo copy: the undo stays as it was
}

void ProcessingCommands::ABackUpExecute() {
  run_.IntegralS = -1.0;
  run_.MaxIndex = -1;
  run_.MinIndex = -1;
  store_.RestoreUndo();
  host_.SetBackUpEnabled(false);
  host_.FullRepaint();
}

}  // namespace qel
