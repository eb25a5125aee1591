// The units dialog and the automatic-save dialog opened from the window's
// commands, on the offscreen platform: what OK and Cancel leave in the
// settings, in the settings file and on the window.

#include <QCheckBox>
#include <QClipboard>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeView>
#include <QtTest>

#include <cmath>
#include <filesystem>
#include <memory>

#include "app/error_boxes.h"
#include "app/main_window.h"
#include "app/qel_application.h"
#include "display/screen_box.h"
#include "display/view_window.h"
#include "model/reg_file_store.h"
#include "model/units.h"
#include "tests/app/modal.h"
#include "tests/app/typing.h"
#include "tests/app/window_rig.h"
#include "tests/model/test_dir.h"

using namespace qel;

namespace {

using Run = test::WindowRig;

using test::OnModal;
using test::TypeOver;

void Click(QWidget* dialog, const char* button) {
  auto* b = dialog->findChild<QPushButton*>(button);
  QVERIFY2(b, button);
  b->click();
}

template <typename T = QLineEdit>
T* Child(QWidget* dialog, const QString& name) {
  T* w = dialog->findChild<T*>(name);
  if (!w) qFatal("no widget %s", qPrintable(name));
  return w;
}

// Clicks "Разрешить изменения" and gives `answer` to its question.
void ClickEnableBox(QWidget* dialog, QMessageBox::StandardButton answer) {
  OnModal([answer](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    QVERIFY(box);
    QCOMPARE(box->objectName(), QString("EnableQuestion"));
    QCOMPARE(box->text(), QString("Вы уверены в том, что хотите изменить калибровочные параметры?"));
    box->button(answer)->click();
  });
  Child<QCheckBox>(dialog, "EnableBox")->click();
}

// OK, expecting a refusal: the message's text, with the dialog left open.
QString OkRefused(QWidget* dialog, const char* boxName) {
  auto text = std::make_shared<QString>();
  OnModal([text, boxName](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    QVERIFY(box);
    QCOMPARE(box->objectName(), QString(boxName));
    *text = box->text();
    box->button(QMessageBox::Ok)->click();
  });
  Click(dialog, "OKBtn");
  if (!dialog->isVisible()) qWarning("the dialog closed");
  return *text;
}

bool SameUnits(const Settings& a, const Settings& b) {
  return a.RazvUnits == b.RazvUnits && a.AmpUnits == b.AmpUnits && a.CorrUnits == b.CorrUnits &&
         a.ADCUnits == b.ADCUnits && a.RazvUnit == b.RazvUnit && a.AmpUnit == b.AmpUnit && a.CorrUnit == b.CorrUnit &&
         a.ADCUnit == b.ADCUnit;
}

}  // namespace

class SettingsDialogsTest : public QObject {
  Q_OBJECT
 private slots:
  void init() { dir_ = std::make_unique<test::TempDir>(); }
  void UnitsOkUntouchedRecalibratesAndSaves();
  void UnitsCancelChangesNothing();
  void UnitsLockedByTheQuestionAreNotSaved_data();
  void UnitsLockedByTheQuestionAreNotSaved();
  void UnitsOkFormatsTheWindowAnewAndResends();
  void UnitsRefusedTextKeepsTheDialogOpen_data();
  void UnitsRefusedTextKeepsTheDialogOpen();
  void UnitsTypedWithTheLocaleSeparator_data();
  void UnitsTypedWithTheLocaleSeparator();
  void UnitsEditingKeysWork();
  void AutoSaveExampleName_data();
  void AutoSaveExampleName();
  void AutoSaveOkAndCancel();
  void AutoSaveNumbersTypedWhole();
  void AutoSaveOffKeepsWorkDir();
  void AutoSaveTreeShowsTheWorkDir();
  void AutoSaveUnwritableFolderRefused();
  void PassArchiveOkAndCancel();

 private:
  std::unique_ptr<test::TempDir> dir_;
};

