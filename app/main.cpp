// qel-gui: the operator's program for the ESR spectrometer.

#include <QLocale>

#include <cstdio>
#include <memory>
#include <QStringList>

#include "end_signals.h"
#include "main_window.h"
#ifdef Q_OS_WIN
#include "model/registry_win.h"
#include "model/settings.h"
#else
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

#include "model/reg_file_store.h"
#include "single_instance.h"
#endif
#include "qel_application.h"

int main(int argc, char** argv) {
  // The recent-files list, the spectrum store and the settings exist before
  // any window; the gain and speed tables are constants; no port is open.
  auto state = std::make_unique<qel::ProgramState>();

  // On X11 the plot's repaints are strips a few pixels wide, about 25 a
  // second while spectra arrive. Through shared memory each one costs a
  // round trip to the X server (Qt waits until the server has read the
  // segment) and a wake-up of its reader thread: more than the drawing and
  // the reception together. The strips go through the socket instead.
  if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) qputenv("QT_XCB_NO_MITSHM", "1");
  qel::QelApplication app(argc, argv);
  QCoreApplication::setOrganizationName("Talvor");
  QCoreApplication::setApplicationName("qel-gui");
  qel::QelApplication::SetTitle("КЕЛ");
  // The program ends when its main window has closed, whatever other
  // windows (the message log, the ADC monitor) are still on screen.
  QApplication::setQuitOnLastWindowClosed(false);

  QStringList problems;
#ifdef Q_OS_WIN
  // SOFTWARE\Talvor\Qel\1.0 under HKEY_CURRENT_USER; taken over at the
  // first start from where the earlier program kept it.
  qel::UserRegistryStores stores;
  qel::TakeOverSettings(stores.Store());
  qel::RegistryStore& store = stores.Store();
#else
  const QString settingsPath = QString::fromStdString(qel::RegFileStore::DefaultPath());
  qel::SingleInstance instance(QFileInfo(settingsPath).absolutePath());
  if (!instance.TakeLock()) {
    // A window runs on these settings: it takes the file, or comes forward.
    const QString file = qel::TQelMainForm::FileArgument(app.arguments());
    const QString why = instance.HandOver(file.isEmpty() ? file : QFileInfo(file).absoluteFilePath());
    if (why.isEmpty()) {
      std::fprintf(stderr, "qel-gui: %s\n",
                   file.isEmpty() ? "программа уже запущена с этими настройками: её окно выведено вперёд"
                                  : "программа уже запущена с этими настройками: файл открыт в её окне");
      return 0;
    }
    std::fprintf(stderr, "qel-gui: %s\n", why.toLocal8Bit().constData());
    QMessageBox box(QMessageBox::Warning, "КЕЛ", why.left(1).toUpper() + why.mid(1), QMessageBox::Ok);
    box.setObjectName("AlreadyRunningBox");
    box.exec();
    return 1;
  }
  qel::RegFileStore store(settingsPath.toStdString());
#endif
  // Only a program that has a window ends in good order on these signals; a
  // start that hands its file over keeps their usual effect.
  qel::EndSignals endSignals;
#ifndef Q_OS_WIN
  if (!store.LoadProblem().empty()) problems.append(QString::fromStdString(store.LoadProblem()));
#endif

  // QEL_POINT_TRACE=FILE: the time each measured point reaches the plot
  // (for scripts/measure-link); off unless asked for. Closed after the window.
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> trace(nullptr, &std::fclose);
  if (const QByteArray path = qgetenv("QEL_POINT_TRACE"); !path.isEmpty()) trace.reset(std::fopen(path.constData(), "w"));

  const std::string sep = QLocale::system().decimalPoint().toStdString();
  qel::TQelMainForm window(*state, store, app.Errors(), sep, problems);
  QObject::connect(&window, &qel::TQelMainForm::Closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
  QObject::connect(&endSignals, &qel::EndSignals::Received, &window, &qel::TQelMainForm::CloseWithoutQuestions);
  // However the event loop is told to end, the window closes first, keeping
  // the spectra and the settings: Windows ends it at a logout or a shutdown
  // from WM_ENDSESSION and may end the process as soon as that returns,
  // before a close posted for later. A window already closed stays so.
  QObject::connect(&app, &QCoreApplication::aboutToQuit, &window, &qel::TQelMainForm::CloseWithoutQuestions);
  if (trace) window.SetPointTrace(trace.get());
  window.show();
  // `qel-gui FILE.qel`: how a desktop's "open with" passes a spectrum.
  window.OpenArguments(app.arguments());
#ifndef Q_OS_WIN
  instance.Listen([&window](const QString& file) { return window.AnotherStartRequested(file); });
#endif
  return app.exec();
}
