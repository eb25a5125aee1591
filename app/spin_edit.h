#pragma once
// The dialogs' spin edits: any text can be typed, key by key (typing "300"
// where the range ends at 256 is not cut to "30", nor "-5" to "5"). When the
// text is taken (the box left, Enter, or TypedValue() at OK) a whole number,
// however long, is clamped to the range; an empty text gives the range's
// minimum; any other text is refused: the value taken before stays. The box
// then shows the value taken.

#include <QSpinBox>

namespace qel {

class SpinEdit : public QSpinBox {
  Q_OBJECT
 public:
  explicit SpinEdit(QWidget* parent = nullptr);

  // The value of the text as it stands now, as above; the box shows it from
  // then on.
  int TypedValue();

 protected:
  QValidator::State validate(QString& text, int& pos) const override;
  int valueFromText(const QString& text) const override;
  void fixup(QString& text) const override;
  void keyPressEvent(QKeyEvent* event) override;
  void stepBy(int steps) override;

 private:
  void Taken();
  // The value last taken: what a refused text leaves. The values the box
  // passes through while a number is typed (for the dialogs' previews) are
  // not taken.
  int taken_ = 0;
  bool typing_ = false;
  QString typed_;  // the text after the operator's last key
};

}  // namespace qel
