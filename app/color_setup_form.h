#pragma once
// "Настройка цветов": the colours of the screen, the printed sheet and a
// third set whose page is hidden. Picks live in the swatches until OK.

#include <QColorDialog>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QTabWidget>

#include <vector>

#include "model/settings.h"

namespace qel {

// A lowered panel showing one colour; a click asks for another.
class ColorSwatch : public QFrame {
  Q_OBJECT
 public:
  ColorSwatch(const QString& name, QWidget* parent);
  // The value as the settings hold it (0x00BBGGRR), kept whole until a pick.
  std::int32_t Value() const { return value_; }
  void SetValue(std::int32_t bgr);

 signals:
  void Clicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  std::int32_t value_ = 0;
};

// A word followed by a row of dots up to the label's right edge.
class DottedLabel : public QLabel {
 public:
  DottedLabel(const QString& word, QWidget* parent);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QString word_;
};

class TColorSetupForm : public QDialog {
  Q_OBJECT
 public:
  TColorSetupForm(Settings& s, QWidget* parent = nullptr);

  // The one click handler of the 24 swatches: the colour picker opens on the
  // swatch's colour; a confirmed pick goes into the swatch only.
  void BackGroundClick(ColorSwatch* swatch);
  // All 24 swatches into their fields of the three sets.
  void OkBtnClick();

  QColorDialog& ClrDlg() { return *clrDlg_; }

 private:
  struct Row {
    ColorSwatch* Swatch;
    ColorSet* Set;
    std::int32_t ColorSet::*Field;
  };
  void FormShow();

  Settings& s_;
  std::vector<Row> rows_;
  QTabWidget* pages_;
  QColorDialog* clrDlg_;
};

}  // namespace qel
