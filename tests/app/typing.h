#pragma once
// Typing into the dialogs' edits as the operator does: key by key, through
// the edit's own key handling and validator.

#include <QAbstractSpinBox>
#include <QString>
#include <QtTest>

namespace qel::test {

// Types `text` over the whole text of a spin edit; an empty `text` clears it.
inline void TypeOver(QAbstractSpinBox* spin, const QString& text) {
  spin->setFocus();
  spin->selectAll();
  if (text.isEmpty())
    QTest::keyClick(spin, Qt::Key_Backspace);
  else
    QTest::keyClicks(spin, text);
}

}  // namespace qel::test
