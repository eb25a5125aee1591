// The printed sheet drawn on images of known resolution and printed to PDF
// files read back with poppler's tools.

#include <QFileDialog>
#include <QtTest>

#include <cmath>
#include <memory>

#include "app/instrument_panel.h"
#include "app/print_setup_form.h"
#include "display/print_sheet.h"
#include "model/units.h"
#include "tests/app/modal.h"
#include "tests/app/print_rig.h"
#include "tests/model/test_dir.h"

using namespace qel;
using test::Bgr;
using test::Raster;
using test::Run;
using test::Window;

namespace {

// A4 portrait less 3.5 mm left and right and 4 mm top and bottom, at 150 dpi.
// Frame: Left 12 mm = 70 px, Top 11 mm = 64 px, Right 1129, Bottom 1643;
// its height 1579 is 3 modulo 4, where the sheet's quarter line and the
// screen's differ by one row.
constexpr PrintGeometry kA4At150{1199, 1707, 203, 289};

constexpr std::int32_t kBack = 0xC0FFFF;  // light yellow, unlike the white paper

struct Sheet {
  Sheet() {
    SetDefaults(s);
    s.ViewMin = 0;
    s.ViewMax = 4000;
    s.OrdScale = 3;
    s.PrinterColors.BackGround = kBack;
    store.ClearSpectrum();
  }
  SheetInput Input(bool receive = false) const { return {s, store, run, receive, "1", "2", ","}; }
  QImage Render(const PrintGeometry& g = kA4At150, int dpi = 150, bool receive = false) {
    QImage image(g.HorzRes, g.VertRes, QImage::Format_RGB32);
    image.fill(Qt::white);
    image.setDotsPerMeterX(static_cast<int>(std::lround(dpi / 0.0254)));
    image.setDotsPerMeterY(static_cast<int>(std::lround(dpi / 0.0254)));
    QPainter p(&image);
    report = DrawSheet(p, g, Input(receive));
    return image;
  }
  void Point(std::size_t i, int code, int value) {
    store.CurrentSpectrum[i] = {static_cast<std::uint16_t>(code), static_cast<std::uint16_t>(value)};
  }
  // The last text drawn with these words.
  const PlotLabel* Text(const QString& text) const {
    const PlotLabel* found = nullptr;
    for (const PlotLabel& l : report.Texts)
      if (QString::fromStdString(l.Text) == text) found = &l;
    return found;
  }
  bool AnyPixel(const QImage& image, const QColor& c) const {
    for (int y = 0; y < image.height(); ++y) {
      const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
      for (int x = 0; x < image.width(); ++x)
        if (line[x] == c.rgb()) return true;
    }
    return false;
  }
  Settings s;
  SpectrumStore store;
  RunValues run;
  SheetReport report;
};

QString Amp(const Settings& s, int a) { return QString::fromStdString(FormatAmplitude(s, a, ",")); }

}  // namespace

class PrintTest : public QObject {
  Q_OBJECT
 private slots:
  void init() { dir_ = std::make_unique<test::TempDir>(); }
  void A4FrameInsideThePrintableArea();
  void HeaderInReceiveAndAnalyseMode();
  void CornerAndGridLabelsAtOrdScale0();
  void SheetColoursAreTheSettingsOwn();
  void CursorOnTheViewBoundIsNotPrinted();
  void DotsAtTheirOwnCodeAndOnTheBottomRow();
  void MinMaxLabelsAreNeverFlipped();
  void ModulationLabelKeepsClearOfTheFrame();
  void IntegralAndModulationLabels();
  void EmptyViewPrintsFrameAndLabelsWithoutPoints();
  void MarginSampleForAKnownGeometry();
  void PrintedPdfReadBack();
  void NoPrinterAsksForAPdfFile();
  void WindowPictureKeepsItsScreenSize();

 private:
  std::unique_ptr<test::TempDir> dir_;
};

