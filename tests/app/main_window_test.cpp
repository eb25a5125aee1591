// The main window built in the test on the offscreen platform: program
// life, the command table, the message window, the file commands and the
// error display.

#include <QAbstractButton>
#include <QDir>
#include <QToolButton>

#include <QFileDialog>
#include <QGroupBox>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTextBlock>
#include <QToolBar>
#include <QtTest>

#include <memory>

#include "app/action_table.h"
#include "app/adc_form.h"
#include "app/error_boxes.h"
#include "app/file_commands.h"
#include "app/main_window.h"
#include "app/message_form.h"
#include "app/placement.h"
#include "app/qel_application.h"
#include "display/view_window.h"
#include "model/reg_file_store.h"
#include "model/spectrum_file.h"
#include "tests/app/modal.h"
#include "tests/model/test_dir.h"

using namespace qel;

namespace {

// One run of the program: its state, its settings file, its window.
struct Run {
  explicit Run(const std::string& regPath) : store(regPath) {
    window = std::make_unique<TQelMainForm>(state, store, errors, ",");
  }
  ~Run() {
    if (window && window->isVisible()) window->close();
  }
  ProgramState state;
  RegFileStore store;
  ErrorBoxes errors;
  std::unique_ptr<TQelMainForm> window;
};

// Stored settings as a previous run would have left them.
void StoreSettings(const std::string& regPath, const std::function<void(Settings&)>& change,
                   const RecentFileList& recent = {}) {
  Settings s;
  SetDefaults(s);
  s.Mode = false;  // analyse: nothing tries to open a port
  change(s);
  RegFileStore store(regPath);
  SaveSettings(s, recent, store);
}

Settings StoredSettings(const std::string& regPath, RecentFileList* recent = nullptr) {
  Settings s;
  SetDefaults(s);
  RecentFileList r;
  RegFileStore store(regPath);
  LoadSettings(s, r, store);
  if (recent) *recent = r;
  return s;
}

QStringList MenuItems(QWidget* m) {
  QStringList items;
  for (QAction* a : m->actions())
    items << (a->isSeparator() ? "-" : a->menu() ? a->menu()->objectName() : a->objectName());
  return items;
}

// A small spectrum file: a few points at their codes.
std::string SpectrumBytes(std::uint16_t code, std::uint16_t value, int count) {
  std::string b;
  for (int i = 0; i < count; ++i) {
    const std::uint16_t c = static_cast<std::uint16_t>(code + i);
    b += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8), static_cast<char>(value & 0xFF),
          static_cast<char>(value >> 8)};
  }
  return b;
}

// One 4-byte record.
std::string Record(std::uint16_t code, std::uint16_t value) {
  return {static_cast<char>(code & 0xFF), static_cast<char>(code >> 8), static_cast<char>(value & 0xFF),
          static_cast<char>(value >> 8)};
}

// A spectrum recorded over the total field low..high (in tenths of an oersted).
std::string RecordedRange(std::uint16_t low, std::uint16_t high) {
  return SpectrumBytes(100, 2100, 2) + Record(high, TagFieldHigh) + Record(low, TagFieldLow);
}

// Answers the next modal file dialog with a path. A dialog that does not
// take the answer stays open, which fails the case.
void AnswerDialog(const char* name, const QString& path) {
  test::OnModal(name, [path](QWidget* w) {
    auto* dlg = qobject_cast<QFileDialog*>(w);
    QVERIFY(dlg);
    dlg->selectFile(path);
    QMetaObject::invokeMethod(dlg, "accept");
  });
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT
 private slots:
  void init() { dir_ = std::make_unique<test::TempDir>(); }  // every case starts with no settings
  void FirstStartShowsTheDesignState();
  void MenusAndBarFollowTheCommandTable();
  void ToolBarHiddenClosedRestarted();
  void ClosedWhileMaximisedKeepsTheNormalPlacement();
  void ClosedAtStopStoresTheSpeedBeforeIt();
  void StoredStateIsAppliedAtStart();
  void UnitsOfAnOpenedFileAreNotStored();
  void OpeningAFileLeavesReceiveMode();
  void AboutBoxAndAdcWindowAsDesigned();
  void MessageWindowClosedAndShownAgain();
  void MessageLogKeepsTheNewestLines();
  void RecentFilesCompareWholePaths();
  void RecentItemThreeOpensTheFourthEntry();
  void OpenSaveCloseThroughTheDialogs();
  void BadFilesShowOneBoxAndKeepTheSpectrum();
  void ErrorsShowOneBoxAtATime();
  void EscapedExceptionIsShown();
  void SettingsProblemIsShownAtStart();
  void PlacementOffEveryScreenIsBroughtBack();

 private:
  std::unique_ptr<test::TempDir> dir_;
  std::string Reg() const { return dir_->File("1.0.reg"); }
};

