#include "color_setup_form.h"

#include "dialog_buttons.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include "display/plot_renderer.h"
#include "ui_metrics.h"

namespace qel {

ColorSwatch::ColorSwatch(const QString& name, QWidget* parent) : QFrame(parent) {
  setObjectName(name);
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(1);
  setAutoFillBackground(true);
  setFixedSize(Px(106), Px(21));
  setCursor(Qt::PointingHandCursor);
}

void ColorSwatch::SetValue(std::int32_t bgr) {
  value_ = bgr;
  QPalette pal = palette();
  pal.setColor(QPalette::Window, ToQColor(bgr));
  setPalette(pal);
}

void ColorSwatch::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) emit Clicked();
}

DottedLabel::DottedLabel(const QString& word, QWidget* parent) : QLabel(word, parent), word_(word) {
  setMinimumWidth(fontMetrics().horizontalAdvance(word + "...."));
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void DottedLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  const QFontMetrics fm = fontMetrics();
  QString text = word_;
  const int dot = fm.horizontalAdvance('.');
  if (dot > 0) {
    const int room = contentsRect().width() - fm.horizontalAdvance(word_);
    if (room > 0) text += QString(room / dot, '.');
  }
  setText(text);
}

TColorSetupForm::TColorSetupForm(Settings& s, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), s_(s) {
  setObjectName("ColorSetupForm");
  setWindowTitle("Настройка цветов");
  pages_ = new QTabWidget(this);
  pages_->setObjectName("PageControl1");

  struct Field {
    const char* Word;
    const char* Name;
    std::int32_t ColorSet::*Member;
  };
  static const Field fields[8] = {
      {"Фон", "BackGround", &ColorSet::BackGround},
      {"Окантовка", "Border", &ColorSet::Border},
      {"Основной график", "Graph", &ColorSet::Graph},
      {"Дополнительный график", "Graph2", &ColorSet::AddGraph},
      {"Текст", "Text", &ColorSet::Text},
      {"Второй канал АЦП", "ADC2", &ColorSet::ADC2},
      {"Визир1", "Visir1", &ColorSet::Visir1},
      {"Визир2", "Visir2", &ColorSet::Visir2},
  };
  struct Page {
    const char* Name;
    const char* Caption;
    const char* Prefix;
    ColorSet* Set;
  };
  const Page pages[3] = {{"DispSheet", "Монитор", "", &s_.DisplayColors},
                         {"PrnSheet", "Принтер", "P", &s_.PrinterColors},
                         {"BMPSheet", "Файл BMP", "B", &s_.BMPColors}};
  for (const Page& page : pages) {
    auto* sheet = new QWidget(pages_);
    sheet->setObjectName(page.Name);
    auto* grid = new QGridLayout(sheet);
    grid->setColumnStretch(0, 1);
    for (int i = 0; i < 8; ++i) {
      auto* swatch = new ColorSwatch(QString(page.Prefix) + fields[i].Name, sheet);
      grid->addWidget(new DottedLabel(fields[i].Word, sheet), i, 0);
      grid->addWidget(swatch, i, 1);
      rows_.push_back({swatch, page.Set, fields[i].Member});
      connect(swatch, &ColorSwatch::Clicked, this, [this, swatch] { BackGroundClick(swatch); });
    }
    pages_->addTab(sheet, page.Caption);
  }
  pages_->setTabVisible(2, false);  // the third set passes through unseen
  pages_->setCurrentIndex(1);       // the dialog opens on the printer's page

  clrDlg_ = new QColorDialog(this);
  clrDlg_->setObjectName("ClrDlg");

  QDialogButtonBox* buttons = OkCancelButtons(this, "Отмена", [this] { OkBtnClick(); });

  auto* column = new QVBoxLayout(this);
  column->addWidget(pages_);
  column->addWidget(buttons);
  const QSize hint = sizeHint();
  setFixedSize(std::max(Px(320), hint.width()), std::max(Px(355), hint.height()));
  FormShow();
}

void TColorSetupForm::FormShow() {
  for (const Row& row : rows_) row.Swatch->SetValue(row.Set->*row.Field);
}

void TColorSetupForm::BackGroundClick(ColorSwatch* swatch) {
  clrDlg_->setCurrentColor(ToQColor(swatch->Value()));
  if (clrDlg_->exec() != QDialog::Accepted) return;
  const QColor c = clrDlg_->selectedColor();
  swatch->SetValue(static_cast<std::int32_t>(c.red() | (c.green() << 8) | (c.blue() << 16)));
}

void TColorSetupForm::OkBtnClick() {
  for (const Row& row : rows_) row.Set->*row.Field = row.Swatch->Value();
}

}  // namespace qel
