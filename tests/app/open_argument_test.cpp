// `qel-gui FILE.qel`: the window built as main() builds it, then given the
// program's arguments, on the offscreen platform.

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QSignalSpy>
#include <QtTest>

#include <filesystem>
#include <memory>

#include "app/error_boxes.h"
#include "app/file_commands.h"
#include "app/main_window.h"
#include "app/qel_application.h"
#include "model/reg_file_store.h"
#include "tests/model/test_dir.h"

using namespace qel;

namespace {

struct Run {
  explicit Run(const std::string& regPath) : store(regPath) {
    window = std::make_unique<TQelMainForm>(state, store, errors, ",");
    window->show();
  }
  ~Run() {
    if (window && window->isVisible()) window->close();
  }
  ProgramState state;
  RegFileStore store;
  ErrorBoxes errors;
  std::unique_ptr<TQelMainForm> window;
};

void StoreSettings(const std::string& regPath, const std::function<void(Settings&)>& change) {
  Settings s;
  SetDefaults(s);
  s.Mode = false;  // nothing tries to open a port
  change(s);
  RegFileStore store(regPath);
  SaveSettings(s, {}, store);
}

// Two points of a spectrum.
const std::string SmallSpectrum("\x10\x00\x00\x08\x11\x00\x10\x08", 8);

}  // namespace

class OpenArgumentTest : public QObject {
  Q_OBJECT
 private slots:
  void init() { dir_ = std::make_unique<test::TempDir>(); }
  void FileIsOpenedAsFromTheOpenDialog();
  void RelativePathIsStoredWhole();
  void MissingFileGivesABoxNamingIt();
  void DamagedFileGivesTheUsualBox();
  void NoArgumentChangesNothing();

 private:
  std::string Reg() const { return dir_->File("Qel/1.0.reg"); }
  std::unique_ptr<test::TempDir> dir_;
};

void OpenArgumentTest::FileIsOpenedAsFromTheOpenDialog() {
  test::TempDir d;
  const std::string file = d.File("FILE.qel");
  test::Spit(file, SmallSpectrum);
  StoreSettings(Reg(), [](Settings& s) { s.Mode = true; s.Port = "/nonexistent/ttyQEL"; });
  Run run(Reg());
  TQelMainForm& w = *run.window;
  QVERIFY(w.Action("AReceive")->isChecked());
  QVERIFY(w.Driver().TimerActive(LinkTimer::QelTimer));
  w.OpenArguments({"qel-gui", QString::fromStdString(file)});
  QCOMPARE(w.windowTitle(), QString("КЕЛ - FILE.qel"));
  QCOMPARE(QelApplication::Title(), QString("КЕЛ - FILE.qel"));
  QVERIFY(w.Action("AAnalyse")->isChecked() && !w.Action("AReceive")->isChecked());
  QVERIFY(!w.Driver().TimerActive(LinkTimer::QelTimer));
  QCOMPARE(run.state.Settings.LastOpen, file);
  QCOMPARE(run.state.RecentFiles.size(), std::size_t{1});
  QCOMPARE(run.state.RecentFiles[0], file);
  QCOMPARE(run.state.Settings.WorkDir, d.Path() + "/");
  QVERIFY(w.Action("ASaveFileAs")->isEnabled());
  QCOMPARE(run.state.Store.CurrentSpectrum[0x10].Value, std::uint16_t{0x800});
}

void OpenArgumentTest::RelativePathIsStoredWhole() {
  test::TempDir d;
  test::Spit(d.File("rel.qel"), SmallSpectrum);
  StoreSettings(Reg(), [](Settings&) {});
  const QString before = QDir::currentPath();
  QDir::setCurrent(QString::fromStdString(d.Path()));
  Run run(Reg());
  run.window->OpenArguments({"qel-gui", "rel.qel"});
  QDir::setCurrent(before);
  QCOMPARE(run.window->windowTitle(), QString("КЕЛ - rel.qel"));
  QCOMPARE(run.state.Settings.LastOpen, QFileInfo(QString::fromStdString(d.File("rel.qel"))).canonicalFilePath().toStdString());
}