void MainWindowTest::FirstStartShowsTheDesignState() {
  test::TempDir d;
  Run run(d.File("none/1.0.reg"));
  TQelMainForm& w = *run.window;
  w.show();
  QCOMPARE(w.windowTitle(), QString("Программа анализа спектров КЕЛ.  Talvor"));
  QCOMPARE(QelApplication::Title(), QString("КЕЛ"));
  QVERIFY(w.findChild<QToolBar*>("MainBar")->isVisible());
  QVERIFY(w.Action("AToolBar")->isChecked());
  // Receive mode by default: "Прием" checked and disabled, "Анализ" the other way.
  QVERIFY(w.Action("AReceive")->isChecked() && !w.Action("AReceive")->isEnabled());
  QVERIFY(!w.Action("AAnalyse")->isChecked() && w.Action("AAnalyse")->isEnabled());
  QMenu* recent = w.findChild<QMenu*>("ListItem");
  QVERIFY(recent->actions().isEmpty() && !recent->isEnabled());
  for (int i = 0; i < 12; ++i) QVERIFY(w.PanelText(i).isEmpty());
  QVERIFY(!w.Action("ASaveFileAs")->isEnabled() && !w.Action("ABackUp")->isEnabled() &&
          !w.Action("AStart")->isEnabled());
  for (const char* group : {"CorrPanel", "AmpPanel", "SpeedPanel"})
    QVERIFY(!w.findChild<QWidget*>(group)->isEnabled());
  QVERIFY(!w.MessageForm().isVisible() && !w.AdcForm().isVisible());
  // Receive mode arms the loop's starter; it has not fired yet.
  QVERIFY(w.Driver().TimerActive(LinkTimer::QelTimer));
}

