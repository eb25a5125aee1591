#pragma once
// The dialogs' spin edits: the whole number can be typed, also past the
// range (typing "300" where the range ends at 256 is not cut to "30"), and
// the value is the text clamped to the range; an empty text gives the
// range's minimum. The text is taken when the box is left, on Enter, or by
// TypedValue() at OK, and then shows the value taken.

#include <QSpinBox>

namespace qel {

class SpinEdit : public QSpinBox {
  Q_OBJECT
 public:
  explicit SpinEdit(QWidget* parent = nullptr) : QSpinBox(parent) {}

  // The value of the text as it stands now, clamped to the range; the box
  // shows it from then on.
  int TypedValue();

 protected:
  QValidator::State validate(QString& text, int& pos) const override;
  int valueFromText(const QString& text) const override;
  void fixup(QString& text) const override;
};

}  // namespace qel
