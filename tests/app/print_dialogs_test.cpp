// The print setup dialog and the colour dialog: what they show, what OK
// and Cancel leave in the settings, and what is printed after them.

#include <QColorDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QtTest>

#include <memory>

#include "app/color_setup_form.h"
#include "app/print_setup_form.h"
#include "display/view_window.h"
#include "tests/app/modal.h"
#include "tests/app/print_rig.h"
#include "tests/app/typing.h"
#include "tests/model/test_dir.h"

using namespace qel;
using test::Bgr;
using test::Raster;
using test::Window;

namespace {

// Answers the colour picker with a colour when it opens showing `shown`.
void Pick(const QColor& c, const QColor& shown) {
  test::OnModal("ClrDlg", [c, shown](QWidget* w) {
    auto* picker = qobject_cast<QColorDialog*>(w);
    QVERIFY(picker);
    QCOMPARE(picker->currentColor(), shown);
    picker->setCurrentColor(c);
    picker->accept();
  });
}

}  // namespace

class PrintDialogsTest : public QObject {
  Q_OBJECT
 private slots:
  void init() { dir_ = std::make_unique<test::TempDir>(); }
  void SetupDialogRaisesMinimumsCancelPrintsNothing();
  void SetupDialogTakesEachMarginAsTyped();
  void SetupDialogMinimumsStopAtZero();
  void ColourOkWithoutChangesKeepsAllSets();
  void ColourCancelAfterPicksChangesNothing();
  void ColourOkWritesAllThreeSets();
  void PrinterColourChangesSheetAndSampleNotScreen();

 private:
  std::unique_ptr<test::TempDir> dir_;
};

void PrintDialogsTest::SetupDialogRaisesMinimumsCancelPrintsNothing() {
  Window w(dir_->Path(), [](Settings& s) {
    s.PrnL = 1;
    s.PrnT = 2;
    s.PrnR = 20;
  });
  Settings& s = w.state.Settings;
  test::OnModal("PrintSetupForm", [&](QWidget* dlg) {
    auto* left = dlg->findChild<QSpinBox*>("LeftEdit");
    auto* top = dlg->findChild<QSpinBox*>("TopEdit");
    QCOMPARE(left->minimum(), 3);
    QCOMPARE(top->minimum(), 4);
    QCOMPARE(left->value(), 3);
    QCOMPARE(dlg->findChild<QSpinBox*>("RightEdit")->value(), 20);
    QCOMPARE(s.PrnL, 3);  // raised at once
    QCOMPARE(s.PrnT, 4);
    QVERIFY(dlg->findChild<QRadioButton*>("Portrait")->isChecked());
    dlg->findChild<QRadioButton*>("Landscape")->click();
    QCOMPARE(w.window->Printing().Printer().pageLayout().orientation(), QPageLayout::Landscape);
    left->setValue(30);
    dlg->findChild<QPushButton*>("BitBtn2")->click();
  });
  w.window->Action("APrintSetup")->trigger();
  QVERIFY(!QFileInfo::exists(w.pdf));
  QCOMPARE(s.PrnL, 3);
  QCOMPARE(s.Orientation, false);
  QCOMPARE(w.window->Printing().Printer().pageLayout().orientation(), QPageLayout::Landscape);  // stays chosen

  // Confirmed: the settings take the edits and the orientation, and the sheet is printed.
  test::OnModal("PrintSetupForm", [&](QWidget* dlg) {
    QVERIFY(dlg->findChild<QRadioButton*>("Portrait")->isChecked());  // the settings' orientation again
    dlg->findChild<QRadioButton*>("Landscape")->click();
    dlg->findChild<QSpinBox*>("LeftEdit")->setValue(25);
    dlg->findChild<QPushButton*>("OkBtn")->click();
  });
  w.window->Action("APrintSetup")->trigger();
  QCOMPARE(s.Orientation, true);
  QCOMPARE(s.PrnL, 25);
  QVERIFY(QFileInfo::exists(w.pdf));
  const QImage page = Raster(w.pdf, 50);
  QVERIFY2(page.width() > page.height(), "a landscape page");

  // "Настроить..." opens the system print dialog on the program's printer.
  test::OnModal("PrintSetupForm", [&](QWidget* dlg) {
    test::OnModal("PrnSetupDlg", [&](QWidget* inner) {
      auto* print = qobject_cast<QPrintDialog*>(inner);
      QVERIFY(print);
      QCOMPARE(print->printer(), &w.window->Printing().Printer());
      print->reject();
    });
    dlg->findChild<QPushButton*>("PrnSetupPrn")->click();
    qobject_cast<QDialog*>(dlg)->reject();
  });
  w.window->Action("APrintSetup")->trigger();
}

