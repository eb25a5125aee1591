// Program life in the window on the offscreen platform: the program ends
// with its main window whatever else is open, and in good order when the
// system asks; what the operator reads while it runs (hints, Qt's own
// texts, the ADC window's first place); status panels and the log written
// at the screen's pace.

#include <QDialogButtonBox>
#include <QDir>
#include <QFileIconProvider>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

#include <csignal>
#include <memory>

#include "app/adc_form.h"
#include "app/end_signals.h"
#include "app/kept_spectra.h"
#include "app/main_window.h"
#include "app/message_form.h"
#include "app/qel_application.h"
#include "app/status_panels.h"
#include "tests/app/modal.h"
#include "tests/app/window_rig.h"
#include "tests/model/test_dir.h"

using namespace qel;
using Run = test::WindowRig;

class ProgramLifeTest : public QObject {
  Q_OBJECT
 private slots:
  void init() { dir_ = std::make_unique<test::TempDir>(); }
  void ClosingEndsTheProgramWithItsWindows();
  void EndedBySystemWritesKeptSpectraUnasked();
  void EndedBySystemTriesTheWorkingFolderFirst();
  void FallbackFolderIsMadeOncePerRun();
  void EndSignalsArriveOnTheEventLoop();
  void HintsLeaveTheStatusPanels();
  void QtDialogsSpeakRussian();
  void AdcWindowFirstPlacedClearOfTheMenu();
  void StatusPanelsWrittenAtTheScreensPace();
  void LogLinesReachTheViewOneBatchAFrame();

 private:
  std::unique_ptr<test::TempDir> dir_;
};

void ProgramLifeTest::ClosingEndsTheProgramWithItsWindows() {
  // Analyse mode with the message and ADC windows on screen: "Выход" ends
  // the program (the window says so once), and both windows go with it,
  // their visibility stored as it was.
  Run run(dir_->Path(), [](Settings& s) {
    s.Mode = false;
    s.MsgWindow.Visible = true;
    s.ADCEnable = true;
  });
  TQelMainForm& w = *run.window;
  QVERIFY(w.MessageForm().isVisible() && w.AdcForm().isVisible());
  QSignalSpy closed(&w, &TQelMainForm::Closed);
  w.Action("AExit")->trigger();
  QCOMPARE(closed.size(), 1);
  QVERIFY(!w.isVisible() && !w.MessageForm().isVisible() && !w.AdcForm().isVisible());
  const Settings stored = run.Stored();
  QVERIFY(stored.MsgWindow.Visible);
  QVERIFY(stored.ADCEnable);
}

void ProgramLifeTest::EndedBySystemWritesKeptSpectraUnasked() {
  // SIGTERM while the kept-spectra question of the switch to analyse mode
  // is open: the question is cancelled, nothing more is asked, the spectra
  // go to the fallback folder (the working folder is gone) and the
  // settings are stored.
  test::TempDir data;
  const QByteArray oldData = qgetenv("XDG_DATA_HOME");
  qputenv("XDG_DATA_HOME", QByteArray::fromStdString(data.Path()));
  Run run(dir_->Path(), [&](Settings& s) {
    test::SaveEveryPass(s, dir_->File("missing"));
    s.ViewMin = 1234;
  });
  TQelMainForm& w = *run.window;
  Acquisition& acq = w.InstrumentLink().Acq;
  acq.ForwardPassStart();
  acq.ForwardPassStart();
  QCOMPARE(acq.KeptSpectra(), std::size_t{2});
  QSignalSpy closed(&w, &TQelMainForm::Closed);
  int questions = 0;
  test::OnModal("KeptSpectraBox", [&](QWidget*) {
    ++questions;
    w.CloseWithoutQuestions();
  });
  w.Action("AAnalyse")->trigger();
  if (oldData.isNull()) qunsetenv("XDG_DATA_HOME");
  else qputenv("XDG_DATA_HOME", oldData);
  QCOMPARE(questions, 1);
  QCOMPARE(closed.size(), 1);
  QVERIFY(QApplication::activeModalWidget() == nullptr);
  QCOMPARE(acq.KeptSpectra(), std::size_t{0});
  const QDir base(QString::fromStdString(data.Path()) + "/Talvor/Qel/Несохранённые спектры");
  const QStringList stamps = base.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  QCOMPARE(stamps.size(), 1);
  const QDir folder(base.filePath(stamps.front()));
  QCOMPARE(folder.entryList(QDir::Files), QStringList({"k00000005.qel", "k00000006.qel"}));
  const QString log = w.MessageForm().Msg().toPlainText();
  QVERIFY2(log.contains("Автосохранение: 2 спектра записаны в запасную папку " + folder.path()), qPrintable(log));
  const Settings stored = run.Stored();
  QCOMPARE(stored.ViewMin, 1234);
  QVERIFY(!stored.Mode);  // "Анализ" had been chosen
  QCOMPARE(stored.NumbMask, 7);
}