void MainWindowTest::MenusAndBarFollowTheCommandTable() {
  Run run(Reg());
  TQelMainForm& w = *run.window;
  QList<QMenu*> menus;
  for (QAction* a : w.menuBar()->actions()) menus << a->menu();
  QCOMPARE(menus.size(), 5);
  QCOMPARE(menus[0]->title(), QString("Спектр"));
  QCOMPARE(MenuItems(menus[0]), QStringList({"AReceive", "AAnalyse", "-", "AOpenFile", "ListItem", "ASaveFileAs",
                                             "ACloseSpectr", "-", "APrintSetup", "-", "APrintForm", "-", "AExit"}));
  QCOMPARE(MenuItems(menus[1]),
           QStringList({"ARepaint", "-", "AIncScale", "ADecScale", "AAllView", "-", "AADCView", "-", "AStandVisir",
                        "AVisir1", "AVisir2", "-", "AToolBar", "-", "AMessageView"}));
  QCOMPARE(MenuItems(menus[2]), QStringList({"AStop", "AStart", "-", "AResetDiap", "AMouseSelect"}));
  QCOMPARE(MenuItems(menus[3]),
           QStringList({"ABackUp", "-", "AFilterSetup", "AGlissSetup", "AEqualize", "AIntegr", "AMinMax", "-", "ALines"}));
  QCOMPARE(MenuItems(menus[4]),
           QStringList({"ARealTime", "AAutoSave", "APassArchive", "AOpenUnits", "ASetupCom", "AColorSetup", "-", "AAbout"}));
  QCOMPARE(MenuItems(w.findChild<QToolBar*>("MainBar")),
           QStringList({"ASaveFileAs", "AOpenFile", "ACloseSpectr", "APrint", "-", "AReceive", "AAnalyse", "-",
                        "ABackUp", "AGliss", "AEqualize", "AIntegr", "AMinMax", "-", "ASwLPF", "ASWSum"}));
  auto* open = w.findChild<QToolButton*>("AOpenFileBtn");
  QCOMPARE(open->menu(), w.findChild<QMenu*>("QuickOpenMenu"));
  QCOMPARE(w.findChild<QToolButton*>("AEqualizeBtn")->text(), QString("Выравн."));
  QCOMPARE(w.Action("AEqualize")->text(), QString("Выравнивание"));
  // Every action of the table exists once, with its caption, hint, image and no shortcut.
  for (const ActionRow& row : ActionRows()) {
    QAction* a = w.Action(row.Name);
    QVERIFY2(a, row.Name);
    QCOMPARE(w.findChildren<QAction*>(row.Name).size(), 1);
    QCOMPARE(a->text(), QString(row.Caption));
    QCOMPARE(a->property("ImageIndex").toInt(), row.Image);
    QVERIFY(a->shortcut().isEmpty());
  }
  QCOMPARE(w.findChild<QToolBar*>("MainBar")->height(), 41);
  // In a window too narrow for the bar, the » button unfolds it: the buttons
  // folded away (the real-time toggles are on no menu) can be reached.
  {
    auto* bar = w.findChild<QToolBar*>("MainBar");
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.resize(600, 500);
    QCoreApplication::processEvents();
    QCOMPARE(bar->height(), 41);
    auto* lpf = w.findChild<QToolButton*>("LPRTBtn");
    QVERIFY(!lpf->isVisible());
    auto* more = bar->findChild<QToolButton*>("qt_toolbar_ext_button");
    QVERIFY(more && more->isVisible());
    more->click();
    QCoreApplication::processEvents();
    QVERIFY(lpf->isVisible());
    QVERIFY(bar->rect().contains(lpf->geometry()));
    QVERIFY(bar->rect().contains(w.findChild<QToolButton*>("ToolButton14")->geometry()));
    more->click();
    QCoreApplication::processEvents();
    QCOMPARE(bar->height(), 41);
    // At the window's smallest width every label below the plot is whole.
    w.resize(w.minimumSize());
    QCoreApplication::processEvents();
    QCOMPARE(w.width(), 500);
    for (QLabel* label : w.findChild<QWidget*>("InstrumentPanel")->findChildren<QLabel*>())
      QVERIFY2(label->contentsRect().width() >= label->fontMetrics().horizontalAdvance(label->text()),
               qPrintable(label->objectName() + ": " + QString::number(label->contentsRect().width())));
    for (QGroupBox* group : w.findChild<QWidget*>("InstrumentPanel")->findChildren<QGroupBox*>())
      QVERIFY2(group->width() >= group->minimumSizeHint().width(), qPrintable(group->objectName()));
  }
  // Rows whose texts operators know as they are, typos and double blanks included.
  struct Row {
    const char *name, *category, *caption, *hint;
    int image;
    bool checkable, checked, enabled;
  };
  for (const Row& r : {Row{"AOpenFile", "Spectr", "Открыть...", "Открыть спектр из файла", 2, false, false, true},
                       Row{"ACloseSpectr", "Spectr", "Закрыть", "Убрать текущий спектр", 3, false, false, true},
                       Row{"AResetDiap", "Razv", "Расширить диапазон перестройки",
                           "Расширить диапазон пересройки до максимума", 4, false, false, true},
                       Row{"AMouseSelect", "Razv", "Определить  мышью", "Определить границы мышью", 11, true, false, true},
                       Row{"AADCView", "View", "ВХОД  АЦП", "Текущие измерения по входу АЦП", -1, true, false, true},
                       Row{"ASaveFileAs", "Spectr", "Сохранить...", "Сохранить спектр", 1, false, false, false},
                       Row{"ABackUp", "Functions", "Отмена", "Вернуться к предыдущему", 19, false, false, false},
                       Row{"ASwLPF", "Setup", "ФНЧ(р)", "ФНЧ реального времени", 16, true, false, true},
                       Row{"APrintSetup", "Spectr", "Печать спектра...", "", 15, false, false, true},
                       Row{"AFilter", "Functions", "ФНЧ", "Фильтрация текущего спектра", 14, false, false, true},
                       Row{"AViewScale", "View", "Масштаб по горизонтали", "Задание области просмотра по абсциссе", 5,
                           true, false, true}}) {
    const ActionRow* row = nullptr;
    for (const ActionRow& candidate : ActionRows())
      if (QString(candidate.Name) == r.name) row = &candidate;
    QVERIFY2(row, r.name);
    QCOMPARE(QString(row->Category), QString(r.category));
    QCOMPARE(QString(row->Caption), QString(r.caption));
    QCOMPARE(QString(row->Hint), QString(r.hint));
    QCOMPARE(row->Image, r.image);
    QCOMPARE(bool(row->Flags & Checkable), r.checkable);
    QCOMPARE(bool(row->Flags & Checked), r.checked);
    QCOMPARE(!(row->Flags & Disabled), r.enabled);
  }
  QCOMPARE(w.Action("AMouseSelect")->text(), QString("Определить  мышью"));
  QCOMPARE(w.Action("AResetDiap")->toolTip(), QString("Расширить диапазон пересройки до максимума"));
  // Images 23 and 24, between which the toggles blink, differ from 16 and 17.
  for (auto [a, b] : {std::pair{16, 23}, std::pair{17, 24}})
    QVERIFY(QelImage(a).pixmap(16, 16).toImage() != QelImage(b).pixmap(16, 16).toImage());
  QVERIFY(!QelImage(24).isNull() && QelImage(25).isNull());
  // The status bar's twelve panels keep their widths (at 96 dpi).
  const int widths[12] = {50, 70, 25, 95, 105, 50, 50, 180, 40, 83, 115, 50};
  for (int i = 0; i < 12; ++i) QVERIFY(w.findChild<QLabel*>(QString("Panel%1").arg(i))->width() >= widths[i]);
  QCOMPARE(w.findChild<QLabel*>("Panel7")->width(), 180);  // wide enough for its texts as it is
  // Wider only where a text would be cut.
  auto* baud = w.findChild<QLabel*>("Panel1");
  QVERIFY(baud->contentsRect().width() >= baud->fontMetrics().horizontalAdvance("115200 бод"));
  auto* accum = w.findChild<QLabel*>("Panel10");
  QVERIFY(accum->contentsRect().width() >= accum->fontMetrics().horizontalAdvance("НАКОПЛ [2000 из 2000]"));
}