void PrintTest::A4FrameInsideThePrintableArea() {
  QCOMPARE(NearestPaper(203, 289), (PaperSize{210, 297}));
  QCOMPARE(NearestPaper(289, 203), (PaperSize{297, 210}));
  QCOMPARE(NearestPaper(290, 410), (PaperSize{297, 420}));
  // Ties go to the earlier sheet, distances compared in whole millimetres:
  // 201 x 200 is 97.4 mm from A4 portrait and 96.5 mm from A4 landscape.
  for (const auto& [w, h] : {std::pair{253, 253}, std::pair{201, 200}})
    QCOMPARE(NearestPaper(w, h), (PaperSize{210, 297}));
  // At 300 dpi: 203 x 289 mm are 2398 x 3413 pixels.
  const PrintGeometry g{2398, 3413, 203, 289};
  QCOMPARE(MinimumMargins(g), (Margins{3, 3, 4, 4}));
  Sheet sheet;  // margins of 15 mm: 12 mm and 11 mm beyond the minimum
  const QImage image = sheet.Render(g, 300);
  QCOMPARE(sheet.report.Frame, (Edges{141, 129, 2398 - 141, 3413 - 129}));
  const QColor border = Bgr(sheet.s.PrinterColors.Border), back = Bgr(kBack);
  const int midY = 2000, midX = 1500;
  QCOMPARE(image.pixelColor(140, midY), QColor(Qt::white));
  QCOMPARE(image.pixelColor(141, midY), border);
  QCOMPARE(image.pixelColor(142, midY), back);
  QCOMPARE(image.pixelColor(2256, midY), border);
  QCOMPARE(image.pixelColor(2257, midY), QColor(Qt::white));
  QCOMPARE(image.pixelColor(midX, 128), QColor(Qt::white));
  QCOMPARE(image.pixelColor(midX, 129), border);
  QCOMPARE(image.pixelColor(midX, 3283), border);
  QCOMPARE(image.pixelColor(midX, 3284), QColor(Qt::white));

  // A PDF printer with that printable area reports it.
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setResolution(300);
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setPageMargins(QMarginsF(3.5, 4, 3.5, 4), QPageLayout::Millimeter);
  const PrintGeometry pg = PrinterGeometry(printer);
  QCOMPARE(pg.HorzSize, 203);
  QCOMPARE(pg.VertSize, 289);
  QCOMPARE(pg.HorzRes, printer.width());
  QCOMPARE(pg.VertRes, printer.height());
  // Qt places the printable area in whole points: a few pixels off the millimetres.
  QVERIFY2(std::abs(pg.HorzRes - 2398) <= 4 && std::abs(pg.VertRes - 3413) <= 4,
           qPrintable(QString("%1 x %2").arg(pg.HorzRes).arg(pg.VertRes)));
  // Halves of a millimetre go to the even one: 202.5 x 288.5 mm are 202 x 288.
  printer.setPageMargins(QMarginsF(3.75, 4.25, 3.75, 4.25), QPageLayout::Millimeter);
  QCOMPARE(PrinterGeometry(printer).HorzSize, 202);
  QCOMPARE(PrinterGeometry(printer).VertSize, 288);
}

void PrintTest::HeaderInReceiveAndAnalyseMode() {
  Sheet sheet;
  sheet.s.LastOpen = "/data/spectra/run 7.qel";
  sheet.Render(kA4At150, 150, false);
  const PlotLabel* header = sheet.Text(" Файл: \"run 7.qel\"  Усиление: 1.  Развёртка: 2.");
  QVERIFY(header);
  QCOMPARE(header->Box.topLeft(), QPoint(70 + 1, 64 + 1));
  sheet.Render(kA4At150, 150, true);
  QVERIFY(sheet.Text(" Усиление: 1.  Развёртка: 2."));
  sheet.s.LastOpen.clear();
  sheet.Render(kA4At150, 150, false);
  QVERIFY(sheet.Text(" Усиление: 1.  Развёртка: 2."));
}