void OpenArgumentTest::MissingFileGivesABoxNamingIt() {
  // Nothing there, or a folder whose name ends in .qel: the box names the
  // path and the cause, and nothing changes.
  std::filesystem::create_directory(dir_->File("x.qel"));
  const std::pair<std::string, std::string> cases[] = {
      {dir_->File("absent.qel"), "Файл не найден: " + dir_->File("absent.qel")},
      {dir_->File("x.qel"), "Файл \"" + dir_->File("x.qel") + "\" не открыт: это папка, а не файл"},
  };
  for (const auto& [path, text] : cases) {
    StoreSettings(Reg(), [](Settings& s) { s.WorkDir = "/somewhere/"; });
    Run run(Reg());
    TQelMainForm& w = *run.window;
    const Settings before = run.state.Settings;
    const QString title = w.windowTitle();
    const bool analysing = w.Action("AAnalyse")->isChecked();
    QSignalSpy boxes(&run.errors, &ErrorBoxes::BoxOpened);
    w.OpenArguments({"qel-gui", QString::fromStdString(path)});
    QVERIFY(boxes.wait(1000));
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0][0].toString(), QString::fromStdString(text));
    QCOMPARE(w.windowTitle(), title);
    QCOMPARE(w.Action("AAnalyse")->isChecked(), analysing);
    QCOMPARE(run.state.Settings.Mode, before.Mode);
    QCOMPARE(run.state.Settings.WorkDir, before.WorkDir);
    QCOMPARE(run.state.Settings.LastOpen, before.LastOpen);
    QVERIFY(run.state.RecentFiles.empty());
    QVERIFY(!w.Action("ASaveFileAs")->isEnabled());
    run.errors.OpenBox()->accept();
  }
}

void OpenArgumentTest::DamagedFileGivesTheUsualBox() {
  test::TempDir d;
  const std::string big = d.File("big.qel");
  test::Spit(big, std::string(65537 * 4, '\x01'));
  StoreSettings(Reg(), [](Settings&) {});
  Run run(Reg());
  TQelMainForm& w = *run.window;
  const QString title = w.windowTitle();
  QSignalSpy boxes(&run.errors, &ErrorBoxes::BoxOpened);
  w.OpenArguments({"qel-gui", QString::fromStdString(big)});
  QVERIFY(boxes.wait(1000));
  QCOMPARE(boxes.size(), 1);
  QVERIFY2(boxes[0][0].toString().contains("не загружен"), qPrintable(boxes[0][0].toString()));
  QCOMPARE(run.errors.OpenBox()->icon(), QMessageBox::Warning);
  QCOMPARE(w.windowTitle(), title);
  QVERIFY(run.state.RecentFiles.empty());
  QVERIFY(run.state.Settings.LastOpen.empty());
  run.errors.OpenBox()->accept();
}

void OpenArgumentTest::NoArgumentChangesNothing() {
  StoreSettings(Reg(), [](Settings&) {});
  Run run(Reg());
  const QString title = run.window->windowTitle();
  QSignalSpy boxes(&run.errors, &ErrorBoxes::BoxOpened);
  run.window->OpenArguments({"qel-gui"});
  run.window->OpenArguments({"qel-gui", "--help"});  // an option is no file
  QCoreApplication::processEvents();
  QCOMPARE(boxes.size(), 0);
  QVERIFY(!run.errors.Busy());
  QCOMPARE(run.window->windowTitle(), title);
}

int main(int argc, char** argv) {
  qel::QelApplication app(argc, argv);
  QelApplication::SetTitle("КЕЛ");
  OpenArgumentTest t;
  return QTest::qExec(&t, argc, argv);
}

#include "open_argument_test.moc"
