// `qel plot`: the picture's size, the BMP colour set, the trace where the data says.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#ifdef QEL_WITH_SVG
#include <QSvgRenderer>
#endif

#include <cmath>
#include <utility>

#include "display/plot_renderer.h"
#include "model/atomic_file.h"
#include "model/pass_archive.h"
#include "qel/qel_plot.h"
#include "spectra.h"

namespace qel {

using test::RunQel;
using test::Slurp;

class QelPlot : public ::testing::Test {
 protected:
  void SetUp() override {
    env.Plot = cli::DrawPlotFile;
    // Points 1000..3000: a plateau 512 codes above the zero line from 1000 to
    // 1999, 512 below from 2000 on.
    SpectrumStore store;
    for (int i = 1000; i <= 3000; ++i)
      store.CurrentSpectrum[static_cast<std::size_t>(i)] = {static_cast<std::uint16_t>(i),
                                                            static_cast<std::uint16_t>(i < 2000 ? 2560 : 1536)};
    SaveSpectrum(store, dir.File("s.qel"));
    test::WriteSettings(settings, [](Settings& s) {
      s.BMPColors.BackGround = 0x00336699;  // 0x00BBGGRR
      s.BMPColors.Graph = 0x0000CC00;
      s.DisplayColors.BackGround = 0x00000000;  // not the one used
    });
  }
  cli::Environment env;
  test::TempDir dir;
  std::string settings = dir.File("1.0.reg");
};

TEST_F(QelPlot, PngOfTheAskedSizeInTheBmpColoursWithTheTraceWhereTheDataSays) {
  const std::string before = Slurp(settings);
  const auto r = RunQel({"plot", "--settings", settings, dir.File("s.qel"), "-o", dir.File("p.png"), "--size",
                         "400x300"},
                        env);
  ASSERT_EQ(r.status, 0) << r.err;
  const QImage image(QString::fromStdString(dir.File("p.png")));
  ASSERT_EQ(image.size(), QSize(400, 300));
  const QRgb background = qRgb(0x99, 0x66, 0x33);
  const QRgb graph = qRgb(0x00, 0xCC, 0x00);
  // The view is the data range 1000..3000 over 400 pixels: code c at
  // x = (c - 1000) / 5; 512 codes above the zero line at 150 - 512 * 300 / 4096.
  const int high = 150 - static_cast<int>(std::lround(512 * 300 / 4096.0));
  const int low = 150 + static_cast<int>(std::lround(512 * 300 / 4096.0));
  EXPECT_EQ(image.pixel(100, high), graph);  // code 1500
  EXPECT_EQ(image.pixel(100, low), background);
  EXPECT_EQ(image.pixel(300, low), graph);  // code 2500
  EXPECT_EQ(image.pixel(300, high), background);
  EXPECT_EQ(image.pixel(200, 250), background);
  EXPECT_EQ(Slurp(settings), before) << "the settings file is only read";
}

TEST_F(QelPlot, SvgWithMinMaxAndBadRequests) {
  auto r = RunQel({"plot", "--settings", settings, dir.File("s.qel"), "-o", dir.File("p.svg"), "--minmax"}, env);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string svg = Slurp(dir.File("p.svg"));
  EXPECT_NE(svg.find("<svg"), std::string::npos);
  EXPECT_NE(svg.find("width=\"1024"), std::string::npos) << "the default size";
  EXPECT_NE(svg.find("#996633"), std::string::npos) << "the BMP background";
  EXPECT_NE(svg.find("A="), std::string::npos) << "minimum and maximum marked";

  r = RunQel({"plot", "--settings", settings, dir.File("s.qel"), "-o", dir.File("p.bmp")}, env);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(".png или .svg"), std::string::npos) << r.err;
  r = RunQel({"plot", "--settings", settings, dir.File("s.qel"), "-o", dir.File("q.png"), "--size", "400by300"}, env);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("неверный размер"), std::string::npos) << r.err;
  EXPECT_FALSE(PathExists(dir.File("q.png")));
}

#ifdef QEL_WITH_SVG
namespace {

// Pixels of the spectrum's colour in the PNG, and how many of them differ
// from the SVG drawn by Qt's own reader (the SVG given as text).
std::pair<int, int> CompareWithPng(const std::string& svg, const QImage& png) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  int argc = 1;
  char name[] = "qel_plot_tests";
  char* argv[] = {name, nullptr};
  QGuiApplication app(argc, argv);  // text in the picture needs the toolkit's fonts
  QImage raster(png.size(), QImage::Format_RGB32);
  raster.fill(Qt::white);
  {
    QSvgRenderer renderer(QByteArray::fromStdString(svg));
    if (!renderer.isValid()) return {0, -1};
    QPainter p(&raster);
    renderer.render(&p);
  }
  const QRgb graph = qRgb(0x00, 0xCC, 0x00);
  int lit = 0, differ = 0;
  for (int y = 0; y < png.height(); ++y)
    for (int x = 0; x < png.width(); ++x) {
      const bool inPng = png.pixel(x, y) == graph;
      lit += inPng;
      differ += inPng != (raster.pixel(x, y) == graph);
    }
  return {lit, differ};
}

}  // namespace