void SettingsDialogsTest::UnitsOkUntouchedRecalibratesAndSaves() {
  Run run(dir_->Path(), [](Settings& s) {
    s.Mode = false;
    s.AmpUnit = 1;  // stored choices that are not the first
    s.CorrUnit = 1;
    s.ADCUnit = 3;
    s.ViewMin = 1000;
  });
  run.window->InstrumentLink().Flags.BoundsAcked = true;
  run.window->InstrumentLink().Flags.CorrAcked = true;
  QCOMPARE(run.Stored().RazvUnits[0].KoeffK, 1.0);
  OnModal([](QWidget* w) {
    QCOMPARE(w->objectName(), QString("UnitSetupForm"));
    QCOMPARE(w->windowTitle(), QString("Выбор измеряемых параметров"));
    QCOMPARE(Child(w, "RazvMax0")->text(), QString("65519"));
    QCOMPARE(Child(w, "RazvMin3")->text(), QString("3000"));
    QCOMPARE(Child<QLabel>(w, "RazvLbl2")->text(), QString("Э"));
    QCOMPARE(Child<QLabel>(w, "CorrLbl1")->text(), QString("мВ"));
    QVERIFY(Child(w, "ADCMax4")->isReadOnly());
    Child<QRadioButton>(w, "RazvChoice1")->click();  // amperes
    Click(w, "OKBtn");
  });
  run.window->Action("AOpenUnits")->trigger();
  QCOMPARE(run.S().RazvUnit, 1);
  QCOMPARE(run.S().AmpUnit, 1);
  QCOMPARE(run.S().CorrUnit, 1);
  QCOMPARE(run.S().ADCUnit, 3);
  // The view and bound texts in the new unit, also in analyse mode.
  const QString viewMin = QString::fromStdString(FormatField(run.S(), 1000, ","));
  QVERIFY(viewMin.endsWith(" А"));
  QCOMPARE(run.window->findChild<QLineEdit*>("MinViewExt")->text(), viewMin);
  QCOMPARE(run.Find<QLineEdit>("BotFieldExt")->text(), QString::fromStdString(FormatField(run.S(), 0, ",")));
  // Recalibrated over the codes 0 and 65535, kept as the stored copy too.
  const double slope = run.S().RazvUnits[0].KoeffK;
  QVERIFY2(std::abs(slope - 65519.0 / 65535.0) < 1e-15, qPrintable(QString::number(slope, 'g', 17)));
  QCOMPARE(run.S().RazvUnits[4], run.S().RazvUnits[0]);
  // Without touching the box, OK still saves.
  QCOMPARE(run.Stored().RazvUnits[0].KoeffK, slope);
  // In analyse mode nothing is sent again.
  QVERIFY(run.window->InstrumentLink().Flags.BoundsAcked);
  QVERIFY(run.window->InstrumentLink().Flags.CorrAcked);
}

void SettingsDialogsTest::UnitsCancelChangesNothing() {
  Run run(dir_->Path(), [](Settings&) {});
  const Settings before = run.S();
  const std::string file = test::Slurp(run.path);
  OnModal([](QWidget* w) {
    ClickEnableBox(w, QMessageBox::Yes);
    Child(w, "AmpMax1")->setText("20");
    Child<QRadioButton>(w, "RazvChoice2")->click();
    Click(w, "CancelBtn");
  });
  run.window->Action("AOpenUnits")->trigger();
  QVERIFY(SameUnits(run.S(), before));
  QCOMPARE(test::Slurp(run.path), file);
}

void SettingsDialogsTest::UnitsLockedByTheQuestionAreNotSaved_data() {
  QTest::addColumn<int>("answerCode");
  QTest::newRow("no") << int(QMessageBox::No);
  QTest::newRow("cancel") << int(QMessageBox::Cancel);
  QTest::newRow("yes, then unchecked") << int(QMessageBox::Yes);
}

