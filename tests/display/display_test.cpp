// The plot and the view window on the offscreen platform, read back from the
// plot's backing image.

// Mouse events from the tests go through the window system, as the real ones do
// (a right press opens the context menu only on that path).
#define QTEST_QPA_MOUSE_HANDLING

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QSpinBox>
#include <QToolButton>
#include <QtTest>

#include <cmath>
#include <memory>
#include <tuple>

#include "display/view_window.h"
#include "model/units.h"

using namespace qel;

namespace {

int CountColour(const QImage& img, const QRect& r, QRgb colour) {
  int n = 0;
  const QRect box = r.intersected(img.rect());
  for (int y = box.top(); y <= box.bottom(); ++y)
    for (int x = box.left(); x <= box.right(); ++x) n += (img.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
  return n;
}

}  // namespace

class DisplayTest : public QObject {
  Q_OBJECT

 private:
  struct Rig {
    Rig(int w, int h) {
      SetDefaults(s);
      plot = std::make_unique<ScreenBox>(s, store, run, ",");
      plot->resize(w, h);
    }
    Settings s;
    SpectrumStore store;
    RunValues run;
    std::unique_ptr<ScreenBox> plot;
  };
  struct ViewRig {
    ViewRig(int w, int h) {
      SetDefaults(s);
      view = std::make_unique<ViewWindow>(s, store, run, ",");
      view->Plot().setFixedSize(w, h);
      QObject::connect(view.get(), &ViewWindow::StatusText, [this](int panel, const QString& text) { panels[panel] = text; });
      view->show();
      QCoreApplication::processEvents();
      view->ShowSettings();
    }
    Settings s;
    SpectrumStore store;
    RunValues run;
    std::unique_ptr<ViewWindow> view;
    std::map<int, QString> panels;
  };

 private slots:
  void labelsFollowTheVerticalScale() {
    Rig r(400, 273);
    r.plot->ScreenBoxPaint();
    QCOMPARE(r.plot->Scales().PixPerValue, 273.0f / 4096.0f);
    QCOMPARE(r.plot->Scales().ZeroY, 136);
    QStringList texts;
    for (const auto& l : r.plot->Labels()) texts << QString::fromStdString(l.Text);
    QCOMPARE(texts, (QStringList{"2048", "0", "1024", "-1024"}));  // top, then zero, upper, lower line
    const QRgb text = ToQRgb(r.s.DisplayColors.Text);
    for (const auto& l : r.plot->Labels()) QVERIFY(CountColour(r.plot->Image(), l.Box, text) > 0);
    // Labels sit right-aligned 4 pixels from the edge, above their lines.
    // Each line's label has its top 1 pixel plus a text height above the line.
    const int textHeight = QFontMetrics(PlotFont()).height();
    const int lines[] = {136, 68, 204};
    for (int k = 0; k < 3; ++k) {
      const QRect box = r.plot->Labels()[k + 1].Box;
      QCOMPARE(box.right(), 400 - 4 - 1);
      QCOMPARE(box.top(), lines[k] - 1 - textHeight);
      QCOMPARE(box.height(), textHeight);
    }
    QCOMPARE(CountColour(r.plot->Image(), QRect(0, 136, 200, 1), ToQRgb(r.s.DisplayColors.Grid)), 200);
    r.s.OrdScale = 6;
    r.plot->ScreenBoxPaint();
    texts.clear();
    for (const auto& l : r.plot->Labels()) texts << QString::fromStdString(l.Text);
    QCOMPARE(texts, (QStringList{"32", "0", "16", "-16"}));
  }

  void coloursAreTheSettingsOwn() {
    // Colours are kept as 0x00BBGGRR: the default text 0x0000FF is red, the border 0xFF0000 blue.
    Rig r(400, 273);
    QCOMPARE(r.s.DisplayColors.Text, 0x0000FF);
    QCOMPARE(r.s.DisplayColors.Border, 0xFF0000);
    r.plot->ScreenBoxPaint();
    QCOMPARE(r.plot->Image().pixel(0, 100) & 0xFFFFFF, 0x0000FFu);
    QVERIFY(CountColour(r.plot->Image(), r.plot->Labels().at(0).Box, qRgb(255, 0, 0)) > 0);
  }

