#include "screen_box.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace qel {

ScreenBox::ScreenBox(const Settings& s, const SpectrumStore& store, const RunValues& run, std::string sep,
                     QWidget* parent)
    : QWidget(parent), s_(s), store_(store), run_(run), sep_(std::move(sep)), pacer_([this] { UpdateScreen(); }) {
  setObjectName("ScreenBox");
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  setMinimumSize(64, 48);
}

void ScreenBox::Touch(const QRect& r) {
  // One growing rectangle: the paint event shows it in one piece however
  // many points were drawn since the last one.
  dirty_ = dirty_.united(r);
  pacer_.Changed();
}

void ScreenBox::UpdateScreen() {
  ++screenUpdates_;
  if (trace_) {
    traceUpdated_.insert(traceUpdated_.end(), traceDrawn_.begin(), traceDrawn_.end());
    traceDrawn_.clear();
  }
  // Painted and sent to the screen now: in the wake-up that drew it, without
  // another turn of the event loop.
  const QRect r = dirty_;
  dirty_ = QRect();
  repaint(r);
}

void ScreenBox::Flushed() {
  if (!trace_ || traceUpdated_.empty()) return;
  const auto ns =
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
  for (const std::uint16_t code : traceUpdated_)
    std::fprintf(trace_, "%u %lld\n", static_cast<unsigned>(code), static_cast<long long>(ns));
  traceUpdated_.clear();
}

void ScreenBox::paintEvent(QPaintEvent* event) {
  QPainter p(this);
  p.drawImage(event->rect(), image_, event->rect());
}

void ScreenBox::EnsureImage() {
  if (image_.size() != size() && width() > 0 && height() > 0)
    image_ = QImage(width(), height(), QImage::Format_RGB32);
}

void ScreenBox::resizeEvent(QResizeEvent*) { ScreenBoxPaint(); }

void ScreenBox::DrawBackground() {
  EnsureImage();
  scales_ = ComputeScales(width(), height(), s_.ViewMin, s_.ViewMax, s_.OrdScale);
  emit BackgroundDrawn();
  if (image_.isNull()) return;
  const ColorSet& c = s_.DisplayColors;
  BackgroundKey key{image_.size(), {c.BackGround, c.Border, c.Grid, c.Text}, PlotBackgroundTexts(s_, sep_, s_.OrdScale)};
  if (background_.Valid && key == background_.Key) {
    // The same pixels as drawn the first time: the colour, then the rest.
    const Pixels px = ImagePixels();
    std::fill_n(px.Bits, px.Stride * px.H, background_.Color);
    for (const Run& r : background_.Runs)
      std::memcpy(px.Bits + r.Y * px.Stride + r.X, background_.Pool.data() + r.At, sizeof(QRgb) * static_cast<std::size_t>(r.Length));
    labels_ = background_.Labels;
  } else {
    {
      QPainter p(&image_);
      labels_ = DrawPlotBackground(p, image_.rect(), scales_, s_, s_.DisplayColors, sep_, s_.OrdScale);
    }
    RememberBackground(std::move(key));
  }
  Touch(image_.rect());
}

void ScreenBox::RememberBackground(BackgroundKey key) {
  Background b;
  b.Key = std::move(key);
  b.Color = ToQRgb(s_.DisplayColors.BackGround);
  b.Labels = labels_;
  const QImage& img = image_;
  for (int y = 0; y < img.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
    for (int x = 0; x < img.width();) {
      if (line[x] == b.Color) {
        ++x;
        continue;
      }
      const int start = x;
      while (x < img.width() && line[x] != b.Color) ++x;
      b.Runs.push_back(Run{y, start, x - start, b.Pool.size()});
      b.Pool.insert(b.Pool.end(), line + start, line + x);
    }
  }
  b.Valid = true;
  background_ = std::move(b);
}