void PrintTest::CornerAndGridLabelsAtOrdScale0() {
  Sheet sheet;
  sheet.s.OrdScale = 0;
  const QImage image = sheet.Render();
  const QFontMetrics fm(PlotFont(), &image);
  const int th = fm.height();
  const PlotLabel* corner = sheet.Text(Amp(sheet.s, 2048));
  QVERIFY(corner);
  QCOMPARE(corner->Box.topLeft(), QPoint(1129 - fm.horizontalAdvance(Amp(sheet.s, 2048)) - 2, 64 + 1));
  // The field bounds in the bottom corners.
  const QString low = QString::fromStdString(FormatField(sheet.s, 0, ","));
  QVERIFY(sheet.report.Texts.size() > 1);
  QCOMPARE(QString::fromStdString(sheet.report.Texts[1].Text), low);
  QCOMPARE(sheet.report.Texts[1].Box.topLeft(), QPoint(70 + 2, 1643 - 1 - th));
  const QString high = QString::fromStdString(FormatField(sheet.s, 4000, ","));
  QCOMPARE(QString::fromStdString(sheet.report.Texts[2].Text), high);
  QCOMPARE(sheet.report.Texts[2].Box.topLeft(), QPoint(1129 - fm.horizontalAdvance(high) - 2, 1643 - 1 - th));
  // Grid lines at the middle and the quarters of the frame, labels 2 pixels above.
  const int ys[3] = {853, 64 + 1579 / 4, 64 + 3 * 1579 / 4};
  const int labels[3] = {0, 1024, -1024};
  for (int k = 0; k < 3; ++k) {
    const QString text = Amp(sheet.s, labels[k]);
    const PlotLabel* l = sheet.Text(text);
    QVERIFY2(l, qPrintable(text));
    QCOMPARE(l->Box.topLeft(), QPoint(1129 - fm.horizontalAdvance(text) - 2, ys[k] - th - 2));
    QCOMPARE(image.pixelColor(500, ys[k]), Bgr(sheet.s.PrinterColors.Grid));
  }
  QCOMPARE(image.pixelColor(500, 64 + 3 * (1579 / 2) / 2), Bgr(kBack));  // not the screen's row
  QCOMPARE(image.pixelColor(70, 853), Bgr(sheet.s.PrinterColors.Grid));  // the line starts on the frame
  QCOMPARE(image.pixelColor(70, 300), Bgr(sheet.s.PrinterColors.Border));
  QCOMPARE(image.pixelColor(1128, 853), Bgr(sheet.s.PrinterColors.Border));  // the line ends at Right - 2
  QCOMPARE(image.pixelColor(1127, 853), Bgr(sheet.s.PrinterColors.Grid));
}

void PrintTest::SheetColoursAreTheSettingsOwn() {
  // Colours are kept as 0x00BBGGRR: the default text 0x0000FF is red, the
  // border 0xFF0000 blue, and the background 0xC0FFFF light yellow.
  Sheet sheet;
  QCOMPARE(sheet.s.PrinterColors.Text, 0x0000FF);
  QCOMPARE(sheet.s.PrinterColors.Border, 0xFF0000);
  const QImage image = sheet.Render();
  QCOMPARE(image.pixelColor(70, 300), QColor(0, 0, 255));
  QCOMPARE(image.pixelColor(500, 300), QColor(255, 255, 0xC0));
  const PlotLabel* header = sheet.Text(" Усиление: 1.  Развёртка: 2.");
  QVERIFY(header);
  QVERIFY(sheet.AnyPixel(image.copy(header->Box), QColor(255, 0, 0)));
}

