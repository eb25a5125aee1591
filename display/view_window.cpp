#include "view_window.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdlib>

#include "arrow_spin_box.h"
#include "model/units.h"

namespace qel {

namespace {
constexpr int kMinViewTop = 65007;   // 65519 - 512
constexpr int kMaxViewBottom = 512;
constexpr int kMinSelection = 512;
constexpr QRgb kViewBand = 0xFFA6CAF0;   // 0xF0CAA6 as 0x00BBGGRR: light sky blue
constexpr QRgb kBoundsBand = 0xFFFF00FF; // magenta
}  // namespace

ViewWindow::ViewWindow(Settings& s, const SpectrumStore& store, const RunValues& run, std::string sep,
                       QWidget* parent)
    : QWidget(parent), s_(s), store_(store), run_(run), sep_(std::move(sep)) {
  setObjectName("ViewWindow");
  screenBox_ = new ScreenBox(s_, store_, run_, sep_, this);
  BuildControls();
  v1_ = Visir{1, &s_.Visir1, &s_.VisKoord1, &ColorSet::Visir1, aVisir1_, nullptr, nullptr, nullptr, nullptr};
  v2_ = Visir{2, &s_.Visir2, &s_.VisKoord2, &ColorSet::Visir2, aVisir2_, nullptr, nullptr, nullptr, nullptr};
  for (Visir* v : {&v1_, &v2_}) {
    const QString n = QString::number(v->index);
    v->panel = findChild<QFrame*>("VisPan" + n);
    v->krd = findChild<QLineEdit*>("VisKrd" + n);
    v->ord = findChild<QLineEdit*>("VisOrd" + n);
    v->stepper = findChild<QSpinBox*>("LRVis" + n);
    v->code = *v->koord;
    v->action->setChecked(*v->on);
    v->panel->setVisible(*v->on);
    connect(v->stepper, &QSpinBox::valueChanged, this, [this, v](int n) {
      // LRVisChangingEx: a click on the stepper moves the cursor by one code.
      // The stepper shows code 65535 at its end, 65534: a step is taken from
      // the position shown, not from the code it stands for.
      const int shown = std::clamp(static_cast<int>(v->code) - 32767, -32767, 32767);
      if (n != shown) PlaceVisir(*v, static_cast<std::uint16_t>(v->code + (n - shown)));
    });
  }

  screenBox_->SetCursorPlacer([this] {
    if (s_.Visir1) PlaceVisir1(s_.VisKoord1);
    if (s_.Visir2) PlaceVisir2(s_.VisKoord2);
  });
  connect(screenBox_, &ScreenBox::BackgroundDrawn, this, [this] {
    visShownX1_ = -1;
    visShownX2_ = -1;
  });
  connect(screenBox_, &ScreenBox::MousePressed, this, &ViewWindow::ScreenBoxMouseDown);
  connect(screenBox_, &ScreenBox::MouseMoved, this, &ViewWindow::ScreenBoxMouseMove);
  connect(screenBox_, &ScreenBox::MouseReleased, this, &ViewWindow::ScreenBoxMouseUp);
}

void ViewWindow::BuildControls() {
  auto action = [this](const char* name, const QString& text, const QString& hint = {}) {
    auto* a = new QAction(text, this);
    a->setObjectName(name);
    if (!hint.isEmpty()) a->setToolTip(hint);
    addAction(a);
    return a;
  };
  aAllView_ = action("AAllView", "Показать весь спектр");
  aIncScale_ = action("AIncScale", "Увеличить масштаб ординаты");
  aDecScale_ = action("ADecScale", "Уменьшить масштаб ординаты");
  aResetDiap_ = action("AResetDiap", "Расширить диапазон перестройки", "Расширить диапазон пересройки до максимума");
  aMouseSelect_ = action("AMouseSelect", "Определить  мышью", "Определить границы мышью");
  aMouseSelect_->setCheckable(true);
  aVisir1_ = action("AVisir1", "Визир 1");
  aVisir1_->setCheckable(true);
  aVisir2_ = action("AVisir2", "Визир 2");
  aVisir2_->setCheckable(true);
  aStandVisir_ = action("AStandVisir", "Установить визиры");
  aRepaint_ = action("ARepaint", "Перерисовать");
  // The toggling of the cursor actions is done by their handlers.
  connect(aAllView_, &QAction::triggered, this, &ViewWindow::AAllViewExecute);
  connect(aIncScale_, &QAction::triggered, this, &ViewWindow::AIncScaleExecute);
  connect(aDecScale_, &QAction::triggered, this, &ViewWindow::ADecScaleExecute);
  connect(aResetDiap_, &QAction::triggered, this, &ViewWindow::AResetDiapExecute);
  connect(aMouseSelect_, &QAction::toggled, this, [this] { UpdatePlotCursor(); });
  connect(aVisir1_, &QAction::triggered, this, [this] {
    aVisir1_->setChecked(!aVisir1_->isChecked());  // undo Qt's own toggle: the handler toggles
    AVisir1Execute();
  });
  connect(aVisir2_, &QAction::triggered, this, [this] {
    aVisir2_->setChecked(!aVisir2_->isChecked());
    AVisir2Execute();
  });
  connect(aStandVisir_, &QAction::triggered, this, &ViewWindow::AStandVisirExecute);
  connect(aRepaint_, &QAction::triggered, this, [this] { screenBox_->ScreenBoxPaint(); });

  screenMenu_ = new QMenu(this);
  screenMenu_->setObjectName("ScreenMenu");
  screenMenu_->addAction(aStandVisir_);
  screenMenu_->addAction(aVisir1_);
  screenMenu_->addAction(aVisir2_);
  screenMenu_->addSeparator();
  screenMenu_->addAction(aAllView_);
  screenMenu_->addSeparator();
  screenMenu_->addAction(aRepaint_);
  screenBox_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(screenBox_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) {
            // The menu takes the mouse, and with it the release that would end a
            // drag or a selection: end it here.
            mouseMode_ = 0;
            UpdatePlotCursor();
            screenMenu_->popup(screenBox_->mapToGlobal(at));
          });