const ScreenBox::Mapping& ScreenBox::PointMapping() {
  const PlotScales& sc = scales_;
  const PlotScales& m = mapping_.Scales;
  if (mapping_.Valid && m.W == sc.W && m.H == sc.H && m.ViewMin == sc.ViewMin && m.PixPerCode == sc.PixPerCode &&
      m.PixPerValue == sc.PixPerValue && m.ZeroY == sc.ZeroY)
    return mapping_;
  mapping_.Scales = sc;
  mapping_.X.resize(SpectrumSize);
  mapping_.Y.resize(SpectrumSize);
  const int bottom = sc.H - 2;
  for (std::size_t i = 0; i < SpectrumSize; ++i) {
    const int x = sc.X(static_cast<long>(i));
    mapping_.X[i] = static_cast<std::int16_t>(x >= 0 && x < sc.W ? x : -1);
    const int y = std::min(sc.Y(static_cast<long>(i)), bottom);
    mapping_.Y[i] = static_cast<std::int16_t>(y >= 0 && y < sc.H ? y : -1);
  }
  mapping_.Valid = true;
  return mapping_;
}

void ScreenBox::ScreenBoxPaint() {
  sweepMarkX_ = -1;
  sweepMarkShownX_ = -1;
  DrawBackground();
  if (image_.isNull()) return;
  if (scales_.HasView()) {
    // A wider counter over the bounds clamped to the store: a view ending at
    // 65535 ends, and bounds from the settings are not trusted.
    const long from = std::clamp<long>(s_.ViewMin, 0, 65535);
    const long to = std::clamp<long>(s_.ViewMax, 0, 65535);
    const QRgb graph = ToQRgb(s_.DisplayColors.Graph);
    const QRgb raw = ToQRgb(s_.DisplayColors.AddGraph);
    // DrawPoint's pixels for every point, without the rectangle each touched.
    // Everything the loop reads is a local: a pixel written through a
    // pointer could otherwise be any of them, read again after each write.
    const Pixels px = ImagePixels();
    QRgb* const bits = px.Bits;
    const qsizetype stride = px.Stride;
    const Mapping& m = PointMapping();
    const std::int16_t* xs = m.X.data();
    const std::int16_t* ys = m.Y.data();
    const bool withRaw = s_.ShowFirst;
    const SpectrumPoint* points = store_.CurrentSpectrum.data();
    const std::uint16_t* raws = store_.RawSpectrum.data();
    for (long i = from; i <= to; ++i) {
      const SpectrumPoint pt = points[i];
      if (!IsValid(pt)) continue;
      const int x = xs[pt.Code];
      if (x < 0) continue;
      if (const int y = ys[pt.Value]; y >= 0) bits[y * stride + x] = graph;
      if (withRaw)
        if (const int y = ys[raws[i]]; y >= 0) bits[y * stride + x] = raw;
    }
  }
  // A painter only where there is something to draw: opening one on the
  // image costs as much as a thousand points.
  if (run_.MinIndex >= 0 || run_.IntegralS >= 0) {
    QPainter p(&image_);
    for (auto& drawn : {DrawMinMax(p, image_.rect(), scales_, store_.CurrentSpectrum, run_, s_, s_.DisplayColors, sep_),
                        DrawIntegral(p, image_.rect(), run_, s_, s_.DisplayColors, visX1_, visX2_, sep_)})
      labels_.insert(labels_.end(), drawn.begin(), drawn.end());
  }
  if (placeCursors_) placeCursors_();
  if (run_.ModAmplitude > 0) {
    QPainter p(&image_);
    const auto drawn = DrawModAmplitude(p, image_.rect(), run_, s_, s_.DisplayColors, sep_);
    labels_.insert(labels_.end(), drawn.begin(), drawn.end());
  }
  Touch(image_.rect());
}

ScreenBox::Pixels ScreenBox::ImagePixels() {
  return {reinterpret_cast<QRgb*>(image_.bits()), image_.bytesPerLine() / static_cast<qsizetype>(sizeof(QRgb)),
          image_.width(), image_.height()};
}

QRect ScreenBox::DrawPoint(const Pixels& px, std::uint16_t index, QRgb color, QRgb rawColor) {
  const SpectrumPoint pt = store_.CurrentSpectrum[index];
  const int x = scales_.X(pt.Code);
  if (x < 0 || x >= image_.width()) return {};
  const int bottom = scales_.H - 2;
  const int y = std::min(scales_.Y(pt.Value), bottom);
  px.Set(x, y, color);
  int top = y, low = y;
  if (s_.ShowFirst) {
    const int y2 = std::min(scales_.Y(store_.RawSpectrum[index]), bottom);
    px.Set(x, y2, rawColor);
    top = std::min(top, y2);
    low = std::max(low, y2);
  }
  if (low < 0 || top >= image_.height()) return {};
  return QRect(x, std::max(top, 0), 1, low - std::max(top, 0) + 1);
}