void PrintDialogsTest::SetupDialogTakesEachMarginAsTyped() {
  Window w(dir_->Path());  // A4 portrait, 203 x 289 mm printable: minimum margins 3, 3, 4 and 4 mm
  Settings& s = w.state.Settings;
  QStringList said;
  // OK refused: the message, and the dialog stays.
  auto okRefused = [&](QWidget* dlg) {
    test::OnModal("PrintSetupErrorBox", [&](QWidget* box) {
      said << qobject_cast<QMessageBox*>(box)->text();
      qobject_cast<QMessageBox*>(box)->accept();
    });
    dlg->findChild<QPushButton*>("OkBtn")->click();
    QVERIFY(dlg->isVisible());
  };
  test::OnModal("PrintSetupForm", [&](QWidget* dlg) {
    auto edit = [dlg](const char* name) { return dlg->findChild<QSpinBox*>(name); };
    QCOMPARE(edit("RightEdit")->minimum(), 3);
    QCOMPARE(edit("BotEdit")->minimum(), 4);
    // Typed whole past the range, clamped at OK and shown so: 200 mm on
    // either side of a sheet of 3 + 203 + 3 mm leave no plot.
    test::TypeOver(edit("LeftEdit"), "250");
    QCOMPARE(edit("LeftEdit")->text(), QString("250"));
    test::TypeOver(edit("RightEdit"), "200");
    okRefused(dlg);
    QCOMPARE(edit("LeftEdit")->text(), QString("200"));
    test::TypeOver(edit("RightEdit"), "9");  // 209 mm together: still nothing
    okRefused(dlg);
    test::TypeOver(edit("RightEdit"), "8");  // 1 mm of width, but no height
    test::TypeOver(edit("TopEdit"), "150");
    test::TypeOver(edit("BotEdit"), "147");
    okRefused(dlg);
    // Each margin taken from its own edit; one typed below its minimum is the minimum.
    test::TypeOver(edit("LeftEdit"), "20");
    test::TypeOver(edit("RightEdit"), "30");
    test::TypeOver(edit("TopEdit"), "1");
    test::TypeOver(edit("BotEdit"), "50");
    dlg->findChild<QPushButton*>("OkBtn")->click();
    QCOMPARE(edit("TopEdit")->text(), QString("4"));
  });
  w.window->Action("APrintSetup")->trigger();
  QCOMPARE(said, (QStringList{
      "Поля слева (200 мм) и справа (200 мм) не оставляют места для спектра: вместе они должны быть меньше 209 мм.",
      "Поля слева (200 мм) и справа (9 мм) не оставляют места для спектра: вместе они должны быть меньше 209 мм.",
      "Поля сверху (150 мм) и снизу (147 мм) не оставляют места для спектра: вместе они должны быть меньше 297 мм."}));
  QCOMPARE(s.PrnL, 20);
  QCOMPARE(s.PrnR, 30);
  QCOMPARE(s.PrnT, 4);
  QCOMPARE(s.PrnB, 50);
  QVERIFY(QFileInfo::exists(w.pdf));
}

void PrintDialogsTest::SetupDialogMinimumsStopAtZero() {
  // Letter without margins, 216 x 279 mm, is taken for A4 portrait: 3 mm
  // wider than the sheet, 9 mm of it unprintable at top and bottom.
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setPageSize(QPageSize(QPageSize::Letter));
  printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
  Settings s;
  SetDefaults(s);
  s.Orientation = false;
  s.PrnL = 1;
  s.PrnT = 2;
  TPrintSetupForm setup(printer, s);
  QCOMPARE(setup.MinMargins(), (Margins{-3, -3, 9, 9}));
  const int minimums[4] = {0, 0, 9, 9};
  const char* names[4] = {"LeftEdit", "RightEdit", "TopEdit", "BotEdit"};
  for (int i = 0; i < 4; ++i) QCOMPARE(setup.findChild<QSpinBox*>(names[i])->minimum(), minimums[i]);
  QCOMPARE(s.PrnL, 1);
  QCOMPARE(s.PrnT, 9);
  setup.show();
  test::TypeOver(setup.findChild<QSpinBox*>("LeftEdit"), "0");
  setup.findChild<QPushButton*>("OkBtn")->click();
  QCOMPARE(s.PrnL, 0);
}

void PrintDialogsTest::ColourOkWithoutChangesKeepsAllSets() {
  Settings s;
  SetDefaults(s);
  s.BMPColors.Text = 0x0100FF00;  // a value with its high byte set passes through whole
  s.DisplayColors.Grid = 0x102030;
  s.PrinterColors.Grid = 0x405060;
  s.BMPColors.Grid = 0x708090;
  const Settings before = s;
  TColorSetupForm dlg(s);
  dlg.show();
  auto* pages = dlg.findChild<QTabWidget*>("PageControl1");
  QCOMPARE(pages->currentWidget()->objectName(), QString("PrnSheet"));
  QCOMPARE(pages->tabText(1), QString("Принтер"));
  QVERIFY(!pages->isTabVisible(2));
  QCOMPARE(dlg.findChildren<ColorSwatch*>().size(), 24);
  auto* swatch = dlg.findChild<ColorSwatch*>("PGraph2");
  QVERIFY(swatch);
  QCOMPARE(swatch->Value(), s.PrinterColors.AddGraph);
  QVERIFY(dlg.findChild<ColorSwatch*>("BVisir2") && dlg.findChild<ColorSwatch*>("Graph2"));
  bool dotted = false;
  for (QLabel* l : pages->widget(1)->findChildren<QLabel*>())
    if (l->text().startsWith("Дополнительный график") && l->text().endsWith("...")) dotted = true;
  QVERIFY(dotted);
  dlg.findChild<QPushButton*>("OkBtn")->click();
  QCOMPARE(dlg.result(), int(QDialog::Accepted));
  QVERIFY(s == before);
}

