#include "qel_application.h"

#include <exception>

#include <QLibraryInfo>

namespace qel {

QelApplication::QelApplication(int& argc, char** argv) : QApplication(argc, argv) {
  // The whole interface is Russian, Qt's own dialogs included, whatever the
  // desktop's language: Qt's translations (Debian's qt6-translations-l10n)
  // beside the library, or beside the program where it is installed alone.
  for (const QString& folder : {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                                QCoreApplication::applicationDirPath() + "/translations"}) {
    if (qtTexts_.load("qtbase_ru", folder)) {
      qtRussian_ = installTranslator(&qtTexts_);
      break;
    }
  }
  installTranslator(&missingQtTexts_);  // asked first: it answers only what the other lacks
}

QString QelApplication::MissingQtTexts::translate(const char* context, const char* sourceText, const char*,
                                                  int) const {
  // The file dialogs' type column ("Folder", "Drive", "File", "qel File").
  if (qstrcmp(context, "QAbstractFileIconProvider") != 0) return {};
  if (qstrcmp(sourceText, "Folder") == 0) return "Папка";
  if (qstrcmp(sourceText, "Drive") == 0) return "Диск";
  if (qstrcmp(sourceText, "File") == 0) return "Файл";
  if (qstrcmp(sourceText, "%1 File") == 0) return "Файл %1";
  return {};
}

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