void MainWindowTest::ToolBarHiddenClosedRestarted() {
  StoreSettings(Reg(), [](Settings&) {});
  int plotHeightWithBar = 0, plotHeightWithout = 0;
  {
    Run run(Reg());
    TQelMainForm& w = *run.window;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto* panel = w.findChild<QWidget*>("ScreenPanel");
    plotHeightWithBar = panel->height();
    w.Action("AToolBar")->trigger();
    QVERIFY(!w.findChild<QToolBar*>("MainBar")->isVisible());
    QCoreApplication::processEvents();
    plotHeightWithout = panel->height();
    QCOMPARE(plotHeightWithout - plotHeightWithBar, w.findChild<QToolBar*>("MainBar")->height());
    w.close();
  }
  QVERIFY(!StoredSettings(Reg()).ToolBar);
  Run again(Reg());
  TQelMainForm& w = *again.window;
  w.show();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  QVERIFY(!w.findChild<QToolBar*>("MainBar")->isVisible() && !w.Action("AToolBar")->isChecked());
  QCOMPARE(w.findChild<QWidget*>("ScreenPanel")->height(), plotHeightWithout);
  w.Action("AToolBar")->trigger();
  QCoreApplication::processEvents();
  QCOMPARE(w.findChild<QWidget*>("ScreenPanel")->height(), plotHeightWithBar);
}

void MainWindowTest::ClosedWhileMaximisedKeepsTheNormalPlacement() {
  StoreSettings(Reg(), [](Settings& s) { s.Position = WindowPlacement{40, 30, 480, 700, true, 0, 0}; });
  {
    Run run(Reg());
    run.window->show();
    QCOMPARE(run.window->geometry().size(), QSize(700, 480));
    run.window->showMaximized();
    QVERIFY(run.window->windowState() & Qt::WindowMaximized);
    QTRY_VERIFY(run.window->geometry().size() != QSize(700, 480));  // the screen's size now
    run.window->close();
  }
  const WindowPlacement p = StoredSettings(Reg()).Position;
  QCOMPARE(p.State, 2);
  QCOMPARE(QRect(p.Left, p.Top, p.Width, p.Height), QRect(30, 40, 700, 480));
  Run again(Reg());
  again.window->show();
  QVERIFY(again.window->windowState() & Qt::WindowMaximized);
}

void MainWindowTest::ClosedAtStopStoresTheSpeedBeforeIt() {
  StoreSettings(Reg(), [](Settings& s) { s.Rapid = 5; });
  {
    Run run(Reg());
    run.window->show();
    run.window->InstrumentLink().Controls.AStopExecute();
    QCOMPARE(run.state.Settings.Rapid, 2);
    run.window->close();
  }
  QCOMPARE(StoredSettings(Reg()).Rapid, 5);
  {
    // Not stopped: the speed chosen last is stored, not the one before it.
    Run run(Reg());
    run.window->show();
    run.window->InstrumentLink().Controls.SpeedBoxChange(7);
    run.window->close();
  }
  QCOMPARE(StoredSettings(Reg()).Rapid, 7);
}

void MainWindowTest::MessageWindowClosedAndShownAgain() {
  StoreSettings(Reg(), [](Settings& s) { s.MsgWindow = WindowPlacement{120, 340, 300, 280, true, 0, 0}; });
  Run run(Reg());
  TQelMainForm& w = *run.window;
  w.show();
  TQelMessageForm& m = w.MessageForm();
  QVERIFY(m.isVisible() && w.Action("AMessageView")->isChecked());
  QCOMPARE(m.pos(), QPoint(340, 120));
  QVERIFY(!(m.windowFlags() & Qt::WindowStaysOnTopHint));  // the stored style, not the design's
  m.move(350, 130);
  m.close();
  QVERIFY(!m.isVisible() && !w.Action("AMessageView")->isChecked() && !run.state.Settings.MsgWindow.Visible);
  w.Action("AMessageView")->trigger();
  QVERIFY(m.isVisible() && run.state.Settings.MsgWindow.Visible);
  QCOMPARE(m.pos(), QPoint(350, 130));
  w.close();
  const WindowPlacement p = StoredSettings(Reg()).MsgWindow;
  QCOMPARE(QRect(p.Left, p.Top, p.Width, p.Height), QRect(350, 130, 280, 300));
  QVERIFY(p.Visible);
  QCOMPARE(p.Style, 0);
}

void MainWindowTest::MessageLogKeepsTheNewestLines() {
  // Hidden, the lines wait; shown, they reach the view a frame at a time.
  // Either way the newest lines stay, with the note that older ones go, and
  // never more than the cap.
  for (const bool shown : {false, true}) {
    TQelMessageForm m;
    if (shown) m.show();
    QCOMPARE(m.Msg().toPlainText(), QString("<Нет сообщений>"));
    m.findChild<QPushButton*>("ClrBtn")->click();
    m.AppendLine("первая");
    QCOMPARE(m.Msg().toPlainText(), QString("первая"));  // the placeholder does not come back
    const int total = TQelMessageForm::MaxLines + TQelMessageForm::TrimBatch + 1;
    for (int i = 1; i < total; ++i) {
      m.AppendLine(QString::number(i));
      if (i % 700 == 0) m.Msg();  // a frame's lines reach the view
    }
    const QTextDocument* doc = m.Msg().document();
    QCOMPARE(doc->blockCount(), TQelMessageForm::MaxLines);
    QCOMPARE(m.LineCount(), TQelMessageForm::MaxLines);
    QCOMPARE(doc->lastBlock().text(), QString::number(total - 1));
    // The oldest lines went, and the log says once that they go.
    QCOMPARE(doc->toPlainText().count("последние 20000 строк"), 1);
    QVERIFY(!doc->toPlainText().contains("первая"));
  }
}