  auto spin = [this](const char* name, int lo, int hi, const QString& hint) {
    auto* b = new ArrowSpinBox(Qt::Vertical, this);
    b->setObjectName(name);
    b->setRange(lo, hi);
    b->setSingleStep(10);
    b->setToolTip(hint);
    return b;
  };
  minView_ = spin("MinView", 0, kMinViewTop, "Нижняя граница отображения");
  maxView_ = spin("MaxView", kMaxViewBottom, 65519, "Верхняя граница отображения");
  maxView_->setValue(65519);
  connect(minView_, &QSpinBox::valueChanged, this, &ViewWindow::MinViewChange);
  connect(maxView_, &QSpinBox::valueChanged, this, &ViewWindow::MaxViewChange);
  auto readOnly = [this](const char* name, const QString& hint = {}) {
    auto* e = new QLineEdit(this);
    e->setObjectName(name);
    e->setReadOnly(true);
    if (!hint.isEmpty()) e->setToolTip(hint);
    return e;
  };
  minViewExt_ = readOnly("MinViewExt");
  maxViewExt_ = readOnly("MaxViewExt");

  ordScaleBtn_ = new QWidget(this);
  ordScaleBtn_->setObjectName("OrdScaleBtn");
  ordScaleBtn_->setToolTip("Изменение масштаба по ординате");
  auto* ordLayout = new QVBoxLayout(ordScaleBtn_);
  ordLayout->setContentsMargins(0, 0, 0, 0);
  ordLayout->setSpacing(0);
  auto* up = new QToolButton(ordScaleBtn_);
  up->setDefaultAction(aIncScale_);
  up->setArrowType(Qt::UpArrow);
  auto* down = new QToolButton(ordScaleBtn_);
  down->setDefaultAction(aDecScale_);
  down->setArrowType(Qt::DownArrow);
  for (QToolButton* b : {up, down}) b->setFixedSize(20, 13);
  ordLayout->addWidget(up);
  ordLayout->addWidget(down);