void ProgramLifeTest::FallbackFolderIsMadeOncePerRun() {
  // The sixty-fourth kept spectrum and the exit both write to the same
  // folder of the run, made again if it was removed meanwhile.
  test::TempDir data;
  const QByteArray oldData = qgetenv("XDG_DATA_HOME");
  qputenv("XDG_DATA_HOME", QByteArray::fromStdString(data.Path()));
  UserFallbackFolders folders;
  std::string why;
  const std::string first = folders.Folder(0, why);
  const std::string again = folders.Folder(0, why);
  QDir(QString::fromStdString(first)).removeRecursively();
  const std::string remade = folders.Folder(0, why);
  if (oldData.isNull()) qunsetenv("XDG_DATA_HOME");
  else qputenv("XDG_DATA_HOME", oldData);
  QVERIFY(QString::fromStdString(first).startsWith(QString::fromStdString(data.Path()) + "/Talvor/Qel/Несохранённые спектры/"));
  QCOMPARE(again, first);
  QCOMPARE(remade, first);
  QVERIFY(QFileInfo(QString::fromStdString(first)).isDir());
  QCOMPARE(folders.Folder(2, why), std::string());
}

void ProgramLifeTest::EndedBySystemTriesTheWorkingFolderFirst() {
  // The working folder was gone when the passes ended and is back when the
  // system ends the program (a network drive reconnected): the spectra go
  // there, not into the fallback folder.
  test::TempDir data;
  const QByteArray oldData = qgetenv("XDG_DATA_HOME");
  qputenv("XDG_DATA_HOME", QByteArray::fromStdString(data.Path()));
  const std::string work = dir_->File("later");
  Run run(dir_->Path(), [&](Settings& s) {
    test::SaveEveryPass(s, work);
  });
  Acquisition& acq = run.window->InstrumentLink().Acq;
  acq.ForwardPassStart();
  QCOMPARE(acq.KeptSpectra(), std::size_t{1});
  QDir().mkpath(QString::fromStdString(work));
  run.window->CloseWithoutQuestions();
  if (oldData.isNull()) qunsetenv("XDG_DATA_HOME");
  else qputenv("XDG_DATA_HOME", oldData);
  QCOMPARE(acq.KeptSpectra(), std::size_t{0});
  QCOMPARE(QDir(QString::fromStdString(work)).entryList(QDir::Files), QStringList({"k00000005.qel"}));
  QVERIFY(!QFileInfo::exists(QString::fromStdString(data.Path()) + "/Talvor"));
  QVERIFY(run.Stored().Mode);  // it was receiving when it was ended
}

void ProgramLifeTest::EndSignalsArriveOnTheEventLoop() {
  EndSignals ends;
  QSignalSpy received(&ends, &EndSignals::Received);
  std::raise(SIGTERM);  // the process goes on: the handler only writes a byte
  QVERIFY(received.wait(2000));
  QCOMPARE(received[0][0].toInt(), SIGTERM);
  std::raise(SIGHUP);
  QVERIFY(received.wait(2000));
  QCOMPARE(received[1][0].toInt(), SIGHUP);
}

void ProgramLifeTest::HintsLeaveTheStatusPanels() {
  Run run(dir_->Path(), [](Settings& s) { s.Mode = false; });
  TQelMainForm& w = *run.window;
  w.SetStatusPanel(7, QString("Ошибка обмена RS232"));
  // What Qt sends when the mouse rests on a tool button or a menu item.
  auto* button = w.findChild<QToolButton*>("AOpenFileBtn");
  QVERIFY(button);
  QStatusTipEvent tip("Открыть спектр из файла");
  QCoreApplication::sendEvent(button, &tip);
  QVERIFY(w.statusBar()->currentMessage().isEmpty());
  QVERIFY(w.findChild<QLabel*>("Panel7")->isVisible());
  QCOMPARE(w.PanelText(7), QString("Ошибка обмена RS232"));
  QCOMPARE(w.Action("AOpenFile")->toolTip(), QString("Открыть спектр из файла"));
}

void ProgramLifeTest::QtDialogsSpeakRussian() {
  auto* app = dynamic_cast<QelApplication*>(QCoreApplication::instance());
  QVERIFY(app && app->QtTextsInRussian());
  QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Open);
  QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), QString("Отмена"));
  QCOMPARE(box.button(QDialogButtonBox::Open)->text(), QString("Открыть"));
  // What Qt's own file lacks: the type column of the file dialogs.
  QCOMPARE(QFileIconProvider().type(QFileInfo(QDir::tempPath())), QString("Папка"));
}

