#include "qel_plot.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#ifdef QEL_WITH_SVG
#include <QSvgGenerator>
#endif

#include <clocale>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

#include "as_shown.h"
#include "display/plot_renderer.h"
#include "model/atomic_file.h"
#include "processing/spectrum_ops.h"

namespace qel::cli {

namespace {

std::string LowerExtension(const std::string& path) {
  const auto dot = path.find_last_of('.');
  const auto slash = path.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

// The toolkit needs an application object for fonts; one is made for the
// drawing when none exists, on the offscreen platform unless one is chosen
// (on Windows on the system's own, which has the system's fonts and opens
// no window; the offscreen one there has none). The C library's locale,
// which the toolkit changes, is put back after.
class GuiScope {
 public:
  GuiScope() : locale_(std::setlocale(LC_ALL, nullptr)) {
    if (QGuiApplication::instance()) return;
#ifndef Q_OS_WIN
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    app_ = std::make_unique<QGuiApplication>(argc_, argv_);
  }
  ~GuiScope() {
    app_.reset();
    std::setlocale(LC_ALL, locale_.c_str());
  }

 private:
  std::string locale_;
  int argc_ = 1;
  char name_[4] = "qel";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QGuiApplication> app_;
};

// Rectangles in one path at the most: Qt's own SVG reader gives up a path
// of over 32,767 elements (five a rectangle), as a noisy spectrum in a large
// picture would need.
constexpr int kRectsPerPath = 4000;

// The pixels lit by the points, as rectangles over the vertical runs of each
// column (the points of a spectrum crowd into the columns of a picture).
std::vector<QPainterPath> PixelRuns(const QPolygon& points, int w, int h) {
  std::vector<std::uint8_t> lit(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0);
  for (const QPoint& q : points) lit[static_cast<std::size_t>(q.x()) * static_cast<std::size_t>(h) + static_cast<std::size_t>(q.y())] = 1;
  std::vector<QPainterPath> paths(1);
  int inPath = 0;
  for (int x = 0; x < w; ++x) {
    const std::uint8_t* column = lit.data() + static_cast<std::size_t>(x) * static_cast<std::size_t>(h);
    for (int y = 0; y < h;) {
      if (!column[y]) {
        ++y;
        continue;
      }
      const int top = y;
      while (y < h && column[y]) ++y;
      if (inPath == kRectsPerPath) {
        paths.emplace_back();
        inPath = 0;
      }
      paths.back().addRect(x, top, 1, y - top);
      ++inPath;
    }
  }
  return paths;
}

void Draw(QPainter& p, int w, int h, SpectrumStore& store, Shown& shown, const PlotRequest& r, bool vector) {
  SpectrumBuffer& v = store.CurrentSpectrum;
  const PointRange data = DataRange(v);
  if (data.Empty && !(r.From && r.To)) throw std::runtime_error("в спектре нет точек");
  Settings& s = shown.S;
  s.ViewMin = r.From.value_or(data.First);
  s.ViewMax = r.To.value_or(data.Last);
  if (s.ViewMax <= s.ViewMin)
    throw std::runtime_error("пустой диапазон просмотра " + std::to_string(s.ViewMin) + ".." + std::to_string(s.ViewMax));
  s.OrdScale = static_cast<std::uint8_t>(r.OrdScale);
  // The search fills the gaps of the spectrum it marks, as in the window.
  if (r.MinMax)
    MinMaxSpectrum(v, static_cast<std::uint16_t>(s.ViewMin), static_cast<std::uint16_t>(s.ViewMax),
                   shown.Run.MaxIndex, shown.Run.MinIndex);

  const ColorSet& colors = s.BMPColors;
  const std::string sep = QLocale::system().decimalPoint().toStdString();
  const QRect rect(0, 0, w, h);
  const PlotScales sc = ComputeScales(w, h, s.ViewMin, s.ViewMax, s.OrdScale);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setFont(PlotFont());
  DrawPlotBackground(p, rect, sc, s, colors, sep, s.OrdScale);

  // The spectrum: one pixel per point, no lines between them.
  QPolygon points;
  for (long i = s.ViewMin; i <= s.ViewMax; ++i) {
    const SpectrumPoint pt = v[static_cast<std::size_t>(i)];
    if (!IsValid(pt)) continue;
    const int x = sc.X(pt.Code);
    const int y = std::min(sc.Y(pt.Value), h - 2);
    if (x >= 0 && x < w && y >= 0) points << QPoint(x, y);
  }
  if (vector) {
    // A vector picture gets the same pixels as paths of pixel-aligned
    // rectangles, one for each run of lit pixels down a column: a point per
    // rectangle would take some 3 MB for a full spectrum.
    for (const QPainterPath& path : PixelRuns(points, w, h)) p.fillPath(path, ToQColor(colors.Graph));
  } else {
    QPen pen(ToQColor(colors.Graph));
    pen.setWidth(1);
    pen.setCosmetic(true);
    p.setPen(pen);
    p.drawPoints(points);
  }

  DrawMinMax(p, rect, sc, v, shown.Run, s, colors, sep);
  DrawModAmplitude(p, rect, shown.Run, s, colors, sep);
}

// The extension of a picture's name, checked: "png" or "svg".
std::string PictureKind(const std::string& output) {
  const std::string ext = LowerExtension(output);
  if (ext != "png" && ext != "svg")
    throw std::runtime_error("формат рисунка \"" + output + "\" не известен: нужно .png или .svg");
#ifndef QEL_WITH_SVG
  if (ext == "svg") throw std::runtime_error("SVG недоступен: программа собрана без Qt Svg");
#endif
  return ext;
}

// Draws a picture of w x h with `draw` (told whether it is a vector one)
// and writes it to `output`, replaced atomically.
void WritePicture(const std::string& output, const std::string& ext, int w, int h, const QString& title,
                  const std::function<void(QPainter&, bool vector)>& draw) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (ext == "png") {
    QImage image(w, h, QImage::Format_RGB32);
    {
      QPainter p(&image);
      draw(p, false);
    }
    if (!image.save(&buffer, "PNG")) throw std::runtime_error("не удалось построить PNG");
  } else {
#ifdef QEL_WITH_SVG
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(QSize(w, h));
    svg.setViewBox(QRect(0, 0, w, h));
    svg.setTitle(title);
    QPainter p(&svg);
    draw(p, true);
    p.end();
#endif
  }
  buffer.close();
  WriteFileAtomically(output, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

}  // namespace

void DrawPlotFile(const PlotRequest& r, const Settings& operatorSettings) {
  const std::string ext = PictureKind(r.Output);
  GuiScope gui;
  SpectrumStore store;
  Shown shown = LoadAsShown(store, r.Input, operatorSettings);
  shown.Run.MaxIndex = shown.Run.MinIndex = -1;
  shown.Run.IntegralS = -1;
  WritePicture(r.Output, ext, r.Width, r.Height, QString::fromStdString(r.Input),
               [&](QPainter& p, bool vector) { Draw(p, r.Width, r.Height, store, shown, r, vector); });
}

void DrawPassesFile(const PassesPlotRequest& r, const Settings& operatorSettings) {
  const std::string ext = PictureKind(r.Output);
  if (r.Last <= r.First) throw std::runtime_error("в проходах нет точек");
  GuiScope gui;
  int low = 4095, high = 0;
  for (const auto& pass : r.Passes)
    for (const auto& v : pass)
      if (v) low = std::min<int>(low, *v), high = std::max<int>(high, *v);
  if (high <= low) high = low + 1;
  const ColorSet& colors = operatorSettings.BMPColors;
  const int w = r.Width, h = r.Height;
  auto draw = [&](QPainter& p) {
    p.fillRect(0, 0, w, h, ToQColor(colors.BackGround));
    p.setRenderHint(QPainter::Antialiasing, false);
    const double span = static_cast<double>(r.Last - r.First);
    auto x = [&](std::size_t i) { return (w - 1) * static_cast<double>(i) / span; };
    auto y = [&](int v) { return 8 + (h - 17) * static_cast<double>(high - v) / (high - low); };
    // Each pixel column of a pass drawn from its first, least, greatest and
    // last value: the picture of every point, with a few vertices a column
    // (thousands of passes of 65,520 points each took minutes).
    auto pass = [&](std::size_t k, const QColor& color) {
      p.setPen(QPen(color, 0));
      QPolygonF run;
      long column = -1;
      int first = 0, least = 0, greatest = 0, last = 0;
      auto put = [&] {
        if (column < 0) return;
        const double cx = static_cast<double>(column);
        run << QPointF(cx, y(first));
        if (greatest > least) run << QPointF(cx, y(first == greatest ? least : greatest)) << QPointF(cx, y(first == greatest ? greatest : least));
        run << QPointF(cx, y(last));
        column = -1;
      };
      auto flush = [&] {
        put();
        // In short pieces: the raster engine strokes a long polyline as a
        // path, far slower.
        for (qsizetype from = 0; from + 1 < run.size(); from += 255)
          p.drawPolyline(run.constData() + from, static_cast<int>(std::min<qsizetype>(256, run.size() - from)));
        run.clear();
      };
      for (std::size_t i = 0; i < r.Passes[k].size(); ++i) {
        const auto v = r.Passes[k][i];
        if (!v) {
          flush();
          continue;
        }
        const auto c = static_cast<long>(std::lround(x(i)));
        if (c != column) {
          put();
          column = c;
          first = least = greatest = *v;
        }
        least = std::min<int>(least, *v);
        greatest = std::max<int>(greatest, *v);
        last = *v;
      }
      flush();
    };
    for (std::size_t k = 0; k < r.Passes.size(); ++k)
      if (!r.Outlier[k]) pass(k, ToQColor(colors.Graph));
    QString outliers;
    for (std::size_t k = 0; k < r.Passes.size(); ++k)
      if (r.Outlier[k]) {
        pass(k, ToQColor(colors.Visir1));
        outliers += (outliers.isEmpty() ? "" : ", ") + QString::number(r.Numbers[k]);
      }
    p.setPen(ToQColor(colors.Text));
    p.setFont(PlotFont());
    p.drawText(QRect(4, 2, w - 8, h - 4), Qt::AlignLeft | Qt::AlignTop,
               QString("Проходов: %1").arg(r.Passes.size()) +
                   (outliers.isEmpty() ? QString() : QString("; выделены: ") + outliers));
  };
  WritePicture(r.Output, ext, w, h, QString(), [&](QPainter& p, bool) { draw(p); });
}

}  // namespace qel::cli