void MainWindowTest::RecentFilesCompareWholePaths() {
  RecentFileList list;
  InsertRecentFile(list, "/data/a.qel");
  InsertRecentFile(list, "/data/../data/a.qel");  // the same file
  QCOMPARE(list.size(), std::size_t{1});
  InsertRecentFile(list, "/mnt/data/a.qel");  // holds an entry as a substring: still another file
  InsertRecentFile(list, "/data/a.qel.bak");
  QCOMPARE(list, (RecentFileList{"/data/a.qel.bak", "/mnt/data/a.qel", "/data/a.qel"}));
  RecentFileList full;
  for (int i = 0; i < 20; ++i) full.push_back("/f/" + std::to_string(i) + ".qel");
  RecentFileList relisted = full;
  InsertRecentFile(relisted, "/f/3.qel");  // listed: keeps its place, the full list loses its last
  QCOMPARE(relisted.size(), std::size_t{19});
  QCOMPARE(relisted[3], std::string("/f/3.qel"));
  InsertRecentFile(full, "/f/new.qel");
  QCOMPARE(full.size(), std::size_t{20});
  QCOMPARE(full.front(), std::string("/f/new.qel"));
  QCOMPARE(full.back(), std::string("/f/18.qel"));
}

void MainWindowTest::RecentItemThreeOpensTheFourthEntry() {
  test::TempDir d;
  RecentFileList recent;
  for (int i = 0; i < 5; ++i) {
    const std::string path = d.File(QString("s%1.qel").arg(i).toStdString());
    test::Spit(path, SpectrumBytes(static_cast<std::uint16_t>(100 * i), 2048 + i, 3));
    recent.push_back(path);
  }
  recent[4] = d.File("gone.qel");
  StoreSettings(Reg(), [](Settings&) {}, recent);
  Run run(Reg());
  TQelMainForm& w = *run.window;
  w.show();
  QMenu* quick = w.findChild<QMenu*>("QuickOpenMenu");
  QCOMPARE(quick->actions().size(), 5);
  QVERIFY(w.findChild<QMenu*>("ListItem")->isEnabled());
  QAction* item = quick->actions().at(3);
  QCOMPARE(item->text(), QString::fromStdString("3 - " + recent[3]));
  item->trigger();
  QCOMPARE(run.state.Settings.LastOpen, recent[3]);
  QCOMPARE(w.windowTitle(), QString("КЕЛ - s3.qel"));
  QCOMPARE(run.state.Store.CurrentSpectrum[300].Value, 2051);
  QCOMPARE(run.state.RecentFiles, recent);  // not reordered
  QVERIFY(!w.Action("AAnalyse")->isEnabled() && w.Action("AAnalyse")->isChecked());
  // A vanished file is said so; the spectrum, caption, LastOpen and the list
  // stay as they were (the drive may come back).
  QSignalSpy boxes(&run.errors, &ErrorBoxes::BoxOpened);
  w.findChild<QMenu*>("ListItem")->actions().at(4)->trigger();
  QVERIFY(boxes.wait(1000));
  QCOMPARE(boxes[0][0].toString(), QString::fromStdString("Файл не найден: " + recent[4]));
  QCOMPARE(w.windowTitle(), QString("КЕЛ - s3.qel"));
  QCOMPARE(run.state.Settings.LastOpen, recent[3]);
  QCOMPARE(run.state.Store.CurrentSpectrum[300].Value, 2051);
  QCOMPARE(run.state.RecentFiles, recent);
  run.errors.OpenBox()->accept();
}

