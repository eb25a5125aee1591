#include "qel_application.h"

#include <exception>

namespace qel {

QelApplication::QelApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool QelApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    errors_.Show(QString::fromUtf8(e.what()));
  } catch (...) {
    errors_.Show("Неизвестная ошибка");
  }
  return false;
}

void QelApplication::SetTitle(const QString& title) {
  if (QCoreApplication* app = QCoreApplication::instance()) app->setProperty("QelTitle", title);
}

QString QelApplication::Title() {
  const QCoreApplication* app = QCoreApplication::instance();
  return app ? app->property("QelTitle").toString() : QString();
}

}  // namespace qel