void SettingsDialogsTest::UnitsLockedByTheQuestionAreNotSaved() {
  QFETCH(int, answerCode);
  const auto answer = static_cast<QMessageBox::StandardButton>(answerCode);
  Run run(dir_->Path(), [](Settings&) {});
  const std::string file = test::Slurp(run.path);
  OnModal([answer](QWidget* w) {
    auto* box = Child<QCheckBox>(w, "EnableBox");
    QVERIFY(!box->isChecked());
    ClickEnableBox(w, answer);
    QCOMPARE(box->isChecked(), answer == QMessageBox::Yes);
    QCOMPARE(Child(w, "RazvMin0")->isReadOnly(), answer != QMessageBox::Yes);
    QCOMPARE(Child(w, "ADCMax4")->isReadOnly(), answer != QMessageBox::Yes);
    if (answer == QMessageBox::Yes) {
      box->click();  // unchecked again: no question, locked
      QVERIFY(!box->isChecked());
      QVERIFY(Child(w, "CorrMax1")->isReadOnly());
    }
    Child<QRadioButton>(w, "RazvChoice1")->click();
    Click(w, "OKBtn");
  });
  run.window->Action("AOpenUnits")->trigger();
  QCOMPARE(run.S().RazvUnit, 1);  // applied to the run,
  QCOMPARE(test::Slurp(run.path), file);  // but not written
}

void SettingsDialogsTest::UnitsOkFormatsTheWindowAnewAndResends() {
  Run run(dir_->Path(), [](Settings& s) {
    s.Mode = true;
    s.PoleMin = 1000;
    s.PoleMax = 60000;
    s.Correction = 1000;
  });
  Link& link = run.window->InstrumentLink();
  link.Controls.GainStatus(0x00);  // program control: the correction group comes alive
  link.Flags.BoundsAcked = true;
  link.Flags.CorrAcked = true;
  QCOMPARE(run.Find<QLineEdit>("TopFieldExt")->text(), QString("60000"));
  int repaints = 0;
  connect(&run.window->View().Plot(), &ScreenBox::BackgroundDrawn, [&] { ++repaints; });
  OnModal([](QWidget* w) {
    Child<QRadioButton>(w, "RazvChoice1")->click();  // "Ток электромагнита,  А"
    Child<QRadioButton>(w, "CorrChoice1")->click();  // "Напряжение, мВ"
    Click(w, "OKBtn");
  });
  run.window->Action("AOpenUnits")->trigger();
  QCOMPARE(run.S().RazvUnit, 1);
  QCOMPARE(run.S().CorrUnit, 1);
  auto field = [&](int code) { return QString::fromStdString(FormatField(run.S(), static_cast<std::uint16_t>(code), ",")); };
  QCOMPARE(run.Find<QLineEdit>("BotFieldExt")->text(), field(1000));
  QCOMPARE(run.Find<QLineEdit>("TopFieldExt")->text(), field(60000));
  QVERIFY(field(60000).endsWith(" А"));
  QCOMPARE(run.Find<QLineEdit>("MinViewExt")->text(), field(run.S().ViewMin));
  QCOMPARE(run.Find<QLineEdit>("MaxViewExt")->text(), field(run.S().ViewMax));
  QVERIFY(run.Find<QLineEdit>("MaxViewExt")->text().endsWith(" А"));
  QCOMPARE(run.Find<QLineEdit>("CorrEditExt")->text(), QString::fromStdString(FormatCorrection(run.S(), 1000, ",")));
  QVERIFY(run.Find<QLineEdit>("CorrEditExt")->text().endsWith(" мВ"));
  QVERIFY(repaints >= 1);
  // Receive mode: the bounds (111) and the correction (133) are sent again.
  QVERIFY(!link.Flags.BoundsAcked);
  QVERIFY(!link.Flags.CorrAcked);
}

void SettingsDialogsTest::UnitsRefusedTextKeepsTheDialogOpen_data() {
  QTest::addColumn<QString>("minField");
  QTest::addColumn<QString>("minText");
  QTest::addColumn<QString>("maxField");
  QTest::addColumn<QString>("maxText");
  QTest::addColumn<int>("page");
  QTest::addColumn<QStringList>("said");
  QTest::newRow("not a number") << "AmpMin1" << "-10" << "AmpMax1" << "1-0" << 1
                                << QStringList{"\"Спектр\"", "\"Напряжение, В\"", "Max", "'1-0'"};
  QTest::newRow("empty") << "ADCMin4" << "" << "ADCMax4" << "9000" << 3
                         << QStringList{"\"Вход АЦП\"", "\"Напряженность поля, Э\"", "Min", "''"};
  QTest::newRow("equal sweep anchors") << "RazvMin0" << "7" << "RazvMax0" << "7" << 0
                                       << QStringList{"\"Развёртка\"", "\"Ток электромагнита, отсчет ЦАП\"",
                                                      "совпадают"};
  QTest::newRow("equal correction anchors") << "CorrMin0" << "5,0" << "CorrMax0" << "5" << 2
                                            << QStringList{"\"Коррекция\"", "\"Напряжение, отсчет ЦАП\"",
                                                           "совпадают"};
}