void MainWindowTest::OpenSaveCloseThroughTheDialogs() {
  test::TempDir d;
  QDir().mkpath(QString::fromStdString(d.File("out")));
  const std::string in = d.File("in.qel");
  test::Spit(in, SpectrumBytes(1000, 3000, 4));
  StoreSettings(Reg(), [&](Settings& s) { s.WorkDir = d.Path(); });
  Run run(Reg());
  TQelMainForm& w = *run.window;
  w.show();
  QString openTitle;
  test::OnModal("QelOpenDlg", [&](QWidget* widget) {
    auto* dlg = qobject_cast<QFileDialog*>(widget);
    QVERIFY(dlg);
    openTitle = dlg->windowTitle();
    dlg->selectFile(QString::fromStdString(in));
    QMetaObject::invokeMethod(dlg, "accept");
  });
  w.Action("AOpenFile")->trigger();
  QCOMPARE(openTitle, QString("Открыть фаил спектра"));
  QCOMPARE(w.windowTitle(), QString("КЕЛ - in.qel"));
  QCOMPARE(QelApplication::Title(), QString("КЕЛ - in.qel"));
  QCOMPARE(run.state.Store.CurrentSpectrum[1003].Value, 3000);
  QCOMPARE(run.state.Settings.WorkDir, d.Path() + "/");
  QCOMPARE(run.state.RecentFiles.front(), in);
  QVERIFY(w.Action("ASaveFileAs")->isEnabled());
  // The dialogs are made for each use: none is left behind watching a folder.
  QVERIFY(!w.findChild<QFileDialog*>("QelOpenDlg"));

  const std::string out = d.File("out/copy.qel");
  w.Action("ABackUp")->setEnabled(true);  // as after a processing command
  QString title, suffix, folder;
  QStringList filters;
  bool confirms = false;
  test::OnModal("QelSaveDlg", [&](QWidget* widget) {
    auto* dlg = qobject_cast<QFileDialog*>(widget);
    QVERIFY(dlg);
    title = dlg->windowTitle();
    suffix = dlg->defaultSuffix();
    filters = dlg->nameFilters();
    folder = dlg->directory().absolutePath();
    confirms = !dlg->testOption(QFileDialog::DontConfirmOverwrite);
    dlg->selectFile(QString::fromStdString(out));
    QMetaObject::invokeMethod(dlg, "accept");
  });
  w.Action("ASaveFileAs")->trigger();
  QCOMPARE(title, QString("Сохранить фаил спектра"));
  QCOMPARE(suffix, QString("qel"));
  QCOMPARE(filters, QStringList("Файлы спектров (*.qel)"));
  QCOMPARE(folder, QDir(QString::fromStdString(d.Path())).absolutePath());
  QVERIFY(confirms);
  QVERIFY(!w.findChild<QFileDialog*>("QelSaveDlg"));
  // The spectrum with its ten parameter records; the caption and LastOpen stay.
  QCOMPARE(test::Slurp(out).size(), std::size_t{(4 + 10) * 4});
  QCOMPARE(test::Slurp(out).substr(0, 16), SpectrumBytes(1000, 3000, 4));
  QCOMPARE(run.state.Settings.WorkDir, d.File("out/"));
  QVERIFY(!w.Action("ABackUp")->isEnabled());
  QCOMPARE(run.state.Settings.LastOpen, in);
  QCOMPARE(w.windowTitle(), QString("КЕЛ - in.qel"));

  w.Action("ACloseSpectr")->trigger();
  QCOMPARE(w.windowTitle(), QString("КЕЛ"));
  QVERIFY(run.state.Settings.LastOpen.empty() && !w.Action("ASaveFileAs")->isEnabled());
  QCOMPARE(run.state.Store.FindFirstValid(0, 65535), 65535);
  QVERIFY(!run.errors.Busy());
}

void MainWindowTest::BadFilesShowOneBoxAndKeepTheSpectrum() {
  test::TempDir d;
  const std::string good = d.File("good.qel");
  test::Spit(good, SpectrumBytes(500, 2500, 2));
  const std::string big = d.File("big.qel");
  test::Spit(big, std::string(262148, '\0'));
  const std::string unreadable = d.File("loop.qel");  // a link to itself: no reading it, root or not
  QFile::link(QString::fromStdString(unreadable), QString::fromStdString(unreadable));
  StoreSettings(Reg(), [&](Settings& s) {
    s.LastOpen = good;
    s.WorkDir = d.Path();
  });
  Run run(Reg());
  TQelMainForm& w = *run.window;
  w.show();  // analyse mode re-opens LastOpen
  QCOMPARE(w.windowTitle(), QString("КЕЛ - good.qel"));
  const SpectrumBuffer before = run.state.Store.CurrentSpectrum;
  for (const std::string& bad : {big, unreadable}) {
    QSignalSpy boxes(&run.errors, &ErrorBoxes::BoxOpened);
    AnswerDialog("QelOpenDlg", QString::fromStdString(bad));
    w.Action("AOpenFile")->trigger();
    QVERIFY(boxes.wait(1000));
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes[0][0].toString().contains(QString::fromStdString(bad)), qPrintable(boxes[0][0].toString()));
    QVERIFY(run.state.Store.CurrentSpectrum == before);
    QCOMPARE(w.windowTitle(), QString("КЕЛ - good.qel"));
    QCOMPARE(run.state.Settings.LastOpen, good);
    QCOMPARE(run.state.RecentFiles.size(), std::size_t{0});
    run.errors.OpenBox()->accept();
    QTRY_VERIFY(!run.errors.Busy());
  }
}

void MainWindowTest::StoredStateIsAppliedAtStart() {
  test::TempDir d;
  const std::string file = d.File("last.qel");
  test::Spit(file, SpectrumBytes(10, 2100, 2));
  StoreSettings(Reg(), [&](Settings& s) {
    s.Mode = true;  // receive mode: the last file is not re-opened
    s.LastOpen = file;
    s.EnableRTLPF = true;
    s.ADCFreq = 250;
    s.Position = WindowPlacement{5000, 6000, 480, 700, true, 0, 0};  // a monitor that is gone
  });
  Run run(Reg());
  TQelMainForm& w = *run.window;
  w.show();
  QCOMPARE(w.windowTitle(), QString("Программа анализа спектров КЕЛ.  Talvor"));
  QCOMPARE(run.state.Store.FindFirstValid(0, 65535), 65535);
  QVERIFY(w.Action("ASwLPF")->isChecked() && !w.Action("ASWSum")->isChecked());
  QCOMPARE(w.Driver().TimerInterval(LinkTimer::ADCTimer), 250);
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  QVERIFY(screen.contains(w.geometry().topLeft()));
  QCOMPARE(w.geometry().size(), QSize(700, 480));
  // "Коррекция" shows the correction group exactly when it is checked.
  QWidget* corr = w.findChild<QWidget*>("CorrPanel");
  w.Action("ACorr")->trigger();
  QVERIFY(w.Action("ACorr")->isChecked() && corr->isVisible());
  w.Action("ACorr")->trigger();
  QVERIFY(!corr->isVisible());
  w.Driver().SetTimerEnabled(LinkTimer::QelTimer, false);
  w.Action("AAnalyse")->trigger();
  w.close();
  QVERIFY(!StoredSettings(Reg()).Mode);  // the mode at the end is the next start's
}

