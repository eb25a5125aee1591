#include "spin_edit.h"

#include <algorithm>

namespace qel {

namespace {

// More digits than any range of an int has: what is longer is no number
// anyone means.
constexpr int kMaxDigits = 10;

// Digits after a minus sign where the range has negative numbers.
bool IsNumber(const QString& text, bool negative) {
  const QStringView digits = negative && text.startsWith('-') ? QStringView(text).mid(1) : QStringView(text);
  if (digits.isEmpty() || digits.size() > kMaxDigits) return false;
  return std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= '0' && c <= '9'; });
}

}  // namespace

int SpinEdit::TypedValue() {
  interpretText();
  return value();
}

QValidator::State SpinEdit::validate(QString& text, int&) const {
  if (IsNumber(text, minimum() < 0)) return QValidator::Acceptable;
  // Nothing yet (or only the sign): the text is being typed.
  if (text.isEmpty() || (minimum() < 0 && text == "-")) return QValidator::Intermediate;
  return QValidator::Invalid;
}

int SpinEdit::valueFromText(const QString& text) const {
  bool ok = false;
  const qlonglong n = text.toLongLong(&ok);
  if (!ok) return minimum();
  return static_cast<int>(std::clamp<qlonglong>(n, minimum(), maximum()));
}

void SpinEdit::fixup(QString& text) const {
  if (!IsNumber(text, minimum() < 0)) text = textFromValue(minimum());
}

}  // namespace qel
