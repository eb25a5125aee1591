#pragma once
// The application object: an exception that escapes any handler is shown
// in a warning box with its message, and the program goes on.

#include <QApplication>
#include <QTranslator>

#include "error_boxes.h"

namespace qel {

class QelApplication : public QApplication {
 public:
  QelApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
  ErrorBoxes& Errors() { return errors_; }

  // The title the desktop knows the program by ("КЕЛ", or "КЕЛ - file").
  static void SetTitle(const QString& title);
  static QString Title();

  // Whether Qt's own texts (dialog buttons, the colour picker, the file and
  // folder dialogs) were found in Russian.
  bool QtTextsInRussian() const { return qtRussian_; }

 private:
  QTranslator qtTexts_;
  bool qtRussian_ = false;
  ErrorBoxes errors_;
};

}  // namespace qel