void SettingsDialogsTest::UnitsRefusedTextKeepsTheDialogOpen() {
  QFETCH(QString, minField);
  QFETCH(QString, minText);
  QFETCH(QString, maxField);
  QFETCH(QString, maxText);
  QFETCH(int, page);
  QFETCH(QStringList, said);
  Run run(dir_->Path(), [](Settings&) {});
  const Settings before = run.S();
  const std::string file = test::Slurp(run.path);
  OnModal([&](QWidget* w) {
    // A change before the bad page, which must not be applied either.
    Child(w, "RazvMax1")->setText("6");
    Child<QRadioButton>(w, "ADCChoice2")->click();
    Child(w, minField)->setText(minText);
    Child(w, maxField)->setText(maxText);
    const QString text = OkRefused(w, "UnitErrorBox");
    for (const QString& part : said) QVERIFY2(text.contains(part), qPrintable(text));
    QVERIFY(w->isVisible());
    QCOMPARE(Child<QTabWidget>(w, "UnitPages")->currentIndex(), page);
    Click(w, "CancelBtn");
  });
  run.window->Action("AOpenUnits")->trigger();
  QVERIFY(SameUnits(run.S(), before));
  QCOMPARE(test::Slurp(run.path), file);
}

void SettingsDialogsTest::UnitsTypedWithTheLocaleSeparator_data() {
  QTest::addColumn<QString>("sep");
  QTest::addColumn<QString>("other");
  QTest::newRow("comma") << "," << ".";
  QTest::newRow("point") << "." << ",";
}

void SettingsDialogsTest::UnitsTypedWithTheLocaleSeparator() {
  QFETCH(QString, sep);
  QFETCH(QString, other);
  Run run(dir_->Path(), [](Settings& s) { s.RazvUnits[3].X1 = 3123.4; }, sep.toStdString());
  OnModal([&](QWidget* w) {
    // The loaded range is written with the separator and taken back as it stands.
    QCOMPARE(Child(w, "RazvMin3")->text(), "3123" + sep + "4");
    ClickEnableBox(w, QMessageBox::Yes);
    // Either separator is typed as the separator; the letter is dropped.
    QLineEdit* e = Child(w, "RazvMax3");
    e->setFocus();
    e->selectAll();
    QTest::keyClicks(e, "33" + other + "2x5");
    QCOMPARE(e->text(), "33" + sep + "25");
    QLineEdit* f = Child(w, "RazvMax2");
    f->setFocus();
    f->selectAll();
    QTest::keyClicks(f, "1" + sep + "5");
    QCOMPARE(f->text(), "1" + sep + "5");
    Click(w, "OKBtn");
  });
  run.window->Action("AOpenUnits")->trigger();
  QCOMPARE(run.S().RazvUnits[3].X1, 3123.4);
  QCOMPARE(run.S().RazvUnits[3].X2, 33.25);
  QCOMPARE(run.S().RazvUnits[2].X2, 1.5);
}

void SettingsDialogsTest::UnitsEditingKeysWork() {
  Run run(dir_->Path(), [](Settings&) {});
  OnModal([](QWidget* w) {
    ClickEnableBox(w, QMessageBox::Yes);
    QLineEdit* e = Child(w, "AmpMax1");
    QCOMPARE(e->text(), QString("10"));
    e->setFocus();
    e->end(false);
    QTest::keyClick(e, Qt::Key_Backspace);
    QCOMPARE(e->text(), QString("1"));
    QTest::keyClicks(e, "2,5");
    QTest::keyClick(e, Qt::Key_Left);
    QTest::keyClick(e, Qt::Key_Left, Qt::ShiftModifier);
    QTest::keyClick(e, Qt::Key_Delete);  // the selected comma
    QCOMPARE(e->text(), QString("125"));
    QTest::keyClick(e, Qt::Key_Home);
    QTest::keyClick(e, Qt::Key_Delete);
    QCOMPARE(e->text(), QString("25"));
    e->selectAll();
    e->cut();
    QCOMPARE(e->text(), QString());
    QApplication::clipboard()->setText("abc");
    e->paste();  // refused whole
    QCOMPARE(e->text(), QString());
    QApplication::clipboard()->setText("-1,5E-2");
    e->paste();
    QCOMPARE(e->text(), QString("-1,5E-2"));
    Click(w, "OKBtn");
  });
  run.window->Action("AOpenUnits")->trigger();
  QCOMPARE(run.S().AmpUnits[1].X2, -0.015);
}