void MainWindowTest::UnitsOfAnOpenedFileAreNotStored() {
  test::TempDir d;
  const std::string a = d.File("a.qel"), b = d.File("b.qel");
  test::Spit(a, RecordedRange(31000, 34000));
  test::Spit(b, RecordedRange(32000, 35000));
  StoreSettings(Reg(), [](Settings&) {});
  {
    Run run(Reg());
    TQelMainForm& w = *run.window;
    w.show();
    const Settings& s = run.state.Settings;
    w.Files().OpenSpectrumFile(QString::fromStdString(a));
    QCOMPARE(s.RazvUnits[3].X1, 3100.0);
    // A second file without a close between: the first one's range is what
    // the close brings back.
    w.Files().OpenSpectrumFile(QString::fromStdString(b));
    QCOMPARE(s.RazvUnits[3].X1, 3200.0);
    w.Action("ACloseSpectr")->trigger();
    QCOMPARE(s.RazvUnits[3].X1, 3100.0);
    w.Files().OpenSpectrumFile(QString::fromStdString(b));
    w.close();  // the units before the open are the ones stored
  }
  const Settings stored = StoredSettings(Reg());
  QCOMPARE(stored.RazvUnits[3].X1, 3100.0);
  QCOMPARE(stored.RazvUnits[3].X2, 3400.0);
}

void MainWindowTest::OpeningAFileLeavesReceiveMode() {
  test::TempDir d;
  const std::string file = d.File("r.qel");
  test::Spit(file, SpectrumBytes(10, 2100, 2));
  StoreSettings(Reg(), [](Settings& s) { s.Mode = true; }, {file});
  Run run(Reg());
  TQelMainForm& w = *run.window;
  w.show();
  QVERIFY(w.Action("AReceive")->isChecked());
  // A cancelled open dialog still leaves receive mode.
  test::OnModal([](QWidget* w) {
    auto* dlg = qobject_cast<QFileDialog*>(w);
    QVERIFY(dlg);
    dlg->reject();
  });
  w.Action("AOpenFile")->trigger();
  QVERIFY(w.Action("AAnalyse")->isChecked() && !w.Action("AReceive")->isChecked());
  QVERIFY(!w.Driver().TimerActive(LinkTimer::QelTimer));
  // So does a recent file.
  w.Action("AReceive")->trigger();
  QVERIFY(w.Driver().TimerActive(LinkTimer::QelTimer));
  w.findChild<QMenu*>("QuickOpenMenu")->actions().at(0)->trigger();
  QVERIFY(w.Action("AAnalyse")->isChecked() && !w.Driver().TimerActive(LinkTimer::QelTimer));
  QCOMPARE(w.windowTitle(), QString("КЕЛ - r.qel"));
}

void MainWindowTest::AboutBoxAndAdcWindowAsDesigned() {
  Run run(Reg());
  TQelMainForm& w = *run.window;
  w.show();
  test::OnModal([](QWidget* about) {
    QCOMPARE(about->windowTitle(), QString("О программе"));
    QCOMPARE(about->size(), QSize(392, 271));
    QCOMPARE(about->findChild<QLabel*>("Title")->text(), QString("Talvor"));
    QVERIFY(about->findChild<QLabel*>("Label3")->text().contains(QEL_TEST_VERSION));
    QCOMPARE(about->findChild<QLabel*>("Label4")->text(), QCoreApplication::applicationFilePath());
    QVERIFY(about->findChild<QPlainTextEdit*>("Memo1")->isReadOnly());
    about->close();
  });
  w.Action("AAbout")->trigger();
  QCOMPARE(w.AdcForm().windowTitle(), QString("ВХОД  АЦП"));
  QCOMPARE(w.AdcForm().size(), QSize(144, 53));
  QVERIFY(w.AdcForm().windowFlags() & Qt::WindowStaysOnTopHint);
}