void PrintTest::CursorOnTheViewBoundIsNotPrinted() {
  Sheet sheet;
  sheet.s.PrinterColors.Visir1 = 0x00AA00;
  sheet.s.PrinterColors.Visir2 = 0xAA0000;
  sheet.s.Visir1 = sheet.s.Visir2 = true;
  sheet.s.VisKoord1 = 0;     // on ViewMin
  sheet.s.VisKoord2 = 3000;  // x = 70 + round(3000 * 1059 / 4000) = 864
  sheet.Point(3000, 3000, 2048 + 100);
  QImage image = sheet.Render();
  QVERIFY(!sheet.AnyPixel(image, Bgr(0x00AA00)));
  const QFontMetrics fm(PlotFont(), &image);
  const int th = fm.height();
  // Two columns wide, from the row th below the frame's top to the row
  // before th + 1 above its bottom.
  const QColor back = Bgr(kBack), visir2 = Bgr(0xAA0000);
  const std::pair<QPoint, QColor> line[] = {{{864, 64 + th - 1}, back},    {{864, 64 + th}, visir2},
                                            {{863, 64 + th}, visir2},      {{865, 400}, back},
                                            {{862, 400}, back},            {{864, 1643 - th - 2}, visir2},
                                            {{863, 1643 - th - 2}, visir2}, {{864, 1643 - th - 1}, back}};
  for (const auto& [at, c] : line)
    QVERIFY2(image.pixelColor(at) == c, qPrintable(QString("%1,%2").arg(at.x()).arg(at.y())));
  const QString readout = "{" + QString::fromStdString(FormatField(sheet.s, 3000, ",")) + "  " + Amp(sheet.s, 100) + "}";
  const PlotLabel* l = sheet.Text(readout);
  QVERIFY(l);
  const int w2 = fm.horizontalAdvance(QString::fromStdString(FormatField(sheet.s, 4000, ",")));
  QCOMPARE(l->Box.topLeft(), QPoint(1129 - w2 * 5 / 3 - fm.horizontalAdvance(readout), 1643 - 1 - th));
  // One code inside the view, cursor 1 is printed, its read-out on the
  // left; cursor 2 on ViewMax is not.
  sheet.s.VisKoord1 = 1;
  sheet.s.VisKoord2 = 4000;
  sheet.Point(1, 1, 2048 - 7);
  image = sheet.Render();
  QVERIFY(sheet.AnyPixel(image, Bgr(0x00AA00)));
  QVERIFY(!sheet.AnyPixel(image, visir2));
  const QString readout1 = "{" + QString::fromStdString(FormatField(sheet.s, 1, ",")) + "  " + Amp(sheet.s, -7) + "}";
  const int w1 = fm.horizontalAdvance(QString::fromStdString(FormatField(sheet.s, 0, ",")));
  QVERIFY(sheet.Text(readout1));
  QCOMPARE(sheet.Text(readout1)->Box.topLeft(), QPoint(70 + w1 * 5 / 3, 1643 - 1 - th));
}

void PrintTest::DotsAtTheirOwnCodeAndOnTheBottomRow() {
  Sheet sheet;
  const QColor graph = Bgr(sheet.s.PrinterColors.Graph), back = Bgr(kBack);
  sheet.Point(1000, 1000, 0);          // far below the span: x 335, on the bottom row
  sheet.Point(2001, 3000, 2048);       // its own code 3000: x 864, on the zero line (y 853)
  sheet.Point(2500, 2500, 65520);      // a parameter tag: not a point
  QImage image = sheet.Render();
  QCOMPARE(sheet.report.Points, 2L);
  for (int x : {334, 335})
    for (int y : {1640, 1641}) QCOMPARE(image.pixelColor(x, y), graph);
  QCOMPARE(image.pixelColor(335, 1639), back);
  QCOMPARE(image.pixelColor(336, 1641), back);
  QCOMPARE(image.pixelColor(335, 1642), Bgr(sheet.s.PrinterColors.Border));
  for (int x : {863, 864})
    for (int y : {852, 853}) QCOMPARE(image.pixelColor(x, y), graph);
  QCOMPARE(image.pixelColor(600, 853), Bgr(sheet.s.PrinterColors.Grid));  // nothing at x(2001)
  // The raw value in AddGraph, only with ShowFirst.
  sheet.store.RawSpectrum[2001] = 2048 + 100;  // 100 codes up: y = 853 - round(100 * 1579 / 512) = 545
  const QColor raw = Bgr(sheet.s.PrinterColors.AddGraph);
  image = sheet.Render();
  QCOMPARE(image.pixelColor(864, 545), back);
  // With ShowFirst each dot keeps its own colour, the raw one drawn after
  // the spectrum's and, far below, on the bottom row too.
  sheet.store.RawSpectrum[1000] = 0;
  sheet.s.ShowFirst = true;
  image = sheet.Render();
  QCOMPARE(image.pixelColor(864, 545), raw);
  QCOMPARE(image.pixelColor(863, 544), raw);
  QCOMPARE(image.pixelColor(864, 853), graph);
  QCOMPARE(image.pixelColor(863, 852), graph);
  QCOMPARE(image.pixelColor(335, 1641), raw);
  QCOMPARE(image.pixelColor(334, 1640), raw);
}