void SettingsDialogsTest::AutoSaveExampleName_data() {
  QTest::addColumn<QString>("mask");
  QTest::addColumn<int>("number");
  QTest::addColumn<QString>("exam");
  QTest::newRow("default") << "Спектр" << 1 << "Спектр00000001.qel";
  QTest::newRow("replaced characters") << "run 1.5,a/b*c" << 42 << "run_1_5_a_b_c00000042.qel";
  QTest::newRow("backslash") << "a\\b" << 7 << "a_b00000007.qel";
  QTest::newRow("number past the range") << "x" << 123456789 << "x99999999.qel";
}

void SettingsDialogsTest::AutoSaveExampleName() {
  QFETCH(QString, mask);
  QFETCH(int, number);
  QFETCH(QString, exam);
  Run run(dir_->Path(), [](Settings& s) { s.NameMask = "old"; });
  OnModal([&](QWidget* w) {
    QCOMPARE(w->windowTitle(), QString("Настройка автоматическго сохранения спектров"));
    QCOMPARE(Child<QLabel>(w, "Exam")->text(), QString("old00000001.qel"));
    QLineEdit* name = Child(w, "NameMask");
    name->selectAll();
    name->insert(mask);  // as typed or pasted
    Child<QSpinBox>(w, "NumbMask")->setValue(number);
    QCOMPARE(Child<QLabel>(w, "Exam")->text(), exam);
    Click(w, "CancelBtn");
  });
  run.window->Action("AAutoSave")->trigger();
  QCOMPARE(run.S().NameMask, std::string("old"));
  QCOMPARE(run.S().NumbMask, 1);
}

void SettingsDialogsTest::AutoSaveOkAndCancel() {
  const std::string a = dir_->File("a"), b = dir_->File("b");
  std::filesystem::create_directory(a);
  std::filesystem::create_directory(b);
  Run run(dir_->Path(), [&](Settings& s) { s.WorkDir = a; });
  run.window->SetStatusPanel(8, QString("x"));
  // Cancel: nothing changes, not even panel 8.
  OnModal([](QWidget* w) {
    Child<QCheckBox>(w, "OnBox")->setChecked(true);
    Child<QSpinBox>(w, "SaveStep")->setValue(5);
    Click(w, "CancelBtn");
  });
  run.window->Action("AAutoSave")->trigger();
  QVERIFY(!run.S().AutoSave);
  QCOMPARE(run.S().SaveStep, 1);
  QCOMPARE(run.window->PanelText(8), QString("x"));
  // OK with another folder chosen in the tree.
  OnModal([&](QWidget* w) {
    QCOMPARE(Child(w, "Directory")->text(), QString::fromStdString(a));
    QVERIFY(Child(w, "Directory")->isReadOnly());
    QVERIFY(Child<QLabel>(w, "Info")->text().startsWith("На диске /"));
    QVERIFY(Child<QLabel>(w, "Info")->text().endsWith(" Мбайт"));
    auto* view = Child<QTreeView>(w, "DirView");
    auto* model = qobject_cast<QFileSystemModel*>(view->model());
    QVERIFY(model);
    QCOMPARE(model->filePath(view->currentIndex()), QString::fromStdString(a));
    view->setCurrentIndex(model->index(QString::fromStdString(b)));
    QCOMPARE(Child(w, "Directory")->text(), QString::fromStdString(b));
    Child<QCheckBox>(w, "OnBox")->setChecked(true);
    Child<QSpinBox>(w, "SaveStep")->setValue(300);  // clamped to 256
    Child<QSpinBox>(w, "NumbMask")->setValue(17);
    Child(w, "NameMask")->setText("Проба");
    Click(w, "OKBtn");
  });
  run.window->Action("AAutoSave")->trigger();
  QVERIFY(run.S().AutoSave);
  QCOMPARE(run.S().WorkDir, b);
  QCOMPARE(run.S().SaveStep, 256);
  QCOMPARE(run.S().NumbMask, 17);
  QCOMPARE(run.S().NameMask, std::string("Проба"));
  QCOMPARE(run.window->PanelText(8), QString("АВТО"));
  // Switched off: the panel empties.
  OnModal([](QWidget* w) {
    QVERIFY(Child<QCheckBox>(w, "OnBox")->isChecked());
    Child<QCheckBox>(w, "OnBox")->setChecked(false);
    Click(w, "OKBtn");
  });
  run.window->Action("AAutoSave")->trigger();
  QVERIFY(!run.S().AutoSave);
  QCOMPARE(run.window->PanelText(8), QString());
}

