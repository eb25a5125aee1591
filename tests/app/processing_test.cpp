// The processing commands through the window, on known spectra: what each
// does to the store, what the plot then shows, and the undo.

#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <memory>

#include "app/error_boxes.h"
#include "app/main_window.h"
#include "app/qel_application.h"
#include "display/view_window.h"
#include "model/reg_file_store.h"
#include "model/units.h"
#include "processing/spectrum_ops.h"
#include "tests/app/modal.h"
#include "tests/app/typing.h"
#include "tests/app/window_rig.h"
#include "tests/model/test_dir.h"

using namespace qel;

namespace {

// Analyse mode, both cursors on at 1000 and 3000.
struct Run : test::WindowRig {
  Run(const std::string& dir, const std::function<void(Settings&)>& change)
      : WindowRig(dir, [&](Settings& s) {
          s.Mode = false;
          s.Visir1 = s.Visir2 = true;
          s.VisKoord1 = 1000;
          s.VisKoord2 = 3000;
          change(s);
        }) {}
  // A first-derivative line between the cursors, centred at 2000.
  void LoadLine() {
    for (int i = 0; i <= 4000; ++i) {
      const double x = (i - 2000) / 150.0;
      Point(i, static_cast<int>(std::lround(2048 - 800 * x / ((1 + x * x) * (1 + x * x)))));
    }
    window->FullRepaint();
  }
  void Point(int i, int v) {
    state.Store.CurrentSpectrum[static_cast<std::size_t>(i)] = {static_cast<std::uint16_t>(i),
                                                                static_cast<std::uint16_t>(v)};
  }
  QStringList PlotTexts() const {
    QStringList texts;
    for (const PlotLabel& l : window->View().Plot().Labels()) texts << QString::fromStdString(l.Text);
    return texts;
  }
  bool Undoable() const { return window->Action("ABackUp")->isEnabled(); }
  SpectrumBuffer& V() { return state.Store.CurrentSpectrum; }
};

}  // namespace

class ProcessingTest : public QObject {
  Q_OBJECT
 private slots:
  void init() { dir_ = std::make_unique<test::TempDir>(); }
  void CursorCommandsNeedBothCursors();
  void MinMaxMarksTheExtremesWithoutAnUndo();
  void IntegralShowsSAndIsUndone();
  void LevellingPutsARampOnTheZeroLine();
  void SmoothingTwiceUndoneOnce();
  void ConstantDialogs();
  void ConstantsTypedWhole();
  void UndoIsDisabledByTheFileCommands();
  void ResultsLiveAndDieByTheirRules();

 private:
  std::unique_ptr<test::TempDir> dir_;
};

void ProcessingTest::CursorCommandsNeedBothCursors() {
  Run run(dir_->Path(), [](Settings& s) { s.Visir2 = false; });
  run.LoadLine();
  const SpectrumBuffer before = run.V();
  const struct {
    const char* action;
    const char* text;
  } cases[] = {
      {"AIntegr", "Границы интегрирования спектра необходимо задать с помощью двух визиров!"},
      {"AEqualize", "Границы выравнивания спектра необходимо задать с помощью двух визиров!"},
      {"AMinMax", "Для поиска минимума и максимума нужно задать границы спомощью двух визиров!"},
  };
  for (const auto& c : cases) {
    QSignalSpy boxes(&run.errors, &ErrorBoxes::BoxOpened);
    run.state.Run.IntegralS = 5;
    run.window->Action(c.action)->trigger();
    QVERIFY(boxes.wait(1000));
    QCOMPARE(boxes[0][0].toString(), QString(c.text));
    QVERIFY(run.V() == before);
    QCOMPARE(run.state.Run.IntegralS, 5.0);
    QVERIFY(!run.Undoable());
    run.errors.OpenBox()->accept();
    QTRY_VERIFY(!run.errors.Busy());
  }
}

void ProcessingTest::MinMaxMarksTheExtremesWithoutAnUndo() {
  Run run(dir_->Path(), [](Settings&) {});
  run.LoadLine();
  run.V()[2500] = EmptyPoint;  // a gap between the cursors: filled, not undoable
  run.state.Run.IntegralS = 3;
  run.window->Action("AMinMax")->trigger();
  // The first of equal extremes, left of the centre for the maximum and right of it for the minimum.
  const auto first = run.V().begin() + 1000, last = run.V().begin() + 3001;
  auto byValue = [](SpectrumPoint a, SpectrumPoint b) { return a.Value < b.Value; };
  const int maxIndex = static_cast<int>(std::max_element(first, last, byValue) - run.V().begin());
  const int minIndex = static_cast<int>(std::min_element(first, last, byValue) - run.V().begin());
  QVERIFY(maxIndex > 1850 && maxIndex < 2000 && minIndex > 2000 && minIndex < 2150);
  QCOMPARE(run.state.Run.MaxIndex, maxIndex);
  QCOMPARE(run.state.Run.MinIndex, minIndex);
  QCOMPARE(run.state.Run.IntegralS, -1.0);
  QVERIFY(IsValid(run.V()[2500]));
  QVERIFY(!run.Undoable());
  const int a = run.V()[maxIndex].Value - run.V()[minIndex].Value;
  QVERIFY(run.PlotTexts().contains("A=" + QString::fromStdString(FormatAmplitude(run.state.Settings, a, ","))));
}