void PrintTest::MinMaxLabelsAreNeverFlipped() {
  Sheet sheet;
  sheet.s.OrdScale = 0;
  sheet.Point(1000, 1000, 4095);  // the maximum at the very top of the frame
  sheet.Point(3000, 2200, 0);     // the minimum at its bottom, at code 2200: x 652
  sheet.run.MaxIndex = 1000;
  sheet.run.MinIndex = 3000;
  const QImage image = sheet.Render();
  const QFontMetrics fm(PlotFont(), &image);
  const int th = fm.height();
  const int ymax = 853 - static_cast<int>(std::lrint(2047 * (1579.0f / 4096)));
  const int ymin = 853 + static_cast<int>(std::lrint(2048 * (1579.0f / 4096)));
  const PlotLabel* max = sheet.Text(Amp(sheet.s, 2047));
  const PlotLabel* min = sheet.Text(Amp(sheet.s, -2048));
  QVERIFY(max && min);
  // Centred on their points, above the maximum though outside the frame, below the minimum.
  QCOMPARE(max->Box.topLeft(), QPoint(335 - fm.horizontalAdvance(Amp(sheet.s, 2047)) / 2, ymax - 20 - th));
  QCOMPARE(min->Box.topLeft(), QPoint(652 - fm.horizontalAdvance(Amp(sheet.s, -2048)) / 2, ymin + 22));
  QCOMPARE(image.pixelColor(335, ymax - 10), Bgr(sheet.s.PrinterColors.Text));  // the arrow's shaft
  // Centred on the code halfway between the two: 1600, x 494.
  const QString aText = "A=" + Amp(sheet.s, 4095);
  const PlotLabel* a = sheet.Text(aText);
  QVERIFY(a);
  QCOMPARE(a->Box.topLeft(), QPoint(494 - fm.horizontalAdvance(aText) / 2, 64 + 2 * th));
}

void PrintTest::ModulationLabelKeepsClearOfTheFrame() {
  Sheet sheet;
  sheet.s.LastOpen = "/data/a.qel";
  const QImage without = sheet.Render();
  const PlotLabel header = *sheet.Text(" Файл: \"a.qel\"  Усиление: 1.  Развёртка: 2.");
  sheet.run.ModAmplitude = 3;
  const QString text = "АМ=3,00 " + QString::fromStdString(sheet.s.ADCUnits[3].Name);
  QImage image = sheet.Render();
  const QFontMetrics fm(PlotFont(), &image);
  const int th = fm.height();
  // The frame starts 70 pixels in, too near for the label: it goes after
  // the header, a blank's width on, inside the frame.
  QVERIFY(2 + fm.horizontalAdvance(text) > 70);
  QVERIFY(sheet.Text(text));
  QCOMPARE(sheet.Text(text)->Box.topLeft(), QPoint(header.Box.right() + 1 + fm.horizontalAdvance(' '), 64 + 2));
  // The frame's left edge and the header are as without it.
  for (int y = 64; y < 64 + 2 + th; ++y)
    QVERIFY2(image.pixelColor(70, y) == QColor(Qt::blue), qPrintable(QString::number(y)));
  QCOMPARE(image.copy(header.Box), without.copy(header.Box));
  // A frame 40 mm from the paper's edge leaves it room at the printable area's edge.
  sheet.s.PrnL = 40;
  image = sheet.Render();
  QVERIFY(2 + fm.horizontalAdvance(text) <= sheet.report.Frame.Left);
  QCOMPARE(sheet.Text(text)->Box.topLeft(), QPoint(2, 64 + 2));
  // A file name so long that the header leaves no room before the frame's
  // right edge: the row below the header, at the frame's left edge.
  sheet.s.PrnL = 15;
  sheet.s.LastOpen = "/data/" + std::string(120, 'x') + ".qel";
  image = sheet.Render();
  const PlotLabel* longHeader = nullptr;
  for (const PlotLabel& l : sheet.report.Texts)
    if (l.Text.rfind(" Файл:", 0) == 0) longHeader = &l;
  QVERIFY(longHeader);
  QVERIFY(sheet.Text(text));
  QCOMPARE(sheet.Text(text)->Box.topLeft(), QPoint(sheet.report.Frame.Left + 2, longHeader->Box.bottom() + 2));
  QVERIFY(sheet.Text(text)->Box.right() < sheet.report.Frame.Right);
}