void ScreenBox::PlotPoint(std::uint16_t index, std::int32_t color) {
  if (!scales_.HasView() || image_.isNull()) return;
  const QRect touched = DrawPoint(ImagePixels(), index, ToQRgb(color), ToQRgb(s_.DisplayColors.AddGraph));
  if (touched.isNull()) return;
  Touch(touched);
  if (trace_) traceDrawn_.push_back(index);
}

void ScreenBox::PlotPixel(std::uint16_t code, int value, std::int32_t color) {
  if (!scales_.HasView() || image_.isNull()) return;
  const int x = scales_.X(code);
  const int y = std::min(scales_.Y(value), scales_.H - 2);
  ImagePixels().Set(x, y, ToQRgb(color));
  if (x >= 0 && x < image_.width() && y >= 0) Touch(QRect(x, y, 1, 1));
}

void ScreenBox::XorPixel(int x, int y, QRgb bits) {
  if (x >= 0 && y >= 0 && x < image_.width() && y < image_.height())
    reinterpret_cast<QRgb*>(image_.scanLine(y))[x] ^= (bits & 0x00FFFFFF);
}

void ScreenBox::DrawSweepMark(int x) {
  // The filled wedge (x, H-8), (x+5, H-3), (x-5, H-3), every pixel XORed once.
  const QRgb red = qRgb(255, 0, 0);
  const int h = scales_.H;
  for (int row = 0; row <= 5; ++row)
    for (int dx = -row; dx <= row; ++dx) XorPixel(x + dx, h - 8 + row, red);
  Touch(QRect(x - 5, h - 8, 11, 6).intersected(image_.rect()));
}

void ScreenBox::ShowSweepMark(std::uint16_t code) {
  if (image_.isNull()) return;
  if (!scales_.HasView() || code < s_.ViewMin || code > s_.ViewMax) {
    if (sweepMarkShownX_ != -1) DrawSweepMark(sweepMarkShownX_);
    sweepMarkX_ = -1;
    sweepMarkShownX_ = -1;
    return;
  }
  sweepMarkX_ = scales_.X(code);
  if (sweepMarkShownX_ == -1) {
    DrawSweepMark(sweepMarkX_);
  } else if (sweepMarkShownX_ != sweepMarkX_) {
    DrawSweepMark(sweepMarkShownX_);
    DrawSweepMark(sweepMarkX_);
  }
  sweepMarkShownX_ = sweepMarkX_;
}

void ScreenBox::ToggleVisirLine(int x, std::int32_t color) {
  if (image_.isNull() || x < 0 || x >= image_.width()) return;
  const QRgb bits = ToQRgb(color);
  for (int y = 3; y <= scales_.H - 5; ++y) XorPixel(x, y, bits);
  Touch(QRect(x, 0, 1, image_.height()));
}

void ScreenBox::MergeColumns(int x0, int x1, QRgb color) {
  if (image_.isNull()) return;
  const int from = std::max(std::min(x0, x1), 0);
  const int to = std::min(std::max(x0, x1), image_.width() - 1);
  if (from > to) return;
  const QRgb bits = color & 0x00FFFFFF;
  for (int y = 0; y < image_.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image_.scanLine(y));
    for (int x = from; x <= to; ++x) line[x] |= bits;
  }
  Touch(QRect(from, 0, to - from + 1, image_.height()));
}

// The right button opens the context menu, which takes its release: it
// starts nothing on the plot.
void ScreenBox::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::RightButton) emit MousePressed(static_cast<int>(e->position().x()));
}
void ScreenBox::mouseMoveEvent(QMouseEvent* e) { emit MouseMoved(static_cast<int>(e->position().x())); }
void ScreenBox::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::RightButton) emit MouseReleased(static_cast<int>(e->position().x()));
}

}  // namespace qel