  allBtn_ = new QToolButton(this);
  allBtn_->setObjectName("AllBtn");
  allBtn_->setDefaultAction(aAllView_);
  allBtn_->setText("↔");
  scaleBtn_ = new QToolButton(this);
  scaleBtn_->setObjectName("ScaleBtn");
  scaleBtn_->setCheckable(true);
  scaleBtn_->setText("⇤⇥");
  scaleBtn_->setToolTip("Задать масштаб по оси абсцисс");
  connect(scaleBtn_, &QToolButton::clicked, this, [this] { UpdatePlotCursor(); });
  setRazvBtn_ = new QToolButton(this);
  setRazvBtn_->setObjectName("SetRazvBtn");
  setRazvBtn_->setDefaultAction(aMouseSelect_);

  auto* horz = new QScrollBar(Qt::Horizontal, this);
  horz->setObjectName("HorzScrollBar");
  horz->setEnabled(false);
  auto* vert = new QScrollBar(Qt::Vertical, this);
  vert->setObjectName("VertScrollBar");
  vert->setEnabled(false);

  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setSpacing(2);
  grid->addWidget(screenBox_, 0, 0, 1, 3);
  grid->addWidget(vert, 0, 3);
  grid->addWidget(horz, 1, 0, 1, 1);
  grid->addWidget(allBtn_, 1, 1);
  grid->addWidget(scaleBtn_, 1, 2);
  grid->setRowStretch(0, 1);
  grid->setColumnStretch(0, 1);

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(minView_);
  bottom->addWidget(minViewExt_);
  bottom->addStretch(1);
  for (int n = 1; n <= 2; ++n) {
    auto* panel = new QFrame(this);
    panel->setObjectName(QString("VisPan%1").arg(n));
    panel->setFrameShape(QFrame::StyledPanel);
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(2, 2, 2, 2);
    row->addWidget(new QLabel(QString("Визир%1").arg(n), panel));
    auto* krd = new QLineEdit(panel);
    krd->setObjectName(QString("VisKrd%1").arg(n));
    krd->setReadOnly(true);
    auto* ord = new QLineEdit(panel);
    ord->setObjectName(QString("VisOrd%1").arg(n));
    ord->setReadOnly(true);
    auto* stepper = new ArrowSpinBox(Qt::Horizontal, panel);
    stepper->setObjectName(QString("LRVis%1").arg(n));
    stepper->setRange(-32767, 32767);
    stepper->setWrapping(false);
    row->addWidget(krd);
    row->addWidget(ord);
    row->addWidget(stepper);
    bottom->addWidget(panel);
  }
  bottom->addStretch(1);
  bottom->addWidget(setRazvBtn_);
  bottom->addWidget(ordScaleBtn_);
  bottom->addWidget(maxViewExt_);
  bottom->addWidget(maxView_);
  grid->addLayout(bottom, 2, 0, 1, 4);
}

long ViewWindow::CodeAtX(int x) const {
  // Without a view there is no scale: the mouse reads the lower bound.
  return screenBox_->Scales().CodeAt(x).value_or(s_.ViewMin);
}

QString ViewWindow::Amplitude(std::int32_t a) const { return QString::fromStdString(FormatAmplitude(s_, a, sep_)); }

void ViewWindow::ShowSettings() {
  {
    const QSignalBlocker b1(minView_), b2(maxView_);
    minView_->setValue(s_.ViewMin);
    maxView_->setValue(s_.ViewMax);
  }
  MinViewChange(minView_->value());
  MaxViewChange(maxView_->value());
}

void ViewWindow::SetViewBound(bool upper, int code) { (upper ? maxView_ : minView_)->setValue(code); }

void ViewWindow::SetVisirText(int visir, const QString& text) { (visir == 1 ? v1_ : v2_).ord->setText(text); }

void ViewWindow::MinViewChange(int value) {
  s_.ViewMin = value;
  minViewExt_->setText(QString::fromStdString(FormatField(s_, static_cast<std::uint16_t>(value), sep_)));
  screenBox_->ScreenBoxPaint();
  emit ViewChanged();
}