void ProcessingTest::IntegralShowsSAndIsUndone() {
  Run run(dir_->Path(), [](Settings& s) { s.Amplifying = 3; });  // gain 10
  run.LoadLine();
  run.window->Action("AMinMax")->trigger();
  SpectrumBuffer reference = run.V();
  const SpectrumBuffer before = run.V();
  const double s = IntegralValue(reference, 1000, 3000, 10);
  IntegrateSpectrum(reference, 1000, 3000);
  run.window->Action("AIntegr")->trigger();
  QCOMPARE(run.state.Run.IntegralS, s);
  QVERIFY(s > 0);
  QVERIFY(run.V() == reference);
  QCOMPARE(run.state.Run.MaxIndex, -1);  // the markers went
  QVERIFY(run.PlotTexts().contains("S=" + QString::fromStdString(FormatIntegral(run.state.Settings, s, ","))));
  QVERIFY(run.Undoable());
  run.window->Action("ABackUp")->trigger();
  QVERIFY(run.V() == before);
  QCOMPARE(run.state.Run.IntegralS, -1.0);
  QVERIFY(!run.Undoable());
  for (const QString& t : run.PlotTexts()) QVERIFY(!t.startsWith("S=") && !t.startsWith("A="));
}

void ProcessingTest::LevellingPutsARampOnTheZeroLine() {
  Run run(dir_->Path(), [](Settings&) {});
  for (int i = 0; i <= 4000; ++i) run.Point(i, 100 + i / 2);
  run.state.Run.IntegralS = 2;
  run.window->Action("AEqualize")->trigger();
  // The cursor range keeps the line's residue (half a code a point, rounded).
  for (int i = 1000; i <= 3000; i += 250) QVERIFY2(std::abs(run.V()[i].Value - 2048) <= 1, qPrintable(QString::number(i)));
  QCOMPARE(run.V()[1000].Value, 2048);
  QCOMPARE(run.V()[999].Value, 100 + 999 / 2);  // outside: untouched
  QCOMPARE(run.state.Run.IntegralS, -1.0);
  QVERIFY(run.Undoable());
}

void ProcessingTest::SmoothingTwiceUndoneOnce() {
  Run run(dir_->Path(), [](Settings& s) { s.GlissConst = 0; });  // stored 0: used as 2
  run.LoadLine();
  SpectrumBuffer once = run.V();
  GlissSpectrum(once, 2);
  run.window->Action("AGliss")->trigger();
  QVERIFY(run.V() == once);
  run.window->Action("AGliss")->trigger();
  QVERIFY(run.V() != once);
  run.window->Action("ABackUp")->trigger();
  QVERIFY(run.V() == once);
  QVERIFY(!run.Undoable());
}

void ProcessingTest::ConstantDialogs() {
  Run run(dir_->Path(), [](Settings& s) { s.LPFConst = 1; });
  run.LoadLine();
  const SpectrumBuffer before = run.V();
  // Cancel: neither the constant nor the spectrum change.
  test::OnModal([](QWidget* dlg) {
    QCOMPARE(dlg->windowTitle(), QString("Фильтр низкой чстоты"));
    QCOMPARE(dlg->findChild<QSpinBox*>("ConstEdit")->value(), 2);  // the stored 1 as it is used
    dlg->findChild<QSpinBox*>("ConstEdit")->setValue(40);
    dlg->findChild<QPushButton*>("CancelBtn")->click();
  });
  run.window->Action("AFilterSetup")->trigger();
  QCOMPARE(run.state.Settings.LPFConst, 1);
  QVERIFY(run.V() == before);
  // OK stores the constant and filters with it.
  SpectrumBuffer filtered = before;
  FilterSpectrum(filtered, 40);
  test::OnModal([](QWidget* dlg) {
    dlg->findChild<QSpinBox*>("ConstEdit")->setValue(40);
    dlg->findChild<QPushButton*>("OkBtn")->click();
  });
  run.window->Action("AFilterSetup")->trigger();
  QCOMPARE(run.state.Settings.LPFConst, 40);
  QVERIFY(run.V() == filtered);
  QVERIFY(run.Undoable());
  test::OnModal([](QWidget* dlg) {
    QCOMPARE(dlg->windowTitle(), QString("Сглаживание спектра"));
    dlg->findChild<QSpinBox*>("ConstEdit")->setValue(7);
    dlg->findChild<QPushButton*>("OkBtn")->click();
  });
  run.window->Action("AGlissSetup")->trigger();
  QCOMPARE(run.state.Settings.GlissConst, 7);
  QCOMPARE(run.V()[0].Value, EmptyValue);  // the first seven points of the data range
  QVERIFY(IsValid(run.V()[7]));
}