void MainWindowTest::ErrorsShowOneBoxAtATime() {
  Run run(Reg());
  run.window->show();
  QSignalSpy boxes(&run.errors, &ErrorBoxes::BoxOpened);
  const int before = run.window->MessageForm().LineCount();
  run.window->ShowError("первая");
  run.window->ShowError("вторая");  // the same moment: logged, and waits for its box
  QVERIFY(boxes.wait(1000));
  QCOMPARE(run.errors.OpenBox()->text(), QString("первая"));
  run.window->ShowError("третья");  // while the box is open: the same
  run.window->ShowError("вторая");  // already waiting: logged only
  run.window->ShowError("первая");  // on screen: logged only
  QCoreApplication::processEvents();
  QCOMPARE(boxes.size(), 1);
  QCOMPARE(run.window->MessageForm().LineCount(), before + 4);
  QVERIFY(run.window->MessageForm().Msg().toPlainText().endsWith("вторая\nтретья\nвторая\nпервая"));
  QCOMPARE(run.errors.OpenBox()->icon(), QMessageBox::Warning);
  QCOMPARE(run.errors.OpenBox()->buttons().size(), 1);
  // Every text gets its box, one after another, none twice.
  for (const char* next : {"вторая", "третья"}) {
    run.errors.OpenBox()->accept();
    QVERIFY(boxes.wait(1000));
    QCOMPARE(boxes.last()[0].toString(), QString(next));
  }
  run.errors.OpenBox()->accept();
  QTRY_VERIFY(!run.errors.Busy());
  QCOMPARE(boxes.size(), 3);
  // A flood: the first 20 waiting get boxes, then one that shows the log;
  // and so again for a later flood.
  QVERIFY(!run.window->MessageForm().isVisible());
  for (const QString flood : {"a", "b"}) {
    run.window->ShowError(flood + "0");
    for (int i = 1; i <= 30; ++i) run.window->ShowError(flood + QString::number(i));
    QVERIFY(boxes.wait(1000));
    QCOMPARE(run.errors.Waiting(), 21);
    for (int i = 0; i < 21; ++i) {
      run.errors.OpenBox()->accept();
      QVERIFY(boxes.wait(1000));
    }
    QCOMPARE(boxes.at(boxes.size() - 2)[0].toString(), flood + "20");
    QCOMPARE(boxes.last()[0].toString(), QString("Есть и другие сообщения об ошибках: они в окне сообщений"));
    QVERIFY(run.window->MessageForm().isVisible() && run.window->Action("AMessageView")->isChecked());
    QVERIFY(run.window->MessageForm().Msg().toPlainText().endsWith(flood + "29\n" + flood + "30"));
    run.errors.OpenBox()->accept();
    QTRY_VERIFY(!run.errors.Busy());
  }
}

namespace {
class Thrower : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) throw std::runtime_error("Файл \"x.qel\" не записан: нет места");
    return QObject::event(e);
  }
};
}  // namespace

void MainWindowTest::EscapedExceptionIsShown() {
  auto* app = dynamic_cast<QelApplication*>(QCoreApplication::instance());
  QVERIFY(app);
  QSignalSpy boxes(&app->Errors(), &ErrorBoxes::BoxOpened);
  Thrower t;
  QCoreApplication::postEvent(&t, new QEvent(QEvent::User));
  QVERIFY(boxes.wait(1000));
  QCOMPARE(boxes[0][0].toString(), QString("Файл \"x.qel\" не записан: нет места"));
  app->Errors().OpenBox()->accept();
  QTRY_VERIFY(!app->Errors().Busy());
}

void MainWindowTest::SettingsProblemIsShownAtStart() {
  test::TempDir d;
  test::Spit(d.File("1.0.reg"), "это не файл реестра\n");
  ProgramState state;
  RegFileStore store(d.File("1.0.reg"));
  QVERIFY(!store.LoadProblem().empty());
  ErrorBoxes errors;
  QSignalSpy boxes(&errors, &ErrorBoxes::BoxOpened);
  TQelMainForm w(state, store, errors, ",", {QString::fromStdString(store.LoadProblem())});
  w.show();
  QVERIFY(boxes.wait(1000));
  QVERIFY(boxes[0][0].toString().contains(QString::fromStdString(d.File("1.0.reg"))));
  errors.OpenBox()->accept();
  w.close();
}

void MainWindowTest::PlacementOffEveryScreenIsBroughtBack() {
  const QList<QRect> screens{QRect(0, 0, 1280, 800), QRect(1280, 0, 1024, 768)};
  // On a screen, or only partly off it with its title bar to grab: kept.
  QCOMPARE(FitOnScreens(QRect(100, 50, 700, 500), screens), QRect(100, 50, 700, 500));
  QCOMPARE(FitOnScreens(QRect(2200, 700, 700, 500), screens), QRect(2200, 700, 700, 500));
  // The second monitor unplugged: back onto the first, size kept.
  QCOMPARE(FitOnScreens(QRect(1400, 100, 700, 500), screens.mid(0, 1)), QRect(580, 100, 700, 500));
  // Far below everything, and larger than the nearest screen.
  QCOMPARE(FitOnScreens(QRect(1300, 5000, 1200, 900), screens), QRect(1280, 0, 1024, 768));
  QCOMPARE(FitOnScreens(QRect(-900, -40, 700, 500), screens), QRect(0, 0, 700, 500));
}

int main(int argc, char** argv) {
  qel::QelApplication app(argc, argv);
  MainWindowTest t;
  return QTest::qExec(&t, argc, argv);
}

#include "main_window_test.moc"