void ProgramLifeTest::AdcWindowFirstPlacedClearOfTheMenu() {
  Run run(dir_->Path(), [](Settings& s) {
    s.Mode = false;
    s.ADCEnable = true;
  });
  TQelMainForm& w = *run.window;
  TADCForm& adc = w.AdcForm();
  QVERIFY(adc.isVisible());
  const QRect menu(w.menuBar()->mapToGlobal(QPoint(0, 0)), w.menuBar()->size());
  const QRect bar(w.findChild<QToolBar*>("MainBar")->mapToGlobal(QPoint(0, 0)),
                  w.findChild<QToolBar*>("MainBar")->size());
  QVERIFY2(!adc.frameGeometry().intersects(menu), qPrintable(QString("%1,%2").arg(adc.x()).arg(adc.y())));
  QVERIFY(!adc.frameGeometry().intersects(bar));
  // A stored place is taken as it is.
  w.close();
  const Settings stored = run.Stored();
  QCOMPARE(QPoint(stored.ADCWindow.Left, stored.ADCWindow.Top), adc.pos());
  // Only the corner 0, 0 of a first start is placed afresh.
  for (const QPoint at : {QPoint(300, 200), QPoint(0, 200), QPoint(300, 0)}) {
    test::TempDir other;
    Run again(other.Path(), [&](Settings& s) {
      s.Mode = false;
      s.ADCEnable = true;
      s.ADCWindow.Left = at.x();
      s.ADCWindow.Top = at.y();
    });
    QCOMPARE(again.window->AdcForm().pos(), at);
  }
}

void ProgramLifeTest::StatusPanelsWrittenAtTheScreensPace() {
  QLabel a, b;
  StatusPanels panels;
  panels.SetLabels({&a, &b});
  QSignalSpy shown(&panels, &StatusPanels::Shown);
  panels.Set(1, "Ошибка КС");  // the first change is shown when the event loop is back
  QCOMPARE(b.text(), QString());
  QCoreApplication::sendPostedEvents();
  QCOMPARE(b.text(), QString("Ошибка КС"));
  QCOMPARE(b.toolTip(), QString("Ошибка КС"));
  // A noisy line: the panel flips hundreds of times within one interval.
  for (int i = 0; i < 500; ++i) {
    panels.Set(1, "Норма");
    panels.Set(1, "Ошибка КС");
  }
  panels.Set(0, "115200 бод");
  panels.Set(1, "Норма");
  QCOMPARE(panels.Text(1), QString("Норма"));  // taken at once
  QCOMPARE(b.text(), QString("Ошибка КС"));   // the label waits for the interval
  QCOMPARE(panels.Writes(), 1LL);
  QVERIFY(shown.wait(1000));
  // The last texts, each label written once.
  QCOMPARE(a.text(), QString("115200 бод"));
  QCOMPARE(b.text(), QString("Норма"));
  QCOMPARE(panels.Writes(), 3LL);
  panels.Set(1, "Норма");  // no change: nothing to write
  QVERIFY(!shown.wait(2 * (FramePacer::FrameMs + FramePacer::LateMs)));
  QCOMPARE(panels.Writes(), 3LL);
}

void ProgramLifeTest::LogLinesReachTheViewOneBatchAFrame() {
  {
    // Hidden, as by default: the lines wait, the view is not touched.
    TQelMessageForm hidden;
    hidden.ClearLines();
    hidden.AppendLine("скрытая");
    QCOMPARE(hidden.ViewWrites(), 0LL);
    QCOMPARE(hidden.LineCount(), 1);
    hidden.show();  // shown: the waiting line reaches the view
    QCOMPARE(hidden.ViewWrites(), 1LL);
    QCOMPARE(hidden.Msg().toPlainText(), QString("скрытая"));
  }
  {
    // Hidden for a long noisy run: the newest 20,000 lines wait, no more.
    TQelMessageForm hidden;
    hidden.ClearLines();
    for (int i = 0; i < 45000; ++i) hidden.AppendLine(QString::number(i));
    QVERIFY2(hidden.LineCount() <= 21000, qPrintable(QString::number(hidden.LineCount())));
    QCOMPARE(hidden.ViewWrites(), 0LL);
    hidden.show();
    const QStringList shown = hidden.Msg().toPlainText().split('\n');
    QVERIFY(shown.first().startsWith("В окне хранятся последние 20000 строк"));
    QCOMPARE(shown.size(), 20000);  // the note and the newest 19,999
    QCOMPARE(shown.at(1), QString("25001"));
    QCOMPARE(shown.last(), QString("44999"));
  }
  TQelMessageForm m;
  m.show();
  m.ClearLines();
  m.AppendLine("первая");  // shown when the event loop is back
  QCOMPARE(m.ViewWrites(), 0LL);
  QCoreApplication::sendPostedEvents();
  QCOMPARE(m.ViewWrites(), 1LL);
  for (int i = 0; i < 1000; ++i) m.AppendLine(QString("строка %1").arg(i));
  QCOMPARE(m.ViewWrites(), 1LL);
  QCOMPARE(m.LineCount(), 1001);
  // Within a frame the rest arrive in one write, every line, in order.
  QTRY_COMPARE_WITH_TIMEOUT(m.ViewWrites(), 2LL, 1000);
  const QStringList lines = m.Msg().toPlainText().split('\n');
  QCOMPARE(lines.size(), 1001);
  QCOMPARE(lines.front(), QString("первая"));
  QCOMPARE(lines.at(1), QString("строка 0"));
  QCOMPARE(lines.back(), QString("строка 999"));
}

int main(int argc, char** argv) {
  qel::QelApplication app(argc, argv);
  ProgramLifeTest t;
  return QTest::qExec(&t, argc, argv);
}

#include "program_life_test.moc"
