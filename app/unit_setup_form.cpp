#include "unit_setup_form.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <cmath>

#include "model/number_format.h"
#include "model/registry_store.h"
#include "model/unit_record.h"
#include "model/units.h"
#include "ui_metrics.h"

namespace qel {

namespace {
template <std::size_t N>
std::vector<QString> Captions(const std::array<std::string_view, N>& list) {
  std::vector<QString> out;
  for (std::string_view c : list) out.push_back(QString::fromUtf8(c.data(), static_cast<qsizetype>(c.size())));
  return out;
}

QString Q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

QValidator::State UnitTextValidator::validate(QString& input, int&) const {
  for (QChar& c : input) {
    // A point or a comma is the decimal separator, whichever the locale has.
    if ((c == '.' || c == ',') && sep_.size() == 1) c = sep_[0];
    const bool ok = (c >= '0' && c <= '9') || c == '-' || c == 'E' || c == 'e' || sep_.contains(c);
    if (!ok) return Invalid;
  }
  return Acceptable;
}

TUnitSetupForm::TUnitSetupForm(Settings& s, std::string sep, std::function<void()> save, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint),
      s_(s),
      sep_(std::move(sep)),
      save_(std::move(save)) {
  setObjectName("UnitSetupForm");
  setWindowTitle("Выбор измеряемых параметров");

  razv_.Title = "Развёртка";
  razv_.Captions = Captions(RazvCaptions);
  razv_.C1 = 0.0f;
  razv_.C2 = 65535.0f;
  amp_.Title = "Спектр";
  amp_.Captions = Captions(AmpCaptions);
  amp_.OwnAnchors = true;
  corr_.Title = "Коррекция";
  corr_.Captions = Captions(CorrCaptions);
  corr_.C1 = -32767.0f;
  corr_.C2 = 32767.0f;
  adc_.Title = "Вход АЦП";
  adc_.Captions = Captions(ADCCaptions);
  adc_.C1 = 0.0f;
  adc_.C2 = 4095.0f;

  pages_ = new QTabWidget(this);
  pages_->setObjectName("UnitPages");
  pages_->addTab(BuildPage(razv_, "Razv",
                           {"Суммарное магнитное поле представляет собой сумму полей электроманита",
                            "и постоянного магнита"}),
                 razv_.Title);
  pages_->addTab(BuildPage(amp_, "Amp", {"Амплитуда спектра на выходе усилителя"}), amp_.Title);
  pages_->addTab(BuildPage(corr_, "Corr", {"Коррекция нуля на входе усилителя"}), corr_.Title);
  pages_->addTab(BuildPage(adc_, "ADC", {"Измеряемый сигнал должен быть подан на \"ВХОД  АЦП\" блока БР"}),
                 adc_.Title);

  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("OKBtn");
  ok->setDefault(true);
  auto* cancel = new QPushButton("Отмена", this);
  cancel->setObjectName("CancelBtn");
  enableBox_ = new QCheckBox("Разрешить изменения", this);
  enableBox_->setObjectName("EnableBox");
  connect(ok, &QPushButton::clicked, this, &TUnitSetupForm::OKBtnClick);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(enableBox_, &QCheckBox::clicked, this, &TUnitSetupForm::EnableBoxClick);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(enableBox_);
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* column = new QVBoxLayout(this);
  column->addWidget(pages_);
  column->addLayout(buttons);
  column->setSizeConstraint(QLayout::SetFixedSize);

  FormShow();
}

QWidget* TUnitSetupForm::BuildPage(Page& page, const char* prefix, const QStringList& notes) {
  auto* w = new QWidget;
  w->setObjectName(QString(prefix) + "Page");
  page.Widget = w;
  auto* group = new QGroupBox(w);
  group->setObjectName(QString(prefix) + "Group");
  page.Choice = new QButtonGroup(group);
  auto* validator = new UnitTextValidator(Q(sep_), this);
  auto* grid = new QGridLayout(group);
  grid->setHorizontalSpacing(Px(8));
  grid->addWidget(new QLabel("Min", group), 0, 1, Qt::AlignHCenter);
  grid->addWidget(new QLabel("Max", group), 0, 2, Qt::AlignHCenter);
  auto edit = [&](const QString& name) {
    auto* e = new QLineEdit(group);
    e->setObjectName(name);
    e->setValidator(validator);
    e->setReadOnly(true);
    e->setFixedWidth(Px(90));
    return e;
  };
  for (std::size_t i = 0; i < page.Captions.size(); ++i) {
    const int row = static_cast<int>(i) + 1;
    auto* radio = new QRadioButton(page.Captions[i], group);
    radio->setObjectName(QString("%1Choice%2").arg(prefix).arg(i));
    page.Choice->addButton(radio, static_cast<int>(i));
    page.Mins.push_back(edit(QString("%1Min%2").arg(prefix).arg(i)));
    page.Maxs.push_back(edit(QString("%1Max%2").arg(prefix).arg(i)));
    QLabel* name = nullptr;
    if (i > 0) {
      name = new QLabel(group);
      name->setObjectName(QString("%1Lbl%2").arg(prefix).arg(i));
      name->setMinimumWidth(Px(30));
    }
    page.Names.push_back(name);
    grid->addWidget(radio, row, 0);
    grid->addWidget(page.Mins.back(), row, 1);
    grid->addWidget(page.Maxs.back(), row, 2);
    if (name) grid->addWidget(name, row, 3);
  }
  grid->setColumnMinimumWidth(3, Px(30));

  auto* column = new QVBoxLayout(w);
  column->addWidget(group);
  for (const QString& text : notes) {
    auto* note = new QLabel(text, w);
    note->setObjectName(QString(prefix) + "Note");
    column->addWidget(note);
  }
  column->addStretch(1);
  return w;
}

void TUnitSetupForm::FormShow() {
  const UnitDialogTexts t = UnitDialogTextsFrom(s_, sep_);
  auto fill = [](Page& p, const auto& mins, const auto& maxs, const auto& units, int selected) {
    for (std::size_t i = 0; i < p.Mins.size(); ++i) {
      p.Mins[i]->setText(Q(mins[i]));
      p.Maxs[i]->setText(Q(maxs[i]));
      if (p.Names[i]) p.Names[i]->setText(Q(units[i].Name));
    }
    if (QAbstractButton* b = p.Choice->button(selected)) b->setChecked(true);
  };
  fill(razv_, t.RazvMin, t.RazvMax, s_.RazvUnits, t.RazvUnit);
  fill(amp_, t.AmpMin, t.AmpMax, s_.AmpUnits, t.AmpUnit);
  fill(corr_, t.CorrMin, t.CorrMax, s_.CorrUnits, t.CorrUnit);
  fill(adc_, t.ADCMin, t.ADCMax, s_.ADCUnits, t.ADCUnit);
}

void TUnitSetupForm::EnableBoxClick() {
  locked_ = !enableBox_->isChecked();
  if (enableBox_->isChecked()) {
    QMessageBox ask(QMessageBox::Question, "Подтверждение",
                    "Вы уверены в том, что хотите изменить калибровочные параметры?",
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
    ask.setObjectName("EnableQuestion");
    ask.button(QMessageBox::Yes)->setText("Да");
    ask.button(QMessageBox::No)->setText("Нет");
    ask.button(QMessageBox::Cancel)->setText("Отмена");
    if (ask.exec() != QMessageBox::Yes) locked_ = true;
    enableBox_->setChecked(!locked_);
  }
  for (Page* p : {&razv_, &amp_, &corr_, &adc_})
    for (std::size_t i = 0; i < p->Mins.size(); ++i) {
      p->Mins[i]->setReadOnly(locked_);
      p->Maxs[i]->setReadOnly(locked_);
    }
}

void TUnitSetupForm::Refuse(const Page& page, QLineEdit* field, const QString& text) {
  pages_->setCurrentWidget(page.Widget);
  QMessageBox box(QMessageBox::Warning, "КЕЛ", text, QMessageBox::Ok, this);
  box.setObjectName("UnitErrorBox");
  box.exec();
  field->setFocus();
  field->selectAll();
}

bool TUnitSetupForm::CheckTexts() {
  auto where = [](const Page& p, std::size_t row, bool max) {
    return QString("Страница \"%1\", строка \"%2\", поле %3")
        .arg(p.Title, p.Captions[row], max ? QString("Max") : QString("Min"));
  };
  // Every text is a number: the first that is not is named.
  for (Page* p : {&razv_, &amp_, &corr_, &adc_}) {
    for (std::size_t i = 0; i < p->Mins.size(); ++i)
      for (bool max : {false, true}) {
        QLineEdit* e = max ? p->Maxs[i] : p->Mins[i];
        try {
          ParseFloat(e->text().toStdString(), sep_);
        } catch (const ConvertError& err) {
          Refuse(*p, e, where(*p, i, max) + ": " + QString::fromUtf8(err.what()));
          return false;
        }
      }
  }
  // Every unit calibrates: anchors that coincide (or cannot be used) are
  // those of row 0, on which the other rows hang.
  for (Page* p : {&razv_, &amp_, &corr_, &adc_}) {
    auto value = [&](QLineEdit* e) { return ParseFloat(e->text().toStdString(), sep_); };
    const float a1 = static_cast<float>(value(p->Mins[0]));
    const float a2 = static_cast<float>(value(p->Maxs[0]));
    for (std::size_t i = 0; i < p->Mins.size(); ++i) {
      UnitRecord u;
      u.X1 = value(p->Mins[i]);
      u.X2 = value(p->Maxs[i]);
      const bool onRow0 = i > 0 || p->OwnAnchors;
      if (Calibrate(u, onRow0 ? a1 : p->C1, onRow0 ? a2 : p->C2)) continue;
      const bool badAnchors = onRow0 && (!std::isfinite(a1) || !std::isfinite(a2) || a1 == a2);
      if (badAnchors && a1 == a2) {
        Refuse(*p, p->Maxs[0],
               QString("Страница \"%1\", строка \"%2\": значения Min и Max совпадают, калибровка невозможна. "
                       "Задайте разные значения Min и Max")
                   .arg(p->Title, p->Captions[0]));
      } else {
        const std::size_t row = badAnchors ? 0 : i;
        Refuse(*p, p->Maxs[row],
               QString("Страница \"%1\", строка \"%2\": значения Min и Max слишком велики, калибровка невозможна")
                   .arg(p->Title, p->Captions[row]));
      }
      return false;
    }
  }
  return true;
}

void TUnitSetupForm::OKBtnClick() {
  if (!CheckTexts()) return;
  UnitDialogTexts t;
  auto take = [](const Page& p, auto& mins, auto& maxs, int& selected) {
    for (std::size_t i = 0; i < p.Mins.size(); ++i) {
      mins[i] = p.Mins[i]->text().toStdString();
      maxs[i] = p.Maxs[i]->text().toStdString();
    }
    selected = p.Choice->checkedId() < 0 ? 0 : p.Choice->checkedId();
  };
  take(razv_, t.RazvMin, t.RazvMax, t.RazvUnit);
  take(amp_, t.AmpMin, t.AmpMax, t.AmpUnit);
  take(corr_, t.CorrMin, t.CorrMax, t.CorrUnit);
  take(adc_, t.ADCMin, t.ADCMax, t.ADCUnit);
  try {
    ApplyUnitDialog(s_, t, sep_);  // all of it, or (anchors) nothing
  } catch (const std::exception& e) {
    // Not reached after the check above; should it be, nothing has changed.
    QMessageBox box(QMessageBox::Warning, "КЕЛ", QString::fromUtf8(e.what()), QMessageBox::Ok, this);
    box.setObjectName("UnitErrorBox");
    box.exec();
    return;
  }
  if (!locked_ && save_) {
    try {
      save_();
    } catch (const RegistryError& e) {
      saveError_ = "Настройки не сохранены: " + QString::fromUtf8(e.what());
      if (!e.Detail().empty()) saveError_ += "\n" + QString::fromStdString(e.Detail());
    } catch (const std::exception& e) {
      saveError_ = "Настройки не сохранены: " + QString::fromUtf8(e.what());
    }
  }
  accept();
}

}  // namespace qel
