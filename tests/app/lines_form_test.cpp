// "Параметры линий" in the window: the table of the view range's lines, the
// frequency kept in the settings, the fits, the copy, and in receive mode the
// refresh at each pass's end, computed off the window's thread.

#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QtTest>

#include <cmath>

#include "app/lines_form.h"
#include "app/qel_application.h"
#include "tests/app/window_rig.h"
#include "tests/model/test_dir.h"
#include "tests/processing/line_spectra.h"

using namespace qel;

namespace {

// Default field unit: 3000 Oe at code 0 to 3300 Oe at code 65519.
double Oe(double code) { return 3000 + 300.0 * code / 65519; }

// A 1:2:1 Lorentzian triplet (1.4 Oe wide) or a pair, with noise of 3 codes.
void Fill(SpectrumStore& store, int lines) {
  const double w = 1.4 * 65519 / 300;
  std::vector<test::TrueLine> truth = {{test::Shape::Lorentz, 20000, w, 600}, {test::Shape::Lorentz, 30000, w, 1200}};
  if (lines == 3) truth.push_back({test::Shape::Lorentz, 40000, w, 600});
  const auto s = test::MakeSpectrum(truth, 3.0, 11);
  for (std::size_t i = 0; i < s.X.size(); ++i)
    store.CurrentSpectrum[i] = {static_cast<std::uint16_t>(i), static_cast<std::uint16_t>(s.Y[i])};
}

double Cell(TLinesForm& f, int row, int column) {
  QString text = f.Table().item(row, column)->text();
  return text.section(' ', 0, 0).replace(',', '.').toDouble();
}

struct Rig : test::WindowRig {
  Rig(const std::string& dir, bool receive)
      : WindowRig(dir, [&](Settings& s) {
          s.Mode = receive;
          s.ViewMin = 0;
          s.ViewMax = 65519;
        }) {}
  TLinesForm& Form() { return *Find<TLinesForm>("LinesForm"); }
};

}  // namespace

class LinesFormTest : public QObject {
  Q_OBJECT
 private slots:
  void init() { dir_ = std::make_unique<test::TempDir>(); }
  void cleanup() { dir_.reset(); }