void ViewWindow::MaxViewChange(int value) {
  s_.ViewMax = value;
  maxViewExt_->setText(QString::fromStdString(FormatField(s_, static_cast<std::uint16_t>(value), sep_)));
  screenBox_->ScreenBoxPaint();
  emit ViewChanged();
}

void ViewWindow::AAllViewExecute() {
  s_.OrdScale = 0;
  minView_->setValue(0);
  maxView_->setValue(65519);
}

void ViewWindow::AIncScaleExecute() {
  if (s_.OrdScale >= 6) return;
  ++s_.OrdScale;
  screenBox_->ScreenBoxPaint();
  emit ViewChanged();
}

void ViewWindow::ADecScaleExecute() {
  if (s_.OrdScale == 0) return;
  --s_.OrdScale;
  screenBox_->ScreenBoxPaint();
  emit ViewChanged();
}

void ViewWindow::AResetDiapExecute() { emit SweepBoundsRequested(0, 65519); }

void ViewWindow::SyncCursorXs() { screenBox_->SetCursorXs(visX1_, visX2_); }

void ViewWindow::PlaceVisir1(std::uint16_t code) { PlaceVisir(v1_, code); }
void ViewWindow::PlaceVisir2(std::uint16_t code) { PlaceVisir(v2_, code); }

void ViewWindow::PlaceVisir(Visir& v, std::uint16_t code) {
  v.code = code;
  *v.koord = code;
  {
    // Set by the program: the stepper's handler must not run (it would place
    // the cursor again). Code 65535 shows the stepper at its end.
    const QSignalBlocker block(v.stepper);
    v.stepper->setValue(static_cast<int>(code) - 32767);
  }
  v.krd->setText(QString::fromStdString(FormatField(s_, code, sep_)));
  const std::uint16_t value = store_.CurrentSpectrum[code].Value;
  v.ord->setText(value > MaxValidValue ? QString("<НЕТ>") : Amplitude(value - ZeroLine));
  ShowDeltaH();
  const std::int32_t color = s_.DisplayColors.*v.color;
  if (!screenBox_->Scales().HasView() || code < s_.ViewMin || code > s_.ViewMax) {
    if (v.shownX != -1) screenBox_->ToggleVisirLine(v.shownX, color);
    v.shownX = -1;
    v.x = -1;
    SyncCursorXs();
    return;
  }
  v.x = screenBox_->Scales().X(code);
  if (v.shownX == -1) {
    screenBox_->ToggleVisirLine(v.x, color);
  } else if (v.shownX != v.x) {
    screenBox_->ToggleVisirLine(v.shownX, color);
    screenBox_->ToggleVisirLine(v.x, color);
  }
  v.shownX = v.x;
  SyncCursorXs();
}

void ViewWindow::ShowDeltaH() {
  if (!(s_.Visir1 && s_.Visir2)) return;
  Settings units = s_;
  if (units.RazvUnit == 3) units.RazvUnit = 2;  // a distance, not an absolute field
  const auto delta = static_cast<std::uint16_t>(std::abs(static_cast<int>(v1_.code) - static_cast<int>(v2_.code)));
  emit StatusText(7, "dH=" + QString::fromStdString(FormatField(units, delta, sep_)));
}

void ViewWindow::ToggleVisir(Visir& v) {
  const bool on = !v.action->isChecked();
  v.action->setChecked(on);
  *v.on = on;
  v.panel->setVisible(on);
  if (on) {
    if (!(s_.ViewMin < *v.koord && *v.koord < s_.ViewMax)) {
      const int middle = (s_.ViewMin + s_.ViewMax) / 2;
      *v.koord = static_cast<std::uint16_t>(v.index == 1 ? middle - 120 : middle + 120);
    }
    PlaceVisir(v, *v.koord);
  } else {
    if (v.shownX != -1) screenBox_->ToggleVisirLine(v.shownX, s_.DisplayColors.*v.color);
    v.x = -1;
    v.shownX = -1;
    SyncCursorXs();
  }
}

