#include "instrument_panel.h"

#include "spin_edit.h"

#include <QApplication>
#include <QBoxLayout>
#include <QSignalBlocker>
#include <QGridLayout>
#include <QToolButton>

#include "link/instrument_control.h"
#include "model/tables.h"
#include "ui_metrics.h"

namespace qel {

namespace {
QLabel* SourceLabel(const char* name, QWidget* parent) {
  auto* l = new QLabel("РУЧН.УПР.", parent);
  l->setObjectName(name);
  return l;
}

QLineEdit* ReadOnlyEdit(const char* name, QWidget* parent, const QString& hint = {}) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(name);
  e->setReadOnly(true);
  e->setToolTip(hint);
  return e;
}

QToolBar* SmallBar(const char* name, QWidget* parent) {
  auto* bar = new QToolBar(parent);
  bar->setObjectName(name);
  bar->setIconSize(QSize(16, 16));
  bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  return bar;
}
}  // namespace

InstrumentPanel::InstrumentPanel(Settings& s, const Actions& actions, QWidget* parent)
    : QWidget(parent), s_(s) {
  setObjectName("InstrumentPanel");

  CorrPanel = new QGroupBox("Напряжение корр.", this);
  CorrPanel->setObjectName("CorrPanel");
  CorrPanel->setToolTip("Управление напряжением коррекции");
  CorrLbl = SourceLabel("CorrLbl", CorrPanel);
  CorrEdit = new SpinEdit(CorrPanel);
  CorrEdit->setObjectName("CorrEdit");
  CorrEdit->setToolTip("Точная коррекция уровня");
  CorrEdit->setRange(-32767, 32767);
  CorrEdit->setSingleStep(32);
  CorrEdit->setKeyboardTracking(false);
  CorrEditExt = ReadOnlyEdit("CorrEditExt", CorrPanel, "Напряжение коррекции");
  CorrBar = new QSlider(Qt::Vertical, CorrPanel);
  CorrBar->setObjectName("CorrBar");
  CorrBar->setToolTip("Грубая коррекция уровня");
  CorrBar->setRange(0, 65535);
  CorrBar->setPageStep(128);
  CorrBar->setTickInterval(4096);
  CorrBar->setTickPosition(QSlider::TicksRight);
  CorrBar->setInvertedAppearance(true);  // position 0 at the top
  CorrBar->setInvertedControls(true);
  {
    auto* g = new QGridLayout(CorrPanel);
    g->addWidget(CorrLbl, 0, 0);
    g->addWidget(CorrEdit, 1, 0);
    g->addWidget(CorrEditExt, 2, 0);
    g->addWidget(CorrBar, 0, 1, 3, 1);
  }

  AmpPanel = new QGroupBox("Усиление", this);
  AmpPanel->setObjectName("AmpPanel");
  AmpLbl = SourceLabel("AmpLbl", AmpPanel);
  AmpBox = new QComboBox(AmpPanel);
  AmpBox->setObjectName("AmpBox");
  for (const GainEntry& e : GainTable) AmpBox->addItem(QString::fromUtf8(e.Caption.data(), e.Caption.size()));
  AmpBox->setMaxVisibleItems(8);
  UpDnAmp = UpDown("UpDnAmp", Qt::Vertical, &InstrumentPanel::AmpUp, &InstrumentPanel::AmpDown);
  UpDnAmp->setParent(AmpPanel);
  {
    auto* g = new QGridLayout(AmpPanel);
    g->addWidget(AmpLbl, 0, 0, 1, 2);
    g->addWidget(AmpBox, 1, 0);
    g->addWidget(UpDnAmp, 1, 1);
    g->setRowStretch(2, 1);
  }

  SpeedPanel = new QGroupBox("Скорость развертки", this);
  SpeedPanel->setObjectName("SpeedPanel");
  SpeedLbl = SourceLabel("SpeedLbl", SpeedPanel);
  SpeedBox = new QComboBox(SpeedPanel);
  SpeedBox->setObjectName("SpeedBox");
  for (const SpeedEntry& e : SpeedTable) SpeedBox->addItem(QString::fromUtf8(e.Caption.data(), e.Caption.size()));
  SpeedBox->setMaxVisibleItems(12);
  UpDnRazv = UpDown("UpDnRazv", Qt::Vertical, &InstrumentPanel::SpeedUp, &InstrumentPanel::SpeedDown);
  UpDnRazv->setParent(SpeedPanel);
  SpeedBar = SmallBar("SpeedBar", SpeedPanel);
  SpeedBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  SpeedBar->addAction(actions.Stop);
  SpeedBar->addAction(actions.Start);
  {
    auto* g = new QGridLayout(SpeedPanel);
    g->addWidget(SpeedLbl, 0, 0, 1, 2);
    g->addWidget(SpeedBox, 1, 0);
    g->addWidget(UpDnRazv, 1, 1);
    g->addWidget(SpeedBar, 2, 0, 1, 2);
  }

  RazvPanel = new QGroupBox("Границы развёртки", this);
  RazvPanel->setObjectName("RazvPanel");
  Label1 = new QLabel("Нижняя", RazvPanel);
  Label1->setObjectName("Label1");
  Label2 = new QLabel("Верхняя", RazvPanel);
  Label2->setObjectName("Label2");
  auto field = [this](const char* name, int lo, int hi) {
    auto* f = new SpinEdit(RazvPanel);  // the whole number typed, clamped when taken
    f->setObjectName(name);
    f->setRange(lo, hi);
    f->setSingleStep(10);
    f->setKeyboardTracking(false);
    return f;
  };
  BotField = field("BotField", 0, 65007);
  TopField = field("TopField", 512, 65519);
  BotFieldExt = ReadOnlyEdit("BotFieldExt", RazvPanel);
  TopFieldExt = ReadOnlyEdit("TopFieldExt", RazvPanel);
  RazvBar = SmallBar("RazvBar", RazvPanel);
  RazvBar->addAction(actions.ResetDiap);
  RazvBar->addWidget(actions.SetRazvBtn);
  {
    auto* g = new QGridLayout(RazvPanel);
    g->addWidget(Label1, 0, 0);
    g->addWidget(BotField, 0, 1);
    g->addWidget(BotFieldExt, 0, 2);
    g->addWidget(Label2, 1, 0);
    g->addWidget(TopField, 1, 1);
    g->addWidget(TopFieldExt, 1, 2);
    g->addWidget(RazvBar, 2, 0, 1, 3);
  }

  for (QGroupBox* g : {CorrPanel, AmpPanel, SpeedPanel, RazvPanel}) {
    g->layout()->setContentsMargins(Px(6), Px(2), Px(6), Px(4));
    g->layout()->setSpacing(Px(3));
  }
  grid_ = new QGridLayout(this);
  grid_->setContentsMargins(0, 0, 0, 0);
  Arrange(false);
  for (QGroupBox* g : {CorrPanel, AmpPanel, SpeedPanel, RazvPanel}) g->setEnabled(false);
}