void SettingsDialogsTest::AutoSaveNumbersTypedWhole() {
  Run run(dir_->Path(), [](Settings& s) {
    s.SaveStep = 5;
    s.NumbMask = 17;
  });
  // Numbers past the range are typed whole and clamped at OK, which shows them so.
  OnModal([](QWidget* w) {
    auto* step = Child<QSpinBox>(w, "SaveStep");
    auto* numb = Child<QSpinBox>(w, "NumbMask");
    TypeOver(step, "300");
    TypeOver(numb, "123456789");
    QCOMPARE(step->text(), QString("300"));
    QCOMPARE(numb->text(), QString("123456789"));
    QCOMPARE(Child<QLabel>(w, "Exam")->text(), QString("Спектр99999999.qel"));
    Click(w, "OKBtn");
    QCOMPARE(step->text(), QString("256"));
    QCOMPARE(numb->text(), QString("99999999"));
  });
  run.window->Action("AAutoSave")->trigger();
  QCOMPARE(run.S().SaveStep, 256);
  QCOMPARE(run.S().NumbMask, 99999999);
  // Any text can be typed. A number, however long, is clamped; nothing typed
  // gives the minimum; anything else is refused, keeping the value before.
  struct Row {
    const char *step, *numb;
    int stepTaken, numbTaken;
  };
  for (const Row& r : {Row{"", "0", 1, 1}, Row{"-5", "3x7", 1, 1}, Row{"4294967295", "99999999999999999999", 256, 99999999},
                       Row{"7", "-99999999999999999999", 7, 1}, Row{"x", "12", 7, 12}, Row{"000000000012", "-", 12, 12}}) {
    OnModal([&](QWidget* w) {
      TypeOver(Child<QSpinBox>(w, "SaveStep"), r.step);
      TypeOver(Child<QSpinBox>(w, "NumbMask"), r.numb);
      QCOMPARE(Child<QSpinBox>(w, "NumbMask")->text(), QString(r.numb));  // every key taken as typed
      Click(w, "OKBtn");
    });
    run.window->Action("AAutoSave")->trigger();
    QCOMPARE(run.S().SaveStep, r.stepTaken);
    QCOMPARE(run.S().NumbMask, r.numbTaken);
  }
}

void SettingsDialogsTest::AutoSaveOffKeepsWorkDir() {
  const std::string a = dir_->File("a"), b = dir_->File("b");
  std::filesystem::create_directory(a);
  std::filesystem::create_directory(b);
  Run run(dir_->Path(), [&](Settings& s) { s.WorkDir = a; });
  OnModal([&](QWidget* w) {
    auto* view = Child<QTreeView>(w, "DirView");
    view->setCurrentIndex(qobject_cast<QFileSystemModel*>(view->model())->index(QString::fromStdString(b)));
    QCOMPARE(Child(w, "Directory")->text(), QString::fromStdString(b));
    Child(w, "NameMask")->setText("n");
    Click(w, "OKBtn");
  });
  run.window->Action("AAutoSave")->trigger();
  QCOMPARE(run.S().WorkDir, a);
  QCOMPARE(run.S().NameMask, std::string("n"));
}

