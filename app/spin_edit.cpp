#include "spin_edit.h"

#include <QLineEdit>

#include <algorithm>

namespace qel {

namespace {

// A whole number: digits, a sign before them, blanks around.
bool IsNumber(const QString& text) {
  QStringView digits = QStringView(text).trimmed();
  if (digits.startsWith('-') || digits.startsWith('+')) digits = digits.mid(1);
  return !digits.isEmpty() && std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= '0' && c <= '9'; });
}

}  // namespace

SpinEdit::SpinEdit(QWidget* parent) : QSpinBox(parent) {
  taken_ = value();
  connect(this, &QAbstractSpinBox::editingFinished, this, &SpinEdit::Taken);
  // Set by the program, not typed.
  connect(this, &QSpinBox::valueChanged, this, [this](int v) {
    if (!typing_) taken_ = v;
  });
}

void SpinEdit::Taken() {
  typing_ = false;
  taken_ = value();
}

void SpinEdit::keyPressEvent(QKeyEvent* event) {
  // The first key of an edit, or the first after the program has set the
  // box (some it sets with the box's signals blocked): the value shown was
  // taken.
  const QString shown = lineEdit()->text();
  if ((!typing_ || shown != typed_) && shown == textFromValue(value())) taken_ = value();
  typing_ = true;
  QSpinBox::keyPressEvent(event);
  typed_ = lineEdit()->text();
}

void SpinEdit::stepBy(int steps) {
  QSpinBox::stepBy(steps);
  Taken();
}

int SpinEdit::TypedValue() {
  interpretText();
  Taken();
  return value();
}

QValidator::State SpinEdit::validate(QString& text, int&) const {
  // Nothing typed is refused on the way: what the text means is decided
  // when it is taken.
  return IsNumber(text) ? QValidator::Acceptable : QValidator::Intermediate;
}

int SpinEdit::valueFromText(const QString& text) const {
  const QStringView t = QStringView(text).trimmed();
  const bool negative = t.startsWith('-');
  QStringView digits = negative || t.startsWith('+') ? t.mid(1) : t;
  while (digits.size() > 1 && digits.front() == '0') digits = digits.mid(1);
  // More digits than any int has: past either end of the range.
  if (digits.size() > 10) return negative ? minimum() : maximum();
  bool ok = false;
  const qlonglong n = digits.toLongLong(&ok);
  if (!ok) return minimum();
  return static_cast<int>(std::clamp<qlonglong>(negative ? -n : n, minimum(), maximum()));
}

void SpinEdit::fixup(QString& text) const {
  if (IsNumber(text)) return;
  text = textFromValue(text.trimmed().isEmpty() ? minimum() : taken_);
}

}  // namespace qel
