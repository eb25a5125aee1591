#include "lines_form.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QVBoxLayout>

#include <cmath>
#include <tuple>

#include "model/tables.h"
#include "model/units.h"
#include "processing/spectrum_ops.h"
#include "ui_metrics.h"

namespace qel {

namespace {

enum Column { ColNumber, ColCentre, ColWidth, ColAmp, ColSnr, ColG, ColFlags, ColShape, ColFitCentre, ColFitWidth,
              ColFitAmp, ColChi2, ColFitG, ColumnCount };

}  // namespace

TLinesForm::TLinesForm(Settings& s, const SpectrumStore& store, std::string sep, std::function<void()> saveSettings,
                       QWidget* parent)
    : QDialog(parent), s_(s), store_(store), sep_(std::move(sep)), saveSettings_(std::move(saveSettings)) {
  setObjectName("LinesForm");
  setWindowTitle("Параметры линий");
  setModal(false);
  pool_.setMaxThreadCount(1);

  auto* top = new QHBoxLayout;
  auto* frequencyLabel = new QLabel("Частота СВЧ, ГГц:", this);
  frequency_ = new QLineEdit(this);
  frequency_->setObjectName("FrequencyEdit");
  frequency_->setPlaceholderText("например, " + Number(9.4, 1));
  frequency_->setMaximumWidth(Px(110));
  if (s_.MWFrequency > 0)
    frequency_->setText(QString::number(s_.MWFrequency, 'g', 10).replace('.', QString::fromStdString(sep_)));
  frequencyLabel->setBuddy(frequency_);
  auto* fitLabel = new QLabel("Подгонка формы:", this);
  fit_ = new QComboBox(this);
  fit_->setObjectName("FitBox");
  fit_->addItems({"нет", "лоренц", "гаусс", "авто"});
  fitLabel->setBuddy(fit_);
  top->addWidget(frequencyLabel);
  top->addWidget(frequency_);
  top->addSpacing(Px(16));
  top->addWidget(fitLabel);
  top->addWidget(fit_);
  top->addStretch(1);

  table_ = new QTableWidget(0, ColumnCount, this);
  table_->setObjectName("LinesTable");
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->verticalHeader()->hide();
  table_->setMinimumSize(Px(900), Px(160));

  range_ = new QLabel(this);
  range_->setObjectName("RangeLbl");
  follow_.setSingleShot(true);
  follow_.setInterval(FollowMs);
  connect(&follow_, &QTimer::timeout, this, [this] { Refresh(); });

  status_ = new QLabel(this);
  status_->setObjectName("StatusLbl");
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* buttons = new QHBoxLayout;
  auto* refresh = new QPushButton("Обновить", this);
  refresh->setObjectName("RefreshBtn");
  auto* copy = new QPushButton("Копировать", this);
  copy->setObjectName("CopyBtn");
  copy->setToolTip("Таблица в буфер обмена, столбцы через табуляцию");
  auto* close = new QPushButton("Закрыть", this);
  close->setObjectName("CloseBtn");
  buttons->addWidget(status_, 1);
  buttons->addWidget(refresh);
  buttons->addWidget(copy);
  buttons->addWidget(close);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(range_);
  layout->addWidget(table_, 1);
  layout->addLayout(buttons);

  auto copyAll = [this] { QApplication::clipboard()->setText(TableText()); };
  connect(copy, &QPushButton::clicked, this, copyAll);
  auto* shortcut = new QShortcut(QKeySequence::Copy, table_);
  connect(shortcut, &QShortcut::activated, this, copyAll);
  connect(refresh, &QPushButton::clicked, this, [this] { Refresh(); });
  connect(close, &QPushButton::clicked, this, &QDialog::close);
  connect(frequency_, &QLineEdit::editingFinished, this, [this] { FrequencyEdited(); });
  connect(fit_, &QComboBox::currentIndexChanged, this, [this] { Refresh(); });
  Render();
}

TLinesForm::~TLinesForm() {
  // The frequency's box loses the focus while QWidget takes the form down and
  // says its editing finished: by then this object is only a QDialog.
  disconnect(frequency_, nullptr, this, nullptr);
  disconnect(fit_, nullptr, this, nullptr);
  // A result queued to this form is dropped with it; the thread must not
  // outlive the form it reports to.
  pool_.waitForDone();
}

void TLinesForm::Refresh() {
  follow_.stop();
  Job job;
  std::tie(job.From, job.To) = ViewRange();
  startedFrom_ = job.From;
  startedTo_ = job.To;
  PointsOf(store_.CurrentSpectrum, static_cast<std::uint16_t>(job.From), static_cast<std::uint16_t>(job.To), job.X,
           job.Y);
  job.Fit = static_cast<FitChoice>(std::clamp(fit_->currentIndex(), 0, 3));
  // A loaded spectrum says how it was taken; one under way is taken with
  // the settings in force.
  const RecordedParameters records = ReadParameters(store_.CurrentSpectrum);
  job.Options = SearchOptionsOf(records);
  if (!records.ValidSpeed) {
    job.Options.SampleCodes = SpeedTable[static_cast<std::size_t>(UsedRapid(s_))].Step;
    job.Options.FilterConstant = s_.EnableRTLPF ? UsedConst(s_.RTLPFConst) : 0;
  }
  job.Field = s_.RazvUnits[3];
  const bool codes = s_.AmpUnit == 0 || s_.AmpUnit > 1;
  job.Amp = s_.AmpUnits[codes ? 0 : 1];
  job.AmpName = codes ? QString("отсч") : QString::fromStdString(job.Amp.Name);
  job.GainFactor = GainTable[static_cast<std::size_t>(UsedAmplifying(s_))].Factor;
  Start(std::move(job));
}

void TLinesForm::PassEnded() {
  if (!isVisible()) return;
  // The first pass start of a run finds nothing yet: the table keeps what it shows.
  if (DataRange(store_.CurrentSpectrum).Empty) return;
  Refresh();
}

std::pair<int, int> TLinesForm::ViewRange() const {
  return {std::clamp<std::int32_t>(std::min(s_.ViewMin, s_.ViewMax), 0, 65535),
          std::clamp<std::int32_t>(std::max(s_.ViewMin, s_.ViewMax), 0, 65535)};
}

void TLinesForm::ViewChanged() {
  if (!isVisible()) return;
  if (ViewRange() == std::pair{startedFrom_, startedTo_}) {
    follow_.stop();  // back where it was
    return;
  }
  follow_.start();
}

void TLinesForm::Start(Job job) {
  if (busy_) {
    pending_ = std::move(job);  // only the newest waits
    return;
  }
  busy_ = true;
  status_->setText("Поиск линий…");
  auto shown = std::make_shared<Shown>();
  shown->Units = job;
  shown->Units.X.clear();
  shown->Units.Y.clear();
  pool_.start([this, shown, job = std::move(job)]() mutable {
    shown->Result = AnalyseLines(std::move(job.X), std::move(job.Y), job.Fit, job.Options);
    QMetaObject::invokeMethod(this, [this, shown] { Finished(shown); }, Qt::QueuedConnection);
  });
}

void TLinesForm::Finished(std::shared_ptr<Shown> shown) {
  busy_ = false;
  last_ = std::move(shown);
  Render();
  if (pending_) {
    Job next = std::move(*pending_);
    pending_.reset();
    Start(std::move(next));
  }
  emit Updated();
}

QString TLinesForm::Number(double v, int decimals) const {
  QString text = QString::number(v, 'f', std::clamp(decimals, 0, 12));
  return text.replace('.', QString::fromStdString(sep_));
}

QString TLinesForm::Significant(double v, int digits) const {
  if (v == 0 || !std::isfinite(v)) return Number(v, 0);
  return Number(v, digits - 1 - static_cast<int>(std::floor(std::log10(std::fabs(v)))));
}

// The error to two significant digits, the value to the same place.
QString TLinesForm::WithError(double v, double e) const {
  if (!std::isfinite(e) || e <= 0) return Number(v, 6);
  const int decimals = 1 - static_cast<int>(std::floor(std::log10(e)));
  return Number(v, decimals) + " ± " + Number(e, decimals);
}

void TLinesForm::Render() {
  const QString amp = last_ ? last_->Units.AmpName : QString("отсч");
  table_->setHorizontalHeaderLabels({"№", "H0, Э", "ΔHpp, Э", "A, " + amp, "S/N", "g", "Признаки", "Форма",
                                     "H0 подгонки, Э", "ΔHpp подгонки, Э", "A подгонки, " + amp, "χ²",
                                     "g подгонки"});
  table_->setRowCount(0);
  if (!last_) {
    status_->setText("");
    range_->setText("");
    return;
  }
  const Job& u = last_->Units;
  const LinesResult& r = last_->Result;
  const double k = std::fabs(u.Field.KoeffK);
  auto field = [&](double code) { return u.Field.KoeffK * code + u.Field.KoeffB; };
  auto amplitude = [&](double codes) { return u.Amp.KoeffK * codes / u.GainFactor; };
  const double ghz = s_.MWFrequency;
  auto g = [&](double oe) { return 714.4773 * ghz / oe; };
  const int places = k > 0 ? std::max(0, 2 - static_cast<int>(std::floor(std::log10(k)))) : 3;
  const double low = field(u.From), high = field(u.To);
  range_->setText("Диапазон просмотра: " + Number(std::min(low, high), places) + " – " +
                  Number(std::max(low, high), places) + " Э");
  table_->setRowCount(static_cast<int>(r.Search.Lines.size()));
  for (std::size_t i = 0; i < r.Search.Lines.size(); ++i) {
    const FoundLine& l = r.Search.Lines[i];
    const auto row = static_cast<int>(i);
    auto put = [&](int column, const QString& text) { table_->setItem(row, column, new QTableWidgetItem(text)); };
    put(ColNumber, QString::number(row + 1));
    put(ColCentre, Number(field(l.CentreCode), places));
    put(ColWidth, Number(k * l.Width, places));
    put(ColAmp, Significant(amplitude(l.PeakToPeak), 4));
    put(ColSnr, Number(l.Snr, l.Snr < 100 ? 1 : 0));
    const double centre = field(l.CentreCode);
    put(ColG, ghz > 0 && std::isfinite(g(centre)) ? Number(g(centre), 5) : QString());
    QStringList flags;
    if (l.CutLow) flags << "обрезана слева";
    if (l.CutHigh) flags << "обрезана справа";
    if (l.Overlaps) flags << "перекрывается";
    put(ColFlags, flags.join(", "));
    const std::optional<LineFit>& f = r.Fits[i];
    if (!f) {
      const bool few = i < r.Problems.size() && r.Problems[i] == FitProblem::TooFewPoints;
      put(ColShape, u.Fit == FitChoice::None ? QString() : few ? QString("мало точек") : QString("не сошлась"));
      continue;
    }
    put(ColShape, QString(ShapeName(f->Shape)) + (u.Fit == FitChoice::Auto ? " (авто)" : ""));
    if (f->ResidualAboveNoise) put(ColFlags, (flags << "остаток больше шума").join(", "));
    const double fc = field(f->Centre);
    put(ColFitCentre, WithError(fc, k * f->CentreError));
    put(ColFitWidth, WithError(k * f->Width, k * f->WidthError));
    put(ColFitAmp, WithError(amplitude(f->Amplitude), std::fabs(amplitude(f->AmplitudeError))));
    put(ColChi2, Number(f->ReducedChi2, 2));
    if (ghz > 0 && std::isfinite(g(fc))) put(ColFitG, WithError(g(fc), g(fc) * k * f->CentreError / std::fabs(fc)));
  }
  table_->resizeColumnsToContents();
  // Wide enough for every column, as far as the screen allows.
  const int needed = table_->horizontalHeader()->length() + 2 * table_->frameWidth() +
                     (table_->verticalScrollBar()->isVisible() ? table_->verticalScrollBar()->width() : 0) +
                     layout()->contentsMargins().left() + layout()->contentsMargins().right();
  const QRect screen = this->screen() ? this->screen()->availableGeometry() : QRect();
  const int widest = screen.isValid() ? screen.width() - Px(40) : needed;
  if (width() < needed) resize(std::min(needed, widest), height());
  const QString noise = "шум σ = " + Significant(amplitude(r.Search.Sigma), 3) + " " + u.AmpName;
  if (r.X.empty())
    status_->setText("В диапазоне просмотра нет точек");
  else if (r.Search.Lines.empty())
    status_->setText("Линий нет; " + noise);
  else
    status_->setText("Линий: " + QString::number(r.Search.Lines.size()) + "; " + noise);
}

void TLinesForm::FrequencyEdited() {
  QString text = frequency_->text().trimmed();
  text.replace(',', '.');
  const double v = text.isEmpty() ? 0 : ParseFrequency(text.toStdString());
  if (!text.isEmpty() && v <= 0) {
    status_->setText("Частота СВЧ — число больше нуля в гигагерцах, например " + Number(9.4, 1));
    return;
  }
  if (v == s_.MWFrequency) return;
  s_.MWFrequency = v;
  Render();
  if (!saveSettings_) return;
  try {
    saveSettings_();
  } catch (const std::exception& e) {
    status_->setText("Частота не сохранена в настройках: " + QString::fromUtf8(e.what()));
  }
}

QString TLinesForm::TableText() const {
  QStringList lines;
  QStringList header;
  for (int c = 0; c < table_->columnCount(); ++c) header << table_->horizontalHeaderItem(c)->text();
  lines << header.join('\t');
  for (int r = 0; r < table_->rowCount(); ++r) {
    QStringList cells;
    for (int c = 0; c < table_->columnCount(); ++c) {
      const QTableWidgetItem* item = table_->item(r, c);
      cells << (item ? item->text() : QString());
    }
    lines << cells.join('\t');
  }
  return lines.join('\n') + '\n';
}

}  // namespace qel
