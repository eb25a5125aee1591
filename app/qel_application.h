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
  // Texts that Qt's Russian file of this Qt version does not have yet.
  class MissingQtTexts : public QTranslator {
   public:
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int n) const override;
  };
  QTranslator qtTexts_;
  MissingQtTexts missingQtTexts_;
  bool qtRussian_ = false;
  ErrorBoxes errors_;
};

}  // namespace qel