void PrintDialogsTest::ColourCancelAfterPicksChangesNothing() {
  Settings s;
  SetDefaults(s);
  const Settings before = s;
  TColorSetupForm dlg(s);
  dlg.show();
  auto* graph = dlg.findChild<ColorSwatch*>("Graph");
  auto* pBorder = dlg.findChild<ColorSwatch*>("PBorder");
  auto* pages = dlg.findChild<QTabWidget*>("PageControl1");
  pages->setCurrentIndex(0);
  Pick(QColor(1, 2, 3), Bgr(s.DisplayColors.Graph));
  QTest::mouseClick(graph, Qt::LeftButton);
  pages->setCurrentIndex(1);
  Pick(QColor(4, 5, 6), Bgr(s.PrinterColors.Border));
  QTest::mouseClick(pBorder, Qt::LeftButton);
  QCOMPARE(graph->Value(), 0x030201);
  QCOMPARE(pBorder->Value(), 0x060504);
  dlg.findChild<QPushButton*>("CancelBtn")->click();
  QCOMPARE(dlg.result(), int(QDialog::Rejected));
  QVERIFY(s == before);
}

void PrintDialogsTest::ColourOkWritesAllThreeSets() {
  const std::pair<const char*, ColorSet Settings::*> sets[] = {
      {"", &Settings::DisplayColors}, {"P", &Settings::PrinterColors}, {"B", &Settings::BMPColors}};
  const std::pair<const char*, std::int32_t ColorSet::*> fields[] = {
      {"BackGround", &ColorSet::BackGround}, {"Border", &ColorSet::Border}, {"Graph", &ColorSet::Graph},
      {"Graph2", &ColorSet::AddGraph},       {"Text", &ColorSet::Text},     {"ADC2", &ColorSet::ADC2},
      {"Visir1", &ColorSet::Visir1},         {"Visir2", &ColorSet::Visir2}};
  Settings s;
  SetDefaults(s);
  TColorSetupForm dlg(s);
  std::int32_t value = 0x010203;
  for (const auto& [prefix, set] : sets)
    for (const auto& [name, field] : fields) {
      auto* swatch = dlg.findChild<ColorSwatch*>(QString(prefix) + name);
      QVERIFY2(swatch, name);
      swatch->SetValue(value++);
    }
  dlg.findChild<QPushButton*>("OkBtn")->click();
  value = 0x010203;
  for (const auto& [prefix, set] : sets)
    for (const auto& [name, field] : fields) QVERIFY2((s.*set).*field == value++, qPrintable(QString(prefix) + name));
}

void PrintDialogsTest::PrinterColourChangesSheetAndSampleNotScreen() {
  Window w(dir_->Path());
  Settings& s = w.state.Settings;
  const ColorSet display = s.DisplayColors;
  const QColor chosen(0x12, 0x34, 0x56);
  test::OnModal("ColorSetupForm", [&](QWidget* dlg) {
    Pick(chosen, Bgr(s.PrinterColors.BackGround));
    QTest::mouseClick(dlg->findChild<ColorSwatch*>("PBackGround"), Qt::LeftButton);
    dlg->findChild<QPushButton*>("OkBtn")->click();
  });
  w.window->Action("AColorSetup")->trigger();
  QCOMPARE(s.PrinterColors.BackGround, 0x563412);
  QVERIFY(s.DisplayColors == display);
  const QImage screen = w.window->View().Plot().Image();
  QCOMPARE(screen.pixelColor(screen.width() / 3, screen.height() / 3), Bgr(display.BackGround));

  w.window->Action("APrint")->trigger();
  const QImage page = Raster(w.pdf, 50);
  QCOMPARE(page.pixelColor(page.width() / 3, page.height() / 3), chosen);

  TPrintSetupForm setup(w.window->Printing().Printer(), s, w.window.get());
  setup.show();
  const QImage sample = setup.Sample().grab().toImage();
  QCOMPARE(sample.pixelColor(sample.width() / 2, sample.height() / 3), chosen);

  // A monitor colour shows on the screen as the dialog closes.
  const QColor monitor(0x65, 0x43, 0x21);
  test::OnModal("ColorSetupForm", [&](QWidget* dlg) {
    Pick(monitor, Bgr(display.BackGround));
    QTest::mouseClick(dlg->findChild<ColorSwatch*>("BackGround"), Qt::LeftButton);
    dlg->findChild<QPushButton*>("OkBtn")->click();
  });
  w.window->Action("AColorSetup")->trigger();
  const QImage repainted = w.window->View().Plot().Image();
  QCOMPARE(repainted.pixelColor(repainted.width() / 3, repainted.height() / 3), monitor);
}

QTEST_MAIN(PrintDialogsTest)
#include "print_dialogs_test.moc"