void PrintTest::IntegralAndModulationLabels() {
  // "АМ=" is written in the text colour the steps before it left (a
  // cursor's colour, or the text colour), always on the background: the
  // last dot's colour under it would hide it where the text is as red as
  // the graph (the printer's default colours).
  struct Case {
    const char* Name;
    std::function<void(Sheet&)> Set;
    std::int32_t ColorSet::*Fg;
  };
  const Case cases[] = {
      {"dots", {}, &ColorSet::Text},
      {"raw dots", [](Sheet& x) { x.s.ShowFirst = true; }, &ColorSet::Text},
      {"cursor", [](Sheet& x) { x.s.Visir2 = true; }, &ColorSet::Visir2},
      {"cursor, min and max",
       [](Sheet& x) {
         x.s.Visir2 = true;
         x.run.MinIndex = x.run.MaxIndex = 1000;
       },
       &ColorSet::Text},
      {"cursor and integral",
       [](Sheet& x) {
         x.s.Visir1 = x.s.Visir2 = true;
         x.run.IntegralS = 5;
       },
       &ColorSet::Text},
  };
  for (const Case& c : cases) {
    Sheet sheet;
    sheet.s.PrinterColors.Graph = 0x00AAAA;
    sheet.s.PrinterColors.AddGraph = 0xAA00AA;
    sheet.s.VisKoord1 = 1000;
    sheet.s.VisKoord2 = 2200;
    sheet.Point(1000, 1000, 2048);
    sheet.run.ModAmplitude = 0.5;
    if (c.Set) c.Set(sheet);
    const QImage image = sheet.Render();
    const PlotLabel& am = sheet.report.Texts.back();
    QVERIFY2(QString::fromStdString(am.Text).startsWith("АМ="), c.Name);
    QVERIFY2(image.pixelColor(am.Box.topLeft()) == Bgr(sheet.s.PrinterColors.BackGround), c.Name);
    QVERIFY2(sheet.AnyPixel(image.copy(am.Box), Bgr(sheet.s.PrinterColors.*c.Fg)), c.Name);
    if (sheet.run.IntegralS >= 0) {
      // "S=" centred on the code halfway between the cursors: 1600, x 494.
      const QString text = "S=" + QString::fromStdString(FormatIntegral(sheet.s, 5, ","));
      const QFontMetrics fm(PlotFont(), &image);
      QVERIFY(sheet.Text(text));
      QCOMPARE(sheet.Text(text)->Box.topLeft(), QPoint(494 - fm.horizontalAdvance(text) / 2, 64 + 2 * fm.height()));
    }
  }
}

void PrintTest::EmptyViewPrintsFrameAndLabelsWithoutPoints() {
  Sheet sheet;
  sheet.s.ViewMin = sheet.s.ViewMax = 1000;
  sheet.s.PrinterColors.Graph = 0x00AAAA;  // unlike every other colour of the sheet
  for (int i = 0; i < 2000; ++i) sheet.Point(static_cast<std::size_t>(i), i, 2048 + i % 7);
  sheet.run.MaxIndex = 1000;
  sheet.run.MinIndex = 1001;
  sheet.run.IntegralS = 5;
  const QImage image = sheet.Render();
  QCOMPARE(sheet.report.Points, 0L);
  QVERIFY(!sheet.AnyPixel(image, Bgr(sheet.s.PrinterColors.Graph)));
  QCOMPARE(image.pixelColor(70, 300), Bgr(sheet.s.PrinterColors.Border));
  QVERIFY(sheet.Text(" Усиление: 1.  Развёртка: 2."));
  QVERIFY(sheet.Text(Amp(sheet.s, 256)));
  for (const PlotLabel& l : sheet.report.Texts) {
    QVERIFY(!QString::fromStdString(l.Text).startsWith("A="));
    QVERIFY(!QString::fromStdString(l.Text).startsWith("S="));
  }
}