void InstrumentPanel::Arrange(bool twoRows) {
  twoRows_ = twoRows;
  for (QGroupBox* g : {CorrPanel, AmpPanel, SpeedPanel, RazvPanel}) grid_->removeWidget(g);
  grid_->addWidget(CorrPanel, 0, 0);
  grid_->addWidget(AmpPanel, 0, 1);
  grid_->addWidget(SpeedPanel, 0, 2);
  if (twoRows)
    grid_->addWidget(RazvPanel, 1, 0, 1, 4);
  else
    grid_->addWidget(RazvPanel, 0, 3);
  // What is left of the row goes to the sweep bounds, or stays empty beside
  // the three groups above them.
  grid_->setColumnStretch(3, 1);
}

void InstrumentPanel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  FitToWidth();
}

void InstrumentPanel::FitToWidth() {
  int oneRow = 0, shown = 0;
  for (QGroupBox* g : {CorrPanel, AmpPanel, SpeedPanel, RazvPanel}) {
    if (g->isHidden()) continue;
    oneRow += g->minimumSizeHint().width();
    ++shown;
  }
  oneRow += (shown - 1) * grid_->horizontalSpacing();
  if ((width() < oneRow) != twoRows_) Arrange(!twoRows_);
}

QWidget* InstrumentPanel::UpDown(const char* name, Qt::Orientation o, void (InstrumentPanel::*up)(),
                                 void (InstrumentPanel::*down)()) {
  auto* w = new QWidget(this);
  w->setObjectName(name);
  auto* box = new QBoxLayout(o == Qt::Vertical ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight, w);
  box->setContentsMargins(0, 0, 0, 0);
  box->setSpacing(0);
  auto* u = new QToolButton(w);
  u->setObjectName(QString(name) + "Up");
  u->setArrowType(o == Qt::Vertical ? Qt::UpArrow : Qt::RightArrow);
  auto* d = new QToolButton(w);
  d->setObjectName(QString(name) + "Down");
  d->setArrowType(o == Qt::Vertical ? Qt::DownArrow : Qt::LeftArrow);
  for (QToolButton* b : {u, d}) b->setFixedSize(Px(17), Px(11));
  box->addWidget(u);
  box->addWidget(d);
  connect(u, &QToolButton::clicked, this, up);
  connect(d, &QToolButton::clicked, this, down);
  return w;
}