  void labelsChangeSideAtTheirRows() {
    // One pixel per amplitude code: value v is on row 128 - (v - 2048).
    Rig r(400, 256);
    r.s.OrdScale = 4;
    const int th = QFontMetrics(PlotFont()).height();
    auto rowOf = [](int y) { return static_cast<std::uint16_t>(2176 - y); };
    auto top = [&](int value) {
      const QString text = QString::number(value - 2048);
      for (const auto& l : r.plot->Labels())
        if (QString::fromStdString(l.Text) == text) return l.Box.top();
      return -1000;
    };
    // The maximum's label goes below when the point is within 2 text
    // heights and 20 pixels of the top; the minimum's goes above when it is
    // within a text height and 20 pixels of the bottom.
    for (int closer : {0, 1}) {
      const int yMax = 2 * th + 20 - closer, yMin = 256 - (th + 20 - closer);
      r.store.CurrentSpectrum[1000] = {1000, rowOf(yMax)};
      r.store.CurrentSpectrum[2000] = {2000, rowOf(yMin)};
      r.run.MaxIndex = 1000;
      r.run.MinIndex = 2000;
      r.plot->ScreenBoxPaint();
      QCOMPARE(r.plot->Scales().Y(rowOf(yMax)), yMax);
      QCOMPARE(top(rowOf(yMax)), closer ? yMax + 20 : yMax - 20 - th);
      QCOMPARE(top(rowOf(yMin)), closer ? yMin - 20 - th : yMin + 20);
    }
  }

  void pointsMapToPixels() {
    Rig r(984, 273);
    r.store.CurrentSpectrum[0] = {0, 0};            // far below: on row H - 2
    r.store.CurrentSpectrum[32760] = {32760, 2048};  // the zero line, middle
    r.store.CurrentSpectrum[65519] = {65519, 65519}; // a value, far above: off the canvas
    r.store.CurrentSpectrum[65000] = {65000, 65520}; // no value: not drawn
    r.plot->ScreenBoxPaint();
    const QImage& img = r.plot->Image();
    const QRgb graph = ToQRgb(r.s.DisplayColors.Graph);
    QCOMPARE(img.pixel(0, 273 - 2) & 0xFFFFFF, graph & 0xFFFFFF);
    QCOMPARE(img.pixel(492, 136) & 0xFFFFFF, graph & 0xFFFFFF);
    QCOMPARE(CountColour(img, QRect(983, 0, 1, 273), graph), 0);
    QCOMPARE(CountColour(img, QRect(976, 0, 1, 273), graph), 0);
    QCOMPARE(CountColour(img, img.rect(), graph), 2);
    // ShowFirst adds the raw value in AddGraph.
    r.s.ShowFirst = true;
    r.store.RawSpectrum[32760] = 2048 + 1024;
    r.plot->ScreenBoxPaint();
    QCOMPARE(CountColour(r.plot->Image(), QRect(492, 0, 1, 273), ToQRgb(r.s.DisplayColors.AddGraph)), 1);
  }

  void halvesRoundToEven() {
    // Half a pixel per code: odd codes fall exactly on halves.
    Rig r(100, 60);
    r.s.ViewMax = 200;
    for (std::uint16_t code : {5, 7, 9, 11}) r.store.CurrentSpectrum[code] = {code, static_cast<std::uint16_t>(code * 100)};
    r.plot->ScreenBoxPaint();
    QCOMPARE(r.plot->Scales().PixPerCode, 0.5f);
    const QRgb graph = ToQRgb(r.s.DisplayColors.Graph);
    const int xs[] = {2, 4, 4, 6};  // 2.5, 3.5, 4.5, 5.5
    int k = 0;
    for (int code : {5, 7, 9, 11}) {
      const int x = xs[k++];
      QCOMPARE(r.plot->Image().pixel(x, r.plot->Scales().Y(code * 100)) & 0xFFFFFF, graph & 0xFFFFFF);
    }
    QCOMPARE(CountColour(r.plot->Image(), r.plot->Image().rect(), graph), 4);
    // Two pixels per code: the mouse's odd pixels fall on halves.
    r.s.ViewMax = 50;
    r.plot->ScreenBoxPaint();
    QCOMPARE(r.plot->Scales().CodeAt(1), 0L);
    QCOMPARE(r.plot->Scales().CodeAt(3), 2L);
    QCOMPARE(r.plot->Scales().CodeAt(5), 2L);
    // Every code and value of odd scales (and codes far off the view, where
    // the product no longer fits a double's mantissa) lands where the
    // product formed in extended precision and rounded halves to even puts it.
    for (const auto& [w, h, lo, hi, ord] : {std::tuple{1920, 1080, 0, 65519, 0}, std::tuple{977, 333, 123, 54321, 3},
                                            std::tuple{3, 4000, 65000, 65007, 6}, std::tuple{1000, 7, 1, 2, 1}}) {
      const PlotScales sc = ComputeScales(w, h, lo, hi, ord);
      for (long code = -70000; code <= 140000; code += 7) {
        QCOMPARE(sc.X(code), static_cast<int>(std::llrint(static_cast<long double>(code - lo) * sc.PixPerCode)));
        QCOMPARE(sc.Y(code), sc.ZeroY - static_cast<int>(std::llrint(static_cast<long double>(code - 2048) * sc.PixPerValue)));
      }
      for (const long far : {1L << 29, -(1L << 29), (1L << 31) - 1, -(1L << 31) + 1, 1L << 33})
        QCOMPARE(sc.X(far + lo), static_cast<int>(std::llrint(static_cast<long double>(far) * sc.PixPerCode)));
    }
  }