void ViewWindow::AVisir1Execute() { ToggleVisir(v1_); }
void ViewWindow::AVisir2Execute() { ToggleVisir(v2_); }

void ViewWindow::AStandVisirExecute() {
  aVisir1_->setChecked(false);
  aVisir2_->setChecked(false);
  AVisir1Execute();
  AVisir2Execute();
}

void ViewWindow::UpdatePlotCursor() {
  const bool armed = scaleBtn_->isChecked() || aMouseSelect_->isChecked();
  screenBox_->setCursor(armed ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

bool ViewWindow::NearLine(const Visir& v, int x) const {
  // A cursor whose line is not on the plot (off the view, or at the view's
  // top, one column beyond the last) cannot be grabbed.
  return *v.on && v.x >= 0 && v.x < screenBox_->Image().width() && std::abs(x - v.x) < 4;
}

void ViewWindow::ScreenBoxMouseDown(int x) {
  selStart_ = CodeAtX(x);
  lastMouseX_ = x;
  if (NearLine(v1_, x)) mouseMode_ = 1;
  if (NearLine(v2_, x)) mouseMode_ = 2;
  if (scaleBtn_->isChecked()) {
    mouseMode_ = 3;
    aMouseSelect_->setChecked(false);
  }
  if (aMouseSelect_->isChecked()) mouseMode_ = 4;
}

void ViewWindow::ScreenBoxMouseMove(int x) {
  mouseCode_ = CodeAtX(x);
  emit StatusText(3, "ПОЛЕ: " + QString::fromStdString(FormatField(s_, static_cast<std::uint16_t>(mouseCode_), sep_)));
  const bool inside = mouseCode_ >= 0 && mouseCode_ <= 65535;
  const std::uint16_t value = inside ? store_.CurrentSpectrum[static_cast<std::size_t>(mouseCode_)].Value : EmptyValue;
  emit StatusText(4, value > MaxValidValue ? QString("<НЕТ>") : "АМПЛ: " + Amplitude(value - ZeroLine));
  switch (mouseMode_) {
    case 0: {
      if (screenBox_->cursor().shape() == Qt::PointingHandCursor) break;
      const bool near = NearLine(v1_, x) || NearLine(v2_, x);
      screenBox_->setCursor(near ? Qt::SplitHCursor : Qt::ArrowCursor);
      break;
    }
    case 1:
      // Past the plot's edges the code wraps in 16 bits, as the cursor code does.
      PlaceVisir1(static_cast<std::uint16_t>(mouseCode_));
      break;
    case 2:
      PlaceVisir2(static_cast<std::uint16_t>(mouseCode_));
      break;
    default:
      screenBox_->MergeColumns(std::min(lastMouseX_, x), std::max(lastMouseX_, x),
                               mouseMode_ == 3 ? kViewBand : kBoundsBand);
      lastMouseX_ = x;
      break;
  }
}

void ViewWindow::ScreenBoxMouseUp(int x) {
  selEnd_ = std::max(CodeAtX(x), 0L);
  if (selStart_ > selEnd_) std::swap(selStart_, selEnd_);
  if (selEnd_ - selStart_ < kMinSelection) {
    if (selStart_ + kMinSelection < 65535) {
      selEnd_ = selStart_ + kMinSelection;
    } else {
      selStart_ = selEnd_ - kMinSelection;
    }
  }
  if (scaleBtn_->isChecked()) {
    scaleBtn_->setChecked(false);
    minView_->setValue(static_cast<int>(selStart_));
    maxView_->setValue(static_cast<int>(selEnd_));
  }
  if (aMouseSelect_->isChecked()) {
    emit SweepBoundsRequested(static_cast<int>(selStart_), static_cast<int>(selEnd_));
    aMouseSelect_->setChecked(false);
  }
  mouseMode_ = 0;
  screenBox_->setCursor(Qt::ArrowCursor);
}

}  // namespace qel