void ProcessingTest::ConstantsTypedWhole() {
  Run run(dir_->Path(), [](Settings& s) {
    s.LPFConst = 40;
    s.GlissConst = 7;
  });
  run.LoadLine();
  // Past the range: typed whole, clamped at OK and shown so.
  test::OnModal([](QWidget* dlg) {
    auto* edit = dlg->findChild<QSpinBox*>("ConstEdit");
    test::TypeOver(edit, "2001");
    QCOMPARE(edit->text(), QString("2001"));
    dlg->findChild<QPushButton*>("OkBtn")->click();
    QCOMPARE(edit->text(), QString("2000"));
  });
  run.window->Action("AFilterSetup")->trigger();
  QCOMPARE(run.state.Settings.LPFConst, 2000);
  // Nothing typed: the range's minimum.
  test::OnModal([](QWidget* dlg) {
    test::TypeOver(dlg->findChild<QSpinBox*>("ConstEdit"), "");
    dlg->findChild<QPushButton*>("OkBtn")->click();
  });
  run.window->Action("AGlissSetup")->trigger();
  QCOMPARE(run.state.Settings.GlissConst, 2);
}

void ProcessingTest::UndoIsDisabledByTheFileCommands() {
  test::TempDir d;
  const std::string file = d.File("f.qel");
  test::Spit(file, std::string("\x10\x00\x00\x08", 4));
  Run run(dir_->Path(), [](Settings&) {});
  run.LoadLine();
  run.window->Action("AGliss")->trigger();
  QVERIFY(run.Undoable());
  run.window->Action("ACloseSpectr")->trigger();
  QVERIFY(!run.Undoable());
  run.LoadLine();
  run.window->Action("AGliss")->trigger();
  run.window->Files().OpenSpectrumFile(QString::fromStdString(file));
  QVERIFY(!run.Undoable());
  run.window->Action("AGliss")->trigger();
  run.window->Driver().SetTimerEnabled(LinkTimer::QelTimer, false);
  run.window->Action("AReceive")->trigger();
  QVERIFY(!run.Undoable());
}

void ProcessingTest::ResultsLiveAndDieByTheirRules() {
  Run run(dir_->Path(), [](Settings& s) { s.LPFConst = 5000; });  // used as 2000
  run.LoadLine();
  run.V()[1500] = EmptyPoint;
  int repaints = 0;
  connect(&run.window->View().Plot(), &ScreenBox::BackgroundDrawn, [&] { ++repaints; });
  const SpectrumBuffer withGap = run.V();
  run.window->Action("AMinMax")->trigger();  // fills the gap; not undoable
  const SpectrumBuffer filled = run.V();
  const int maxIndex = run.state.Run.MaxIndex;
  // Filtering: with the clamped constant, a repaint, undoable, markers kept.
  SpectrumBuffer filtered = filled;
  FilterSpectrum(filtered, 2000);
  repaints = 0;
  run.window->Action("AFilter")->trigger();
  QVERIFY(run.V() == filtered);
  QCOMPARE(repaints, 1);
  QCOMPARE(run.state.Run.MaxIndex, maxIndex);
  run.window->Action("ABackUp")->trigger();
  QVERIFY(run.V() == filled);
  run.window->Action("AFilter")->trigger();
  // MinMax keeps the undo of the filter; levelling keeps the markers, and
  // its undo goes back to the filtered spectrum, the markers gone.
  run.window->Action("AMinMax")->trigger();
  QVERIFY(run.Undoable());
  repaints = 0;
  run.window->Action("AEqualize")->trigger();
  QCOMPARE(repaints, 1);
  QVERIFY(run.state.Run.MaxIndex >= 0);
  run.window->Action("ABackUp")->trigger();
  QVERIFY(run.V() == filtered);
  QCOMPARE(run.state.Run.MaxIndex, -1);
  QCOMPARE(run.state.Run.MinIndex, -1);
  // An index MinMax does not find keeps its earlier value: nothing above 1 here.
  for (int i = 1000; i <= 3000; ++i) run.Point(i, 0);
  run.state.Run.MaxIndex = 5;
  run.window->Action("AMinMax")->trigger();
  QCOMPARE(run.state.Run.MaxIndex, 5);
  QCOMPARE(run.state.Run.MinIndex, 1000);
  // The integral clears both markers, and its gap filling is undone with it.
  run.state.Store.CurrentSpectrum = withGap;
  run.state.Run.MaxIndex = run.state.Run.MinIndex = 7;
  run.window->Action("AIntegr")->trigger();
  QCOMPARE(run.state.Run.MinIndex, -1);
  QCOMPARE(run.state.Run.MaxIndex, -1);
  run.window->Action("ABackUp")->trigger();
  QVERIFY(run.V() == withGap);
}

int main(int argc, char** argv) {
  qel::QelApplication app(argc, argv);
  ProcessingTest t;
  return QTest::qExec(&t, argc, argv);
}

#include "processing_test.moc"