  // The full repaint takes again what has not changed (the background, each
  // code's column, each value's row): pixel for pixel what a plot drawing
  // everything afresh shows, also after each thing it depends on changes.
  void fullRepaintTakesAgainOnlyWhatHasNotChanged() {
    Rig r(301, 187);
    for (std::uint16_t x = 0; x <= MaxFieldCode; x += 3)
      r.store.CurrentSpectrum[x] = {x, static_cast<std::uint16_t>(2048 + (x % 1500) - 700)};
    r.s.ShowFirst = true;
    for (std::size_t x = 0; x < SpectrumSize; ++x) r.store.RawSpectrum[x] = static_cast<std::uint16_t>(x % 4096);
    const std::function<void(Settings&)> changes[] = {
        [](Settings&) {},
        [](Settings& s) { s.DisplayColors.Grid = 0x00FF00; },
        [](Settings& s) { s.DisplayColors.BackGround = 0x202020; },
        [](Settings& s) { s.DisplayColors.Border = 0x0000C0; },
        [](Settings& s) { s.DisplayColors.Text = 0xC0C000; },
        [](Settings& s) { s.OrdScale = 3; },
        [](Settings& s) { s.ViewMin = 1000; },
        [](Settings& s) { s.ViewMax = 9000; },
        [](Settings& s) { s.ViewMin += 500, s.ViewMax += 500; },  // the same scale, moved
        [](Settings& s) { s.AmpUnit = 1; },
    };
    int step = 0;
    for (const auto& change : changes) {
      change(r.s);
      r.plot->ScreenBoxPaint();
      Rig fresh(301, 187);
      fresh.s = r.s;
      std::copy(r.store.CurrentSpectrum.begin(), r.store.CurrentSpectrum.end(), fresh.store.CurrentSpectrum.begin());
      std::copy(r.store.RawSpectrum.begin(), r.store.RawSpectrum.end(), fresh.store.RawSpectrum.begin());
      fresh.plot->ScreenBoxPaint();
      QVERIFY2(r.plot->Image() == fresh.plot->Image(), qPrintable(QString("step %1").arg(step)));
      ++step;
    }
    r.plot->resize(240, 120);  // a new size: drawn afresh again
    r.plot->ScreenBoxPaint();
    Rig fresh(240, 120);
    fresh.s = r.s;
    std::copy(r.store.CurrentSpectrum.begin(), r.store.CurrentSpectrum.end(), fresh.store.CurrentSpectrum.begin());
    std::copy(r.store.RawSpectrum.begin(), r.store.RawSpectrum.end(), fresh.store.RawSpectrum.begin());
    fresh.plot->ScreenBoxPaint();
    QVERIFY(r.plot->Image() == fresh.plot->Image());
  }