void PrintTest::MarginSampleForAKnownGeometry() {
  // 85 % of the height 160 for 297 mm: 0.4579 pixels per mm. The page
  // 203 x 289 mm is 93 x 132 pixels, centred; margins of 15 mm are 7 pixels.
  const MarginSample m = ComputeMarginSample(QSize(200, 160), kA4At150, {15, 15, 15, 15});
  QCOMPARE(m.Page, (Edges{53, 14, 147, 146}));
  QCOMPARE(m.Margin, (Edges{60, 21, 140, 139}));
  QCOMPARE(m.MidY, 80);
  QImage image(200, 160, QImage::Format_RGB32);
  ColorSet printer;
  printer.BackGround = kBack;
  printer.Border = 0x0000FF;
  printer.Grid = 0x808080;
  {
    QPainter p(&image);
    PaintMarginSample(p, image.size(), kA4At150, {15, 15, 15, 15}, printer, QColor(0xD0, 0xD0, 0xD0));
  }
  const QColor box(0xD0, 0xD0, 0xD0), black(Qt::black), white(Qt::white);
  const QColor back = Bgr(kBack), border = Bgr(printer.Border);
  const std::pair<int, QColor> row50[] = {{52, box},     {53, black},  {54, white},  {59, white}, {60, border},
                                          {61, back},   {139, border}, {140, white}, {146, black}, {147, box}};
  for (const auto& [x, c] : row50) QCOMPARE(image.pixelColor(x, 50), c);
  QCOMPARE(image.pixelColor(100, 13), box);
  QCOMPARE(image.pixelColor(100, 14), black);
  QCOMPARE(image.pixelColor(100, 21), border);
  QCOMPARE(image.pixelColor(100, 145), black);
  QCOMPARE(image.pixelColor(100, 146), box);
  QCOMPARE(image.pixelColor(100, 80), Bgr(printer.Grid));
  QCOMPARE(image.pixelColor(60, 80), Bgr(printer.Grid));  // the line covers the outline on both sides
  QCOMPARE(image.pixelColor(139, 80), Bgr(printer.Grid));
  QCOMPARE(image.pixelColor(140, 80), white);
}

void PrintTest::PrintedPdfReadBack() {
  Window w(dir_->Path(), [](Settings& s) {
    s.ViewMin = 0;
    s.ViewMax = 4000;
    s.PrinterColors.BackGround = kBack;
  });
  w.state.Settings.LastOpen = "/data/Образец 1.qel";
  for (std::uint16_t i = 0; i <= 4000; ++i)
    w.state.Store.CurrentSpectrum[i] = {i, static_cast<std::uint16_t>(2048 + std::lround(300 * std::sin(i / 300.0)))};
  w.window->Printing().Printer().setPageOrientation(QPageLayout::Landscape);  // the settings' portrait comes back
  w.window->Action("APrint")->trigger();
  QVERIFY(QFileInfo::exists(w.pdf));
  QCOMPARE(w.window->Printing().Printer().resolution(), 300);  // not the 1200 dpi of hairlines
  QCOMPARE(w.window->Printing().Printer().docName(), QString("Спектр КЕЛ"));
  const QString gain = w.window->Instruments().AmpBox->currentText();
  const QString speed = w.window->Instruments().SpeedBox->currentText();
  QVERIFY2(!gain.isEmpty() && !speed.isEmpty(), "the selectors show their texts");
  const QString header = " Файл: \"Образец 1.qel\"  Усиление: " + gain + ".  Развёртка: " + speed + ".";
  QVERIFY(w.window->Printing().LastSheet());
  QCOMPARE(QString::fromStdString(w.window->Printing().LastSheet()->Texts.at(3).Text), header);
  // The PDF holds the texts whole (its reader joins blanks).
  const QString text = Run("pdftotext", {w.pdf, "-"}).simplified();
  QVERIFY2(text.contains(header.simplified()), qPrintable(text));
  // The page at the printer's own resolution: the frame 12 mm and 11 mm
  // inside the printable area, itself 3.5 mm and 4 mm inside the paper.
  const QImage page = Raster(w.pdf, 300);
  QCOMPARE(page.width(), 2480);
  QVERIFY(std::abs(page.height() - 3508) <= 1);
  const QRect area = w.window->Printing().Printer().pageLayout().paintRectPixels(300);
  const Edges frame = w.window->Printing().LastSheet()->Frame;
  QCOMPARE(frame.Left, 12 * area.width() / 203);
  QCOMPARE(frame.Top, 11 * area.height() / 289);
  QVERIFY(std::abs(area.left() - 41) <= 1 && std::abs(area.top() - 47) <= 1);
  auto first = [&](auto pixel, int from, int to) {
    for (int i = from; i < to; ++i)
      if (pixel(i) != QColor(Qt::white)) return i;
    return -1;
  };
  const int left = first([&](int x) { return page.pixelColor(x, 1500); }, 0, 400);
  const int top = first([&](int y) { return page.pixelColor(1200, y); }, 0, 400);
  QVERIFY2(std::abs(left - (area.left() + frame.Left)) <= 1, qPrintable(QString::number(left)));
  QVERIFY2(std::abs(top - (area.top() + frame.Top)) <= 1, qPrintable(QString::number(top)));
  page.save(QString::fromStdString(dir_->File("page.png")));
  if (qEnvironmentVariableIsSet("QEL_KEEP_PRINT")) QFile::copy(w.pdf, qEnvironmentVariable("QEL_KEEP_PRINT"));
}

