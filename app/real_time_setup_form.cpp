#include "real_time_setup_form.h"

#include "dialog_buttons.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStackedLayout>
#include <QVBoxLayout>

#include <algorithm>

#include "ui_metrics.h"

namespace qel {

namespace {
SpinEdit* ConstEdit(const char* name, QWidget* parent) {
  auto* e = new SpinEdit(parent);
  e->setObjectName(name);
  e->setRange(2, 2000);
  return e;
}

QPlainTextEdit* Memo(const char* name, const QStringList& lines, QWidget* parent) {
  auto* m = new QPlainTextEdit(lines.join("\n"), parent);
  m->setObjectName(name);
  m->setReadOnly(true);
  m->setFrameStyle(QFrame::NoFrame);
  m->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m->setLineWrapMode(QPlainTextEdit::NoWrap);  // the lines break where they were written
  QPalette p = m->palette();
  p.setColor(QPalette::Base, p.color(QPalette::Window));
  m->setPalette(p);
  m->hide();
  return m;
}
}  // namespace

TRealTimeSetupForm::TRealTimeSetupForm(Settings& s, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), s_(s) {
  setObjectName("RealTimeSetupForm");
  setWindowTitle("Обработка  при приеме спектров");

  // A group of a switch and its constant: "EnLPF"/"LPFConst", "EnSum"/"SumConst".
  auto group = [this](const char* name, const char* title, const char* checkName, const char* checkText,
                      const char* labelName, const char* labelText, const char* editName, QCheckBox*& check,
                      SpinEdit*& edit) {
    auto* g = new QGroupBox(title, this);
    g->setObjectName(name);
    check = new QCheckBox(checkText, g);
    check->setObjectName(checkName);
    auto* label = new QLabel(labelText, g);
    label->setObjectName(labelName);
    edit = ConstEdit(editName, g);
    auto* grid = new QGridLayout(g);
    grid->addWidget(check, 0, 0, 1, 2);
    grid->addWidget(label, 1, 0);
    grid->addWidget(edit, 1, 1);
    return g;
  };
  QGroupBox* group1 = group("GroupBox1", "Фильтр низких частот", "EnLPF", "Выполнять фильтрацию низких частот при приеме",
                            "Label1", "Постоянная времни фильтра в отсчетах развертки", "LPFConst", enLPF_, lpfConst_);
  QGroupBox* group2 = group("GroupBox2", "Накопление спектров (усреднение по нескольким спектрам)", "EnSum",
                            "Производить накопление спектров", "Label2", "Количество спектров для  усреднения",
                            "SumConst", enSum_, sumConst_);

  auto* panel1 = new QFrame(this);
  panel1->setObjectName("Panel1");
  panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  showFirstBox_ = new QCheckBox("Показывать исходный спектра", panel1);
  showFirstBox_->setObjectName("ShowFirstBox");
  (new QVBoxLayout(panel1))->addWidget(showFirstBox_);

  auto* group3 = new QGroupBox("Справка", this);
  group3->setObjectName("GroupBox3");
  memos_[0] = Memo("Memo1", {"Фильтрация низких частот будет производиться сразу при приеме спектров."}, group3);
  memos_[1] = Memo("Memo2",
                   {"При включенном накоплении спектров, текущий (отображаемый) спектр ",
                    "будет представлять собой не реальный ",
                    "принятый сигнал, а среднее от суммы принятых спектров. Количество ",
                    "спектров, по которым производится усреднение, задается параметром ",
                    "\"Количество спектров для усреднения\"."},
                   group3);
  memos_[2] = Memo("Memo3",
                   {"При установленном флажке вместе с отфильтрованным и/или накопленным ",
                    "спектром будет отображаться исходный спектр."},
                   group3);
  auto* stack = new QStackedLayout(group3);
  stack->setStackingMode(QStackedLayout::StackAll);  // the three in the same place
  for (QPlainTextEdit* m : memos_) stack->addWidget(m);
  for (QPlainTextEdit* m : memos_) m->hide();
  // Room for the longest line and for the five of the longest memo.
  int widest = 0;
  for (QPlainTextEdit* m : memos_)
    for (const QString& line : m->toPlainText().split('\n'))
      widest = std::max(widest, m->fontMetrics().horizontalAdvance(line));
  group3->setMinimumSize(widest + Px(40), memos_[1]->fontMetrics().lineSpacing() * 5 + Px(40));

  // The standard buttons' own texts: "OK" and "Cancel".
  QDialogButtonBox* buttons = OkCancelButtons(this, "Cancel", [this] { OkBtnClick(); });

  auto* column = new QVBoxLayout(this);
  column->addWidget(group1);
  column->addWidget(group2);
  column->addWidget(panel1);
  column->addWidget(group3);
  column->addWidget(buttons);
  column->setSizeConstraint(QLayout::SetFixedSize);

  hoverAreas_[0] = group1;
  hoverAreas_[1] = group2;
  hoverAreas_[2] = panel1;
  for (QWidget* w : hoverAreas_) {
    w->setAttribute(Qt::WA_Hover);
    w->installEventFilter(this);
  }
  connect(enLPF_, &QCheckBox::clicked, this, &TRealTimeSetupForm::EnLPFClick);
  connect(enSum_, &QCheckBox::clicked, this, &TRealTimeSetupForm::EnLPFClick);
  FormShow();
}

void TRealTimeSetupForm::FormShow() {
  enLPF_->setChecked(s_.EnableRTLPF);
  lpfConst_->setValue(s_.RTLPFConst);  // a stored value outside 2..2000 shows as used
  enSum_->setChecked(s_.EnableRTSum);
  sumConst_->setValue(s_.RTNumb);
  showFirstBox_->setChecked(s_.ShowFirst);
  showFirstBox_->setEnabled(s_.EnableRTLPF || s_.EnableRTSum);
}

void TRealTimeSetupForm::EnLPFClick() {
  const bool any = enLPF_->isChecked() || enSum_->isChecked();
  if (!any) showFirstBox_->setChecked(false);
  showFirstBox_->setEnabled(any);
}

void TRealTimeSetupForm::ShowHelp(int memo) {
  for (int i = 0; i < 3; ++i) memos_[i]->setVisible(i == memo);
}

bool TRealTimeSetupForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::HoverEnter || event->type() == QEvent::HoverMove) {
    for (int i = 0; i < 3; ++i)
      if (watched == hoverAreas_[i]) ShowHelp(i);
  }
  return QDialog::eventFilter(watched, event);
}

void TRealTimeSetupForm::OkBtnClick() {
  s_.EnableRTLPF = enLPF_->isChecked();
  s_.RTLPFConst = lpfConst_->TypedValue();
  s_.EnableRTSum = enSum_->isChecked();
  s_.RTNumb = sumConst_->TypedValue();
  s_.ShowFirst = showFirstBox_->isChecked();
}

}  // namespace qel