  void AnalyseModeShowsEveryLineAndKeepsTheFrequency() {
    Rig rig(dir_->Path(), false);
    const QList<QAction*> functions = rig.Find<QMenu>("FunctionsMenu")->actions();
    QCOMPARE(functions.last()->objectName(), QString("ALines"));
    QCOMPARE(functions.last()->text(), QString("Параметры линий"));
    Fill(rig.state.Store, 3);
    TLinesForm& form = rig.Form();
    QVERIFY(!form.isVisible());
    QSignalSpy updated(&form, &TLinesForm::Updated);
    rig.window->Action("ALines")->trigger();
    QVERIFY(form.isVisible());
    QVERIFY(updated.wait(10000));
    QCOMPARE(form.Table().rowCount(), 3);
    const double centres[3] = {20000, 30000, 40000};
    for (int i = 0; i < 3; ++i) {
      QVERIFY2(std::fabs(Cell(form, i, 1) - Oe(centres[i])) < 0.02, qPrintable(form.Table().item(i, 1)->text()));
      QVERIFY(std::fabs(Cell(form, i, 2) - 1.4) < 0.05);
      QCOMPARE(form.Table().item(i, 5)->text(), QString());  // no frequency yet, no g
    }
    QCOMPARE(rig.Find<QLabel>("StatusLbl")->text().left(10), QString("Линий: 3; "));
    QCOMPARE(rig.Find<QLabel>("RangeLbl")->text(), QString("Диапазон просмотра: 3000,00000 – 3300,00000 Э"));

    // Zoomed onto the middle line: the table follows once the range stands
    // still, and says which range it describes.
    auto* minView = rig.Find<QSpinBox>("MinView");
    auto* maxView = rig.Find<QSpinBox>("MaxView");
    minView->setValue(25000);
    maxView->setValue(36000);
    maxView->setValue(35000);
    QCOMPARE(form.Table().rowCount(), 3);  // not yet: the range was still moving
    QVERIFY(form.Following());
    QVERIFY(updated.wait(10000));
    QCOMPARE(updated.size(), 2);  // one analysis for the whole zoom
    QCOMPARE(form.Table().rowCount(), 1);
    QVERIFY(std::fabs(Cell(form, 0, 1) - Oe(30000)) < 0.02);
    QCOMPARE(rig.Find<QLabel>("RangeLbl")->text(),
             QString("Диапазон просмотра: %1 – %2 Э").arg(Oe(25000), 0, 'f', 5).arg(Oe(35000), 0, 'f', 5).replace('.', ','));
    // The amplitude scale alone changes no range: nothing is computed again.
    rig.Find<QAction>("AIncScale")->trigger();
    QVERIFY(!form.Following());
    QVERIFY(!form.Busy());
    minView->setValue(0);
    maxView->setValue(65519);
    QVERIFY(updated.wait(10000));
    QCOMPARE(form.Table().rowCount(), 3);

    // The frequency, typed once with the operator's decimal comma, is kept.
    auto* frequency = rig.Find<QLineEdit>("FrequencyEdit");
    QCOMPARE(frequency->placeholderText(), QString("например, 9,4"));
    frequency->setText("9,4");
    emit frequency->editingFinished();
    QCOMPARE(rig.S().MWFrequency, 9.4);
    QCOMPARE(rig.Stored().MWFrequency, 9.4);
    const double g = 714.4773 * 9.4 / Oe(30000);
    QVERIFY2(std::fabs(Cell(form, 1, 5) - g) < 2e-5, qPrintable(form.Table().item(1, 5)->text()));
    frequency->setText("девять");
    emit frequency->editingFinished();
    QCOMPARE(rig.S().MWFrequency, 9.4);
    QCOMPARE(rig.Find<QLabel>("StatusLbl")->text(), QString("Частота СВЧ — число больше нуля в гигагерцах, например 9,4"));

    // Fits with their error bars.
    rig.Find<QComboBox>("FitBox")->setCurrentIndex(3);
    QVERIFY(updated.wait(10000));
    QCOMPARE(form.Table().item(0, 7)->text(), QString("лоренц (авто)"));
    QVERIFY(form.Table().item(1, 8)->text().contains(" ± "));
    QVERIFY(std::fabs(Cell(form, 1, 8) - Oe(30000)) < 0.014);

    // Copied as text, a column per tab.
    QApplication::clipboard()->clear();
    rig.Find<QPushButton>("CopyBtn")->click();
    const QStringList lines = QApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);
    QVERIFY2(lines[0].startsWith("№\tH0, Э\tΔHpp, Э\tA, отсч\tS/N\tg\t"), qPrintable(lines[0]));
    QVERIFY(lines[2].startsWith("2\t"));
    QCOMPARE(lines[2].split('\t').size(), 13);
    QCOMPARE(lines[2].split('\t')[8], form.Table().item(1, 8)->text());
  }

  void ReceiveModeFollowsEachPassOffTheWindowsThreadOnlyWhileOpen() {
    Rig rig(dir_->Path(), true);
    TLinesForm& form = rig.Form();
    QSignalSpy updated(&form, &TLinesForm::Updated);
    Acquisition& acq = rig.window->InstrumentLink().Acq;
    // Closed: a pass's end costs nothing.
    Fill(rig.state.Store, 3);
    acq.ForwardPassStart();
    QVERIFY(!form.Busy());
    QCoreApplication::processEvents();
    QCOMPARE(updated.count(), 0);

    rig.window->Action("ALines")->trigger();  // on an empty spectrum: no lines
    QVERIFY(updated.wait(10000));
    QCOMPARE(form.Table().rowCount(), 0);
    // The pass that ended is analysed although the next one has cleared it,
    // and the window's thread only hands it over.
    Fill(rig.state.Store, 2);
    acq.ForwardPassStart();
    QVERIFY(form.Busy());
    QVERIFY(!IsValid(rig.state.Store.CurrentSpectrum[30000]));
    QVERIFY(updated.wait(10000));
    QCOMPARE(form.Table().rowCount(), 2);
    // The first pass start of a run, on nothing, keeps the table.
    acq.ForwardPassStart();
    QVERIFY(!form.Busy());
    QCOMPARE(form.Table().rowCount(), 2);
    // Closing the window while a search runs.
    Fill(rig.state.Store, 3);
    acq.ForwardPassStart();
    QVERIFY(form.Busy());
    rig.window.reset();
  }

 private:
  std::unique_ptr<test::TempDir> dir_;
};

int main(int argc, char** argv) {
  qel::QelApplication app(argc, argv);
  LinesFormTest t;
  return QTest::qExec(&t, argc, argv);
}

#include "lines_form_test.moc"