// A full noisy spectrum: the vector picture is a few hundred kB at most and,
// rasterised, lights exactly the pixels of the PNG drawn from the same file.
TEST_F(QelPlot, SvgOfAFullSpectrumIsSmallAndHasThePixelsOfThePng) {
  SpectrumStore store;
  std::uint32_t noise = 12345;
  for (int i = 0; i < 65520; ++i) {
    noise = noise * 1103515245u + 12345u;
    const double line = 900.0 * std::sin(i / 2000.0) * std::exp(-std::pow((i - 30000) / 9000.0, 2));
    const int value = 2048 + static_cast<int>(line) + static_cast<int>((noise >> 16) % 81) - 40;
    store.CurrentSpectrum[static_cast<std::size_t>(i)] = {static_cast<std::uint16_t>(i),
                                                          static_cast<std::uint16_t>(value)};
  }
  SaveSpectrum(store, dir.File("full.qel"));
  for (const char* out : {"full.svg", "full.png"}) {
    const auto r = RunQel({"plot", "--settings", settings, dir.File("full.qel"), "-o", dir.File(out)}, env);
    ASSERT_EQ(r.status, 0) << r.err;
  }
  const std::string svg = Slurp(dir.File("full.svg"));
  EXPECT_LT(svg.size(), 300u * 1024u);
  const QImage png(QString::fromStdString(dir.File("full.png")));
  ASSERT_EQ(png.size(), QSize(1024, 600));  // the default size
  const auto [lit, differ] = CompareWithPng(svg, png);
  EXPECT_GT(lit, 5000);
  EXPECT_EQ(differ, 0) << "of " << lit << " pixels of the spectrum";
}

// Every point somewhere else (white noise over the whole scale) in a large
// picture: tens of thousands of runs, all of them drawn.
TEST_F(QelPlot, SvgOfNoiseInALargePictureHasEveryPixel) {
  SpectrumStore store;
  std::uint32_t noise = 777;
  for (int i = 0; i < 65520; ++i) {
    noise = noise * 1103515245u + 12345u;
    store.CurrentSpectrum[static_cast<std::size_t>(i)] = {static_cast<std::uint16_t>(i),
                                                          static_cast<std::uint16_t>((noise >> 16) % 4096)};
  }
  SaveSpectrum(store, dir.File("noise.qel"));
  for (const char* out : {"noise.svg", "noise.png"}) {
    const auto r = RunQel({"plot", "--settings", settings, dir.File("noise.qel"), "-o", dir.File(out), "--size",
                           "1920x1080"},
                          env);
    ASSERT_EQ(r.status, 0) << r.err;
  }
  const QImage png(QString::fromStdString(dir.File("noise.png")));
  ASSERT_EQ(png.size(), QSize(1920, 1080));
  const auto [lit, differ] = CompareWithPng(Slurp(dir.File("noise.svg")), png);
  EXPECT_GT(lit, 40000);
  EXPECT_EQ(differ, 0) << "of " << lit << " pixels of the spectrum";
}
#endif


TEST_F(QelPlot, PassesOverEachOtherWithTheSpikedOneInTheCursorColour) {
  // Six passes of a sine through codes 1000..1399, pass 4 with a spike at 1200.
  std::string archive = PassArchiveHeader(0);
  for (std::uint32_t n = 1; n <= 6; ++n) {
    PassRecord p;
    p.Number = n;
    p.RTNumb = 9;
    p.AccumCount = static_cast<std::int32_t>(n);
    for (std::uint16_t code = 1000; code < 1400; ++code) {
      const double v = n == 4 && code == 1200 ? 3500 : 2048 + 300 * std::sin(code / 40.0) + (code * n) % 7;
      p.Entries.push_back({code, static_cast<std::uint16_t>(std::lround(v)), 1});
    }
    archive += PassArchiveChunk(p);
  }
  WriteFileAtomically(dir.File("a.qelpass"), archive);
  test::WriteSettings(settings, [](Settings& s) {
    s.BMPColors.BackGround = 0x00000000;
    s.BMPColors.Graph = 0x0000CC00;
    s.BMPColors.Visir1 = 0x000000FF;  // red
  });
  env.PlotPasses = cli::DrawPassesFile;
  const auto r = RunQel({"passes", "--settings", settings, dir.File("a.qelpass"), "--plot", dir.File("p.png")}, env);
  ASSERT_EQ(r.status, 0) << r.err;
  const QImage image(QString::fromStdString(dir.File("p.png")));
  ASSERT_EQ(image.size(), QSize(1024, 600));
  int red = 0, green = 0, redAway = 0;
  // Code c at x = (c - 1000) * 1023 / 399: the spike at x 513.
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb c = image.pixel(x, y);
      if (c == qRgb(0xFF, 0, 0)) {
        ++red;
        // Away from the spike pass 4 lies on the others: its red is drawn
        // over them, along the whole sine.
        redAway += std::abs(x - 513) > 20;
      }
      green += c == qRgb(0, 0xCC, 0);
    }
  EXPECT_GT(green, 500);
  EXPECT_GT(red, 500);
  EXPECT_GT(redAway, 400);
  // The spike reaches 3500: well above the sine's top (2348).
  int top = image.height();
  for (int y = 0; y < image.height(); ++y)
    for (int x = 508; x <= 518; ++x)
      if (image.pixel(x, y) == qRgb(0xFF, 0, 0)) top = std::min(top, y);
  EXPECT_LT(top, 40);
}

}  // namespace qel