void PrintTest::NoPrinterAsksForAPdfFile() {
  Window w(dir_->Path());
  QPrinter& printer = w.window->Printing().Printer();
  printer.setOutputFileName(QString());  // as with no printer installed: PDF without a file
  printer.setOutputFormat(QPrinter::PdfFormat);
  QCOMPARE(printer.outputFormat(), QPrinter::PdfFormat);
  QCOMPARE(printer.outputFileName(), QString());
  const QString chosen = QString::fromStdString(dir_->File("chosen.pdf"));
  test::OnModal("PrnPdfDlg", [&](QWidget* dlg) {
    auto* files = qobject_cast<QFileDialog*>(dlg);
    QVERIFY(files);
    files->selectFile(chosen);
    QMetaObject::invokeMethod(files, "accept");
  });
  w.window->Action("APrint")->trigger();
  QVERIFY(QFileInfo::exists(chosen));
  // Asked again next time; cancelled, nothing is printed.
  QFile::remove(chosen);
  test::OnModal("PrnPdfDlg", [](QWidget* dlg) { qobject_cast<QDialog*>(dlg)->reject(); });
  w.window->Action("APrint")->trigger();
  QVERIFY(!QFileInfo::exists(chosen));
}

void PrintTest::WindowPictureKeepsItsScreenSize() {
  Window w(dir_->Path());
  w.window->resize(700, 500);
  QPrinter& printer = w.window->Printing().Printer();
  printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
  const QImage client = w.window->Printing().ClientImage();
  const double dpi = client.dotsPerMeterX() * 0.0254;
  w.window->Action("APrintForm")->trigger();
  QVERIFY(QFileInfo::exists(w.pdf));
  // Rendered at the screen's resolution, the picture is the window's size again.
  const QImage page = Raster(w.pdf, static_cast<int>(std::lround(dpi)));
  int right = 0, bottom = 0;
  for (int y = 0; y < page.height(); ++y)
    for (int x = 0; x < page.width(); ++x)
      if (page.pixelColor(x, y) != QColor(Qt::white)) {
        right = std::max(right, x);
        bottom = std::max(bottom, y);
      }
  QVERIFY2(std::abs(right + 1 - client.width()) <= 2, qPrintable(QString("%1 %2").arg(right).arg(client.width())));
  QVERIFY2(std::abs(bottom + 1 - client.height()) <= 2, qPrintable(QString("%1 %2").arg(bottom).arg(client.height())));
}

QTEST_MAIN(PrintTest)
#include "print_test.moc"