  void screenUpdatesAreCoalesced() {
    Rig r(300, 200);
    // The first update goes out as soon as the event loop is back, with
    // everything drawn before: one update, none left waiting for a frame.
    r.plot->ScreenBoxPaint();
    r.plot->ShowSweepMark(100);
    QCOMPARE(r.plot->ScreenUpdates(), 0);
    QCoreApplication::sendPostedEvents();
    QElapsedTimer sinceUpdate;
    sinceUpdate.start();
    QCOMPARE(r.plot->ScreenUpdates(), 1);
    QVERIFY(!r.plot->UpdateWaiting());
    for (std::uint16_t x = 1000; x < 3000; ++x) {
      r.store.CurrentSpectrum[x] = {x, 2500};
      r.plot->PlotPoint(x, r.s.DisplayColors.Graph);
    }
    // Two thousand points are on the image at once; within the same frame
    // they wait, and one update later shows them all.
    const QRgb background = r.plot->Image().pixel(5, 100);
    QVERIFY(r.plot->Image().pixel(r.plot->Scales().X(2999), r.plot->Scales().Y(2500)) != background);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(r.plot->ScreenUpdates(), 1);
    // With no batch after them (a line gone quiet), their own timer shows
    // them 50 ms after the last update (a frame of 20 ms and 30 more): the
    // link's next look at the line, 40 ms after the last, comes first.
    const int due = r.plot->UpdateDueIn();
    QVERIFY2(due > 0 && due <= 50 && due >= 49 - sinceUpdate.elapsed(),
             qPrintable(QString("%1 ms, %2 ms after the update").arg(due).arg(sinceUpdate.elapsed())));
    QTRY_COMPARE_WITH_TIMEOUT(r.plot->ScreenUpdates(), 2, 500);
    QVERIFY(!r.plot->UpdateWaiting());

    // On screen: every point drawn since the last update, and only the
    // columns they touched.
    struct PaintLog : QObject {
      QRegion painted;
      int paints = 0;
      bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) {
          painted += static_cast<QPaintEvent*>(e)->region();
          ++paints;
        }
        return false;
      }
    } log;
    r.plot->installEventFilter(&log);
    r.plot->show();
    QVERIFY(QTest::qWaitForWindowExposed(r.plot.get()));
    QTRY_VERIFY(log.paints > 0 && !r.plot->UpdateWaiting());
    QCoreApplication::processEvents();
    log.painted = QRegion();
    log.paints = 0;
    for (std::uint16_t x = 20000; x < 22000; ++x) {
      r.store.CurrentSpectrum[x] = {x, 2500};
      r.plot->PlotPoint(x, r.s.DisplayColors.Graph);
    }
    const int y = r.plot->Scales().Y(2500), x0 = r.plot->Scales().X(20000), x1 = r.plot->Scales().X(21999);
    QCOMPARE(x0, 92);
    QCOMPARE(x1, 101);
    QTRY_VERIFY(log.paints > 0);
    for (int x = x0; x <= x1; ++x) QVERIFY2(log.painted.contains(QPoint(x, y)), qPrintable(QString::number(x)));
    QVERIFY(log.painted.boundingRect().left() >= x0 - 1);
    QVERIFY(log.painted.boundingRect().right() <= x1 + 1);
  }

  // The pace itself, on a clock of the test's own: a change a frame (20 ms)
  // after the last show is shown when the event loop is back, and the timer
  // of an earlier change goes with it; one that comes sooner waits for 50 ms
  // after the last show.
  void framePacerShowsOnceAFrame() {
    long long now = 1000;
    int shows = 0;
    FramePacer pacer([&] { ++shows; });
    pacer.SetClock([&] { return now; });
    struct Step {
      int after;      // ms since the step before
      bool queued;    // shown when the event loop is back
      int dueAtMost;  // else: the timer's, -1 none
    };
    const Step steps[] = {{0, true, -1}, {5, false, 45}, {3, false, 45}, {12, true, -1}, {19, false, 31}};
    for (const Step& step : steps) {
      now += step.after;
      pacer.Changed();
      const int before = shows;
      const int due = pacer.DueIn();
      if (step.queued) {
        QCOMPARE(due, -1);
        QVERIFY(pacer.Waiting());
        QCoreApplication::sendPostedEvents();
        QCOMPARE(shows, before + 1);
        QVERIFY(!pacer.Waiting());
      } else {
        QVERIFY2(due > step.dueAtMost - 3 && due <= step.dueAtMost, qPrintable(QString::number(due)));
        QCoreApplication::sendPostedEvents();
        QCOMPARE(shows, before);
      }
    }
    pacer.Shown();  // brought up to date otherwise: nothing waits
    QVERIFY(!pacer.Waiting());
    // Within a batch of the link, a change due is shown at the batch's end,
    // on the spot: nothing goes through the event queue.
    FrameBatch batch;
    pacer.SetBatch(&batch);
    now += 20;
    batch.Begin();
    pacer.Changed();
    pacer.Changed();
    QCOMPARE(shows, 2);
    QCOMPARE(pacer.DueIn(), -1);
    batch.End();
    QCOMPARE(shows, 3);
    QVERIFY(!pacer.Waiting());
    QCoreApplication::sendPostedEvents();
    QCOMPARE(shows, 3);
  }

  void sweepMarkIsAnXorWedge() {
    Rig r(300, 200);
    r.plot->ScreenBoxPaint();
    const QImage before = r.plot->Image().copy();
    r.plot->ShowSweepMark(30000);
    QVERIFY(r.plot->Image() != before);
    const int x = r.plot->SweepMarkShownX();
    QCOMPARE(r.plot->Image().pixel(x, 200 - 8) & 0xFFFFFF, 0xFF0000u);  // red over black
    r.plot->ShowSweepMark(30000);  // the same code: stays
    QVERIFY(r.plot->Image() != before);
    r.plot->ShowSweepMark(40000);  // moves
    QCOMPARE(r.plot->Image().pixel(x, 200 - 8) & 0xFFFFFF, 0u);
    r.s.ViewMax = 35000;
    r.plot->ShowSweepMark(40000);  // outside the view: erased (with the old scale)
    QCOMPARE(r.plot->SweepMarkShownX(), -1);
    QCOMPARE(r.plot->Image(), before);
  }

  void emptyOrInvertedViewDrawsNoPoints() {
    Rig r(300, 200);
    for (std::uint16_t i = 0; i < 1000; ++i) r.store.CurrentSpectrum[i] = {i, 2048};
    r.s.ViewMin = 500;
    r.s.ViewMax = 500;
    r.plot->ScreenBoxPaint();
    QVERIFY(!r.plot->Scales().HasView());
    QCOMPARE(CountColour(r.plot->Image(), r.plot->Image().rect(), ToQRgb(r.s.DisplayColors.Graph)), 0);
    QVERIFY(!r.plot->Scales().CodeAt(10).has_value());
    r.s.ViewMin = 900;
    r.s.ViewMax = 100;
    r.plot->ScreenBoxPaint();
    QCOMPARE(CountColour(r.plot->Image(), r.plot->Image().rect(), ToQRgb(r.s.DisplayColors.Graph)), 0);
    r.plot->ShowSweepMark(300);
    r.plot->PlotPixel(300, 2048, r.s.DisplayColors.ADC2);
    // A view ending at 65535 and bounds beyond the store end the loop.
    r.s.ViewMin = -100;
    r.s.ViewMax = 70000;
    r.plot->ScreenBoxPaint();
    QVERIFY(CountColour(r.plot->Image(), r.plot->Image().rect(), ToQRgb(r.s.DisplayColors.Graph)) > 0);
    // A plot of no size draws nothing and does not fail.
    Rig z(0, 0);
    z.plot->ScreenBoxPaint();
    z.plot->PlotPoint(5, z.s.DisplayColors.Graph);
    z.plot->ShowSweepMark(5);
  }

  void minMaxLabelsAndResultTexts() {
    Rig r(600, 300);
    for (std::uint16_t i = 0; i < 65520; ++i) r.store.CurrentSpectrum[i] = {i, 2048};
    r.store.CurrentSpectrum[20000] = {20000, 4000};  // near the top: its label goes below
    r.store.CurrentSpectrum[40000] = {40000, 1000};
    r.run.MaxIndex = 20000;
    r.run.MinIndex = 40000;
    r.plot->ScreenBoxPaint();
    const QImage& img = r.plot->Image();
    const QRgb text = ToQRgb(r.s.DisplayColors.Text);
    const int xm = r.plot->Scales().X(20000), ym = r.plot->Scales().Y(4000);
    QVERIFY(ym < 40);
    QVERIFY(CountColour(img, QRect(xm - 8, ym + 1, 17, 17), text) > 20);  // the arrow from below
    const int xn = r.plot->Scales().X(40000), yn = r.plot->Scales().Y(1000);
    QVERIFY(CountColour(img, QRect(xn - 8, yn + 1, 17, 17), text) > 20);  // the minimum's arrow, below too
    QVERIFY(CountColour(img, QRect(0, 2, 600, 14), text) > 0);             // "A="
    Rig q(600, 300);
    q.run.IntegralS = 0;  // "S=" with zero is shown
    q.run.ModAmplitude = 0;  // not shown
    q.plot->ScreenBoxPaint();
    QVERIFY(CountColour(q.plot->Image(), QRect(0, 10, 600, 20), ToQRgb(q.s.DisplayColors.Text)) > 0);
    QCOMPARE(CountColour(q.plot->Image(), QRect(0, 0, 60, 14), ToQRgb(q.s.DisplayColors.Text)), 0);
  }

  void clickMapsToTheFieldCode() {
    ViewRig v(984, 273);
    QCOMPARE(v.view->Plot().size(), QSize(984, 273));
    v.view->ScreenBoxMouseDown(492);
    QCOMPARE(v.view->SelStart(), 32760L);
    v.view->ScreenBoxMouseUp(492);
  }

  void viewSelections() {
    ViewRig v(984, 273);
    auto* scale = v.view->findChild<QToolButton*>("ScaleBtn");
    auto* minView = v.view->findChild<QSpinBox*>("MinView");
    auto* maxView = v.view->findChild<QSpinBox*>("MaxView");
    QVERIFY(scale && minView && maxView);
    const PlotScales sc = v.view->Plot().Scales();
    auto xOf = [&](long code) { return sc.X(code); };
    scale->setChecked(true);
    v.view->ScreenBoxMouseDown(xOf(1000));
    QCOMPARE(v.view->MouseMode(), 3);
    v.view->ScreenBoxMouseMove(xOf(1100));
    QVERIFY(CountColour(v.view->Plot().Image(), QRect(xOf(1000), 0, 1, 273), 0xA6CAF0) > 0);  // the band
    v.view->ScreenBoxMouseUp(xOf(1100));
    QVERIFY(!scale->isChecked());
    QCOMPARE(v.s.ViewMin, static_cast<int>(v.view->SelStart()));
    QCOMPARE(v.view->SelEnd() - v.view->SelStart(), 512L);
    QVERIFY(std::abs(v.view->SelStart() - 1000) <= 67);  // one pixel is 66.6 codes
    QCOMPARE(v.view->MouseMode(), 0);
    // Ending at 65530: the 512 codes ending there, clamped by the spin edits.
    v.view->AAllViewExecute();
    const PlotScales all = v.view->Plot().Scales();
    scale->setChecked(true);
    v.view->ScreenBoxMouseDown(all.X(65500));
    v.view->ScreenBoxMouseUp(all.X(65530));
    QVERIFY(v.view->SelEnd() - v.view->SelStart() == 512);
    QCOMPARE(minView->value(), 65007);
    QCOMPARE(maxView->value(), 65519);
    // Sweep bounds with the mouse end in a signal.
    v.view->AAllViewExecute();
    QSignalSpy bounds(v.view.get(), &ViewWindow::SweepBoundsRequested);
    auto* select = v.view->findChild<QAction*>("AMouseSelect");
    select->setChecked(true);
    v.view->ScreenBoxMouseDown(100);
    QCOMPARE(v.view->MouseMode(), 4);
    v.view->ScreenBoxMouseMove(300);
    QVERIFY(CountColour(v.view->Plot().Image(), QRect(200, 0, 1, 273), 0xFF00FF) > 200);
    v.view->ScreenBoxMouseUp(300);
    QCOMPARE(bounds.count(), 1);
    QCOMPARE(bounds[0][0].toInt(), static_cast<int>(v.view->SelStart()));
    QVERIFY(!select->isChecked());
    v.view->AResetDiapExecute();
    QCOMPARE(bounds.count(), 2);
    QCOMPARE(bounds[1][0].toInt(), 0);
    QCOMPARE(bounds[1][1].toInt(), 65519);
  }

  void selectionIsAtLeast512Codes() {
    ViewRig v(1000, 100);
    v.view->findChild<QSpinBox*>("MaxView")->setValue(1000);  // one code per pixel
    QCOMPARE(v.view->Plot().Scales().PixPerCode, 1.0f);
    QSignalSpy bounds(v.view.get(), &ViewWindow::SweepBoundsRequested);
    auto* select = v.view->findChild<QAction*>("AMouseSelect");
    const int drags[][2] = {{100, 400}, {100, 611}, {700, 100}};  // 300, 511 and 600 codes
    const int expected[][2] = {{100, 612}, {100, 612}, {100, 700}};
    for (int k = 0; k < 3; ++k) {
      select->setChecked(true);
      v.view->ScreenBoxMouseDown(drags[k][0]);
      v.view->ScreenBoxMouseUp(drags[k][1]);
      QCOMPARE(bounds.count(), k + 1);
      QCOMPARE(bounds[k][0].toInt(), expected[k][0]);
      QCOMPARE(bounds[k][1].toInt(), expected[k][1]);
    }
  }

  void verticalScaleStopsAtItsLimits() {
    ViewRig v(300, 200);
    QSignalSpy changed(v.view.get(), &ViewWindow::ViewChanged);
    v.view->ADecScaleExecute();
    QCOMPARE(changed.count(), 0);
    for (int k = 0; k < 8; ++k) v.view->AIncScaleExecute();
    QCOMPARE(v.s.OrdScale, 6);
    QCOMPARE(changed.count(), 6);
  }

  void cursorsToggleAndStep() {
    ViewRig v(984, 273);
    v.store.CurrentSpectrum[32639] = {32639, 2148};
    v.store.CurrentSpectrum[32640] = {32640, 2248};
    v.s.VisKoord1 = 0;  // equal to ViewMin: not strictly inside
    v.view->Plot().ScreenBoxPaint();
    const QImage before = v.view->Plot().Image().copy();
    v.view->AVisir1Execute();
    QVERIFY(v.s.Visir1);
    QCOMPARE(v.s.VisKoord1, static_cast<std::uint16_t>(65519 / 2 - 120));
    QCOMPARE(v.view->findChild<QLineEdit*>("VisOrd1")->text(), QString("100"));
    QCOMPARE(v.view->findChild<QLineEdit*>("VisKrd1")->text(), QString("32639"));
    const int x = v.view->VisX(1);
    QVERIFY(x > 0);
    QCOMPARE(v.view->Plot().Image().pixel(x, 100) & 0xFFFFFF, ToQRgb(v.s.DisplayColors.Visir1) & 0xFFFFFF);
    v.view->Plot().ScreenBoxPaint();  // a full repaint draws the line anew
    QCOMPARE(v.view->VisShownX(1), x);
    QCOMPARE(v.view->Plot().Image().pixel(x, 100) & 0xFFFFFF, ToQRgb(v.s.DisplayColors.Visir1) & 0xFFFFFF);
    auto* stepper = v.view->findChild<QSpinBox*>("LRVis1");
    QCOMPARE(stepper->value(), 32639 - 32767);
    stepper->setValue(stepper->value() + 1);  // one code right
    QCOMPARE(v.s.VisKoord1, 32640);
    QCOMPARE(v.view->findChild<QLineEdit*>("VisOrd1")->text(), QString("200"));
    v.view->AVisir1Execute();  // off: the line goes, the plot is as before
    QCOMPARE(v.view->Plot().Image(), before);
    // Both on: cursors strictly inside the view stay where they are; the
    // distance is shown, in field units without the constant field.
    v.view->AStandVisirExecute();
    QCOMPARE(v.s.VisKoord1, 32640);
    QCOMPARE(v.s.VisKoord2, 65400);
    QCOMPARE(v.panels[7], QString("dH=32760"));
    v.s.RazvUnit = 3;
    v.view->PlaceVisir2(65519);
    QCOMPARE(v.panels[7], QString("dH=150,5 Э"));  // 32879 codes of 300 Э over 65519
    v.s.RazvUnit = 0;
    v.s.VisKoord2 = 65519;
    v.view->AVisir2Execute();
    v.view->AVisir2Execute();  // off and on again: 65519 is not strictly inside, so to the middle + 120
    QCOMPARE(v.s.VisKoord2, static_cast<std::uint16_t>(65519 / 2 + 120));
    // Stepping off the view erases the line; stepping back draws it.
    v.view->findChild<QSpinBox*>("MaxView")->setValue(32700);
    auto* stepper2 = v.view->findChild<QSpinBox*>("LRVis2");
    v.view->PlaceVisir2(32700);
    QVERIFY(v.view->VisShownX(2) >= 0);
    stepper2->setValue(stepper2->value() + 1);
    QCOMPARE(v.view->VisShownX(2), -1);
    stepper2->setValue(stepper2->value() - 1);
    QVERIFY(v.view->VisShownX(2) >= 0);
    // Code 65535 shows the stepper at its end; one click back is one code.
    v.view->PlaceVisir2(65535);
    QCOMPARE(stepper2->value(), 32767);
    QCOMPARE(v.s.VisKoord2, 65535);
    stepper2->stepDown();
    QCOMPARE(v.s.VisKoord2, 65534);
  }

  void dragMovesTheNearerCursorAndWraps() {
    ViewRig v(984, 273);
    v.s.VisKoord1 = 30000;
    v.s.VisKoord2 = 30010;  // less than a pixel apart
    v.view->AVisir1Execute();
    v.view->AVisir2Execute();
    const int x = v.view->VisX(1);
    v.view->ScreenBoxMouseDown(x);
    QCOMPARE(v.view->MouseMode(), 2);  // the second wins
    v.view->ScreenBoxMouseMove(x + 100);
    QVERIFY(v.s.VisKoord2 > 36000);
    QCOMPARE(v.s.VisKoord1, 30000);
    v.view->ScreenBoxMouseMove(-30);  // past the left edge: wraps to the top of the codes
    QVERIFY(v.s.VisKoord2 > 60000);
    v.view->ScreenBoxMouseUp(-30);
    QCOMPARE(v.view->MouseMode(), 0);
  }

  void steppersShowOnlyTheirArrows() {
    ViewRig v(984, 273);
    v.s.VisKoord1 = 30000;
    v.view->AVisir1Execute();
    for (const char* name : {"MinView", "MaxView", "LRVis1"}) {
      auto* spin = v.view->findChild<QSpinBox*>(name);
      QVERIFY(spin && spin->isVisible());
      QVERIFY(!spin->findChild<QLineEdit*>()->isVisible());  // no number
    }
    // The visible arrow buttons of a stepper, in the order of `arrows`.
    auto buttons = [&](const char* name, std::initializer_list<Qt::ArrowType> arrows) {
      QList<QToolButton*> found;
      for (Qt::ArrowType arrow : arrows)
        for (auto* b : v.view->findChild<QSpinBox*>(name)->findChildren<QToolButton*>())
          if (b->arrowType() == arrow && b->isVisible()) found << b;
      return found;
    };
    // The view bounds: up above down, 10 codes a click.
    const QList<QToolButton*> minArrows = buttons("MinView", {Qt::UpArrow, Qt::DownArrow});
    QCOMPARE(minArrows.size(), 2);
    QVERIFY(minArrows[0]->geometry().bottom() < minArrows[1]->geometry().top());
    QTest::mouseClick(minArrows[0], Qt::LeftButton);
    QCOMPARE(v.s.ViewMin, 10);
    const QList<QToolButton*> maxArrows = buttons("MaxView", {Qt::UpArrow, Qt::DownArrow});
    QCOMPARE(maxArrows.size(), 2);
    QTest::mouseClick(maxArrows[1], Qt::LeftButton);
    QCOMPARE(v.s.ViewMax, 65509);
    // The cursor steppers: left and right side by side, one code a click.
    const QList<QToolButton*> lr = buttons("LRVis1", {Qt::LeftArrow, Qt::RightArrow});
    QCOMPARE(lr.size(), 2);
    QCOMPARE(lr[0]->geometry().top(), lr[1]->geometry().top());
    QVERIFY(lr[0]->geometry().right() < lr[1]->geometry().left());
    QTest::mouseClick(lr[1], Qt::LeftButton);
    QCOMPARE(v.s.VisKoord1, 30001);
    QTest::mouseClick(lr[0], Qt::LeftButton);
    QTest::mouseClick(lr[0], Qt::LeftButton);
    QCOMPARE(v.s.VisKoord1, 29999);
  }

  void onlyADrawnCursorIsGrabbed() {
    ViewRig v(984, 273);
    v.view->findChild<QSpinBox*>("MinView")->setValue(1000);
    v.view->AStandVisirExecute();
    v.view->PlaceVisir1(500);    // below the view: x = -1
    v.view->PlaceVisir2(65519);  // the view's top: one column beyond the last
    QCOMPARE(v.view->VisX(1), -1);
    QCOMPARE(v.view->VisX(2), 984);
    for (int x : {0, 1, 2, 981, 982, 983}) {
      v.view->ScreenBoxMouseMove(x);
      QCOMPARE(v.view->Plot().cursor().shape(), Qt::ArrowCursor);
      v.view->ScreenBoxMouseDown(x);
      QCOMPARE(v.view->MouseMode(), 0);
      v.view->ScreenBoxMouseUp(x);
    }
  }

  void rightClickStartsNoMode() {
    ViewRig v(984, 273);
    v.s.VisKoord1 = 30000;
    v.view->AVisir1Execute();
    const int x = v.view->VisX(1);
    ScreenBox& plot = v.view->Plot();
    auto* menu = v.view->findChild<QMenu*>("ScreenMenu");
    // The menu opens on the press and takes the release.
    QTest::mousePress(&plot, Qt::RightButton, {}, QPoint(x, 100));
    QVERIFY(menu->isVisible());
    QTest::mouseRelease(&plot, Qt::RightButton, {}, QPoint(x, 100));
    QCOMPARE(v.view->MouseMode(), 0);
    menu->close();
    QTest::mouseMove(&plot, QPoint(x + 100, 100));
    QCOMPARE(v.s.VisKoord1, 30000);
    // A menu opened while a cursor is held ends the drag.
    QTest::mousePress(&plot, Qt::LeftButton, {}, QPoint(x, 100));
    QCOMPARE(v.view->MouseMode(), 1);
    QTest::mousePress(&plot, Qt::RightButton, Qt::NoModifier, QPoint(x, 100));
    QVERIFY(menu->isVisible());
    QCOMPARE(v.view->MouseMode(), 0);
    menu->close();
    QTest::mouseRelease(&plot, Qt::LeftButton, {}, QPoint(x, 100));
    // Where the menu opens on the release, the plot sees both: an armed
    // selection is not completed by them.
    auto* scale = v.view->findChild<QToolButton*>("ScaleBtn");
    scale->setChecked(true);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
      QMouseEvent e(type, QPointF(x, 100), plot.mapToGlobal(QPointF(x, 100)), Qt::RightButton,
                    type == QEvent::MouseButtonPress ? Qt::RightButton : Qt::NoButton, Qt::NoModifier);
      QApplication::sendEvent(&plot, &e);
      QCOMPARE(v.view->MouseMode(), 0);
    }
    QVERIFY(scale->isChecked());
    QCOMPARE(v.s.ViewMax, 65519);
  }

  void mouseReadoutsAndEmptyPoints() {
    ViewRig v(984, 273);
    v.store.CurrentSpectrum[32760] = {32760, 2148};
    v.view->ScreenBoxMouseMove(492);
    QCOMPARE(v.panels[3], QString("ПОЛЕ: 32760"));
    QCOMPARE(v.panels[4], QString("АМПЛ: 100"));
    v.view->ScreenBoxMouseMove(493);
    QVERIFY(v.panels[3].startsWith("ПОЛЕ: "));
    QCOMPARE(v.panels[4], QString("<НЕТ>"));
    v.view->ScreenBoxMouseMove(-500);
    QCOMPARE(v.panels[4], QString("<НЕТ>"));
    // Only one cursor on: no distance.
    v.panels[7] = "old";
    v.view->AVisir1Execute();
    QCOMPARE(v.panels[7], QString("old"));
  }
};

QTEST_MAIN(DisplayTest)
#include "display_test.moc"