void InstrumentPanel::Connect(InstrumentControl& c) {
  connect(AmpBox, &QComboBox::activated, this, [&c](int i) { c.AmpBoxChange(i); });
  connect(this, &InstrumentPanel::AmpUp, this, [&c] { c.UpDnAmpUpClick(); });
  connect(this, &InstrumentPanel::AmpDown, this, [&c] { c.UpDnAmpDownClick(); });
  connect(SpeedBox, &QComboBox::activated, this, [&c](int i) { c.SpeedBoxChange(i); });
  connect(this, &InstrumentPanel::SpeedUp, this, [&c] { c.UpDnRazvUpClick(); });
  connect(this, &InstrumentPanel::SpeedDown, this, [&c] { c.UpDnRazvDownClick(); });
  connect(BotField, &QSpinBox::valueChanged, this, [&c](int v) { c.BotFieldChange(v); });
  connect(TopField, &QSpinBox::valueChanged, this, [&c](int v) { c.TopFieldChange(v); });
  connect(CorrEdit, &QSpinBox::valueChanged, this, [&c](int v) { c.CorrEditChange(v); });
  connect(CorrBar, &QSlider::valueChanged, this, [&c](int p) { c.CorrBarChange(p); });
}

void InstrumentPanel::ShowBounds() {
  const QSignalBlocker b1(BotField), b2(TopField);
  BotField->setValue(s_.PoleMin);
  TopField->setValue(s_.PoleMax);
}

void InstrumentPanel::SelectGain(int index) {
  const QSignalBlocker b(AmpBox);
  AmpBox->setCurrentIndex(index);
}

void InstrumentPanel::SelectSpeed(int index) {
  const QSignalBlocker b(SpeedBox);
  SpeedBox->setCurrentIndex(index);
}

void InstrumentPanel::SetCorrection(int editValue, int barPosition, const QString& text) {
  const QSignalBlocker b1(CorrEdit), b2(CorrBar);
  CorrEdit->setValue(editValue);
  CorrBar->setValue(barPosition);
  CorrEditExt->setText(text);
}

void InstrumentPanel::SetCorrectionHidden(bool hidden) {
  for (QWidget* w : {static_cast<QWidget*>(CorrEdit), static_cast<QWidget*>(CorrEditExt)}) {
    QPalette p = w->palette();
    const QPalette normal = QApplication::palette(w);
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
      p.setColor(g, QPalette::Text, normal.color(g, hidden ? QPalette::Base : QPalette::Text));
    w->setPalette(p);
  }
}

}  // namespace qel