void SettingsDialogsTest::AutoSaveTreeShowsTheWorkDir() {
  // The working folder last of two hundred: far below the first rows of the tree.
  for (int i = 0; i < 200; ++i) std::filesystem::create_directory(dir_->File(QString::asprintf("f%03d", i).toStdString()));
  const std::string work = dir_->File("z");
  std::filesystem::create_directory(work);
  Run run(dir_->Path(), [&](Settings& s) { s.WorkDir = work; });
  OnModal([&](QWidget* w) {
    auto* view = Child<QTreeView>(w, "DirView");
    auto* model = qobject_cast<QFileSystemModel*>(view->model());
    QVERIFY(model);
    QCOMPARE(model->filePath(view->currentIndex()), QString::fromStdString(work));
    // Once its folder is read and sorted, there it is.
    QTRY_VERIFY(model->rowCount(view->currentIndex().parent()) == 201 && view->currentIndex().row() == 200);
    QVERIFY(view->viewport()->rect().contains(view->visualRect(view->currentIndex())));
    Click(w, "CancelBtn");
  });
  run.window->Action("AAutoSave")->trigger();
}

void SettingsDialogsTest::AutoSaveUnwritableFolderRefused() {
  // Under a regular file no folder can be made, not even by root.
  const std::string file = dir_->File("plain");
  test::Spit(file, "x");
  const std::string bad = file + "/sub";
  Run run(dir_->Path(), [&](Settings& s) { s.WorkDir = bad; });
  const Settings before = run.S();
  OnModal([&](QWidget* w) {
    Child<QCheckBox>(w, "OnBox")->setChecked(true);
    Child(w, "NameMask")->setText("new");
    const QString text = OkRefused(w, "AutoSaveErrorBox");
    QVERIFY2(text.contains(QString::fromStdString(bad)), qPrintable(text));
    QVERIFY2(text.contains("это не каталог"), qPrintable(text));
    QVERIFY(w->isVisible());
    Click(w, "CancelBtn");
  });
  run.window->Action("AAutoSave")->trigger();
  QCOMPARE(run.S().AutoSave, before.AutoSave);
  QCOMPARE(run.S().NameMask, before.NameMask);
  QCOMPARE(run.S().WorkDir, bad);
  QCOMPARE(run.window->PanelText(8), QString());
}

void SettingsDialogsTest::PassArchiveOkAndCancel() {
  Run run(dir_->Path(), [](Settings&) {});
  OnModal([](QWidget* w) {
    QCOMPARE(w->windowTitle(), QString("Архив проходов"));
    // Every text whole: the dialog is as wide as its longest line.
    for (QLabel* label : w->findChildren<QLabel*>())
      QVERIFY2(label->width() >= label->sizeHint().width(), qPrintable(label->objectName()));
    auto* box = Child<QCheckBox>(w, "PassArchiveBox");
    QVERIFY(box->width() >= box->sizeHint().width());
    if (qEnvironmentVariableIsSet("QEL_SCREENSHOT_DIR"))
      w->grab().save(qEnvironmentVariable("QEL_SCREENSHOT_DIR") + "/pass_archive_form.png");
    QCOMPARE(Child<QLabel>(w, "SeriesFileLbl")->text(), QString("Текущая серия не записывается в архив."));
    Child<QCheckBox>(w, "PassArchiveBox")->setChecked(true);
    Click(w, "CancelBtn");
  });
  run.window->Action("APassArchive")->trigger();
  QVERIFY(!run.S().PassArchive);
  OnModal([](QWidget* w) {
    QVERIFY(!Child<QCheckBox>(w, "PassArchiveBox")->isChecked());
    Child<QCheckBox>(w, "PassArchiveBox")->setChecked(true);
    Click(w, "OkBtn");
  });
  run.window->Action("APassArchive")->trigger();
  QVERIFY(run.S().PassArchive);
}

int main(int argc, char** argv) {
  qel::QelApplication app(argc, argv);
  SettingsDialogsTest t;
  return QTest::qExec(&t, argc, argv);
}

#include "settings_dialogs_test.moc"
