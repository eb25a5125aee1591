#include "print_sheet.h"

#include <QFileInfo>
#include <QFontMetrics>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

#include "model/number_format.h"
#include "model/units.h"

namespace qel {

namespace {

constexpr std::array<PaperSize, 4> kPaperSizes{{{210, 297}, {297, 210}, {297, 420}, {420, 297}}};

// A rectangle filled with one colour and outlined with another, covering
// Left..Right-1 x Top..Bottom-1.
void FramedRect(QPainter& p, const Edges& e, const QColor& fill, const QColor& outline) {
  if (e.Right <= e.Left || e.Bottom <= e.Top) return;
  p.fillRect(QRect(e.Left, e.Top, e.Right - e.Left, e.Bottom - e.Top), fill);
  p.setPen(QPen(outline, 1));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRect(e.Left, e.Top, e.Right - e.Left - 1, e.Bottom - e.Top - 1));
}

// The sheet's mapping: the plot's, moved to the frame's corner.
struct SheetMap {
  PlotScales Scales;
  Edges Frame;
  int X(long code) const { return Frame.Left + Scales.X(code); }
  int Y(long value) const { return Frame.Top + Scales.Y(value); }
  // y clamped to the frame's bottom row: what is below is drawn there.
  int ClampedY(long value) const { return std::min(Y(value), Frame.Bottom - 2); }
};

// The 2 x 2 dots of the spectrum, in drawing order. Runs of one colour go
// to the device in one call; the brush changes only between runs.
class Dots {
 public:
  explicit Dots(QPainter& p) : p_(p) {
    p_.setPen(Qt::NoPen);
    p_.setBrush(Qt::NoBrush);
  }
  ~Dots() { Flush(); }
  void Add(int x, int y, const QColor& c) {
    if (n_ == kBatch || (n_ > 0 && c != colour_)) Flush();
    colour_ = c;
    batch_[n_++] = QRect(x - 1, y - 1, 2, 2);
  }
  void Flush() {
    if (n_ == 0) return;
    p_.setBrush(colour_);
    p_.drawRects(batch_.data(), n_);
    n_ = 0;
  }

 private:
  static constexpr int kBatch = 512;
  QPainter& p_;
  std::array<QRect, kBatch> batch_;
  int n_ = 0;
  QColor colour_;
};

}  // namespace

PaperSize NearestPaper(int widthMm, int heightMm) {
  PaperSize best = kPaperSizes[0];
  long long bestDistance = -1;
  for (const PaperSize& paper : kPaperSizes) {
    const double dw = widthMm - paper.Width, dh = heightMm - paper.Height;
    const long long distance = RoundEven(std::sqrt(dw * dw + dh * dh));
    if (bestDistance < 0 || distance < bestDistance) {
      bestDistance = distance;
      best = paper;
    }
  }
  return best;
}

Margins MinimumMargins(const PrintGeometry& g) {
  const PaperSize paper = NearestPaper(g.HorzSize, g.VertSize);
  const int horz = (paper.Width - g.HorzSize) / 2;
  const int vert = (paper.Height - g.VertSize) / 2;
  return {horz, horz, vert, vert};
}

Edges SheetFrame(const PrintGeometry& g, const Settings& s) {
  const Margins min = MinimumMargins(g);
  Edges e{0, 0, g.HorzRes, g.VertRes};
  // Product first, then the division truncating toward zero.
  auto pixels = [](long long mm, int res, int size) { return size > 0 ? static_cast<int>(mm * res / size) : 0; };
  e.Top += pixels(s.PrnT - min.Top, g.VertRes, g.VertSize);
  e.Bottom -= pixels(s.PrnB - min.Bottom, g.VertRes, g.VertSize);
  e.Left += pixels(s.PrnL - min.Left, g.HorzRes, g.HorzSize);
  e.Right -= pixels(s.PrnR - min.Right, g.HorzRes, g.HorzSize);
  return e;
}

QString SheetHeader(const SheetInput& in) {
  QString header;
  if (!in.ReceiveMode && !in.S.LastOpen.empty())
    header = " Файл: \"" + QFileInfo(QString::fromStdString(in.S.LastOpen)).fileName() + "\" ";
  return header + " Усиление: " + in.AmpText + ".  Развёртка: " + in.SpeedText + ".";
}

SheetReport DrawSheet(QPainter& p, const PrintGeometry& g, const SheetInput& in) {
  const Settings& s = in.S;
  const ColorSet& colors = s.PrinterColors;
  const SpectrumBuffer& spectrum = in.Store.CurrentSpectrum;
  SheetReport report;
  report.MinMargins = MinimumMargins(g);
  const Edges f = SheetFrame(g, s);
  report.Frame = f;

  const QColor back = ToQColor(colors.BackGround);
  const QColor textColor = ToQColor(colors.Text);
  // The canvas's font colour as the steps leave it: "АМ=" is written in
  // whatever the steps before it set, on the background (the brush they
  // leave, the last dot's colour, would hide it).
  QColor font = textColor;

  p.setRenderHint(QPainter::Antialiasing, false);
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  FramedRect(p, f, back, ToQColor(colors.Border));

  const int ordScale = std::clamp<int>(s.OrdScale, 0, 6);
  const SheetMap map{ComputeScales(f.Right - f.Left, f.Bottom - f.Top, s.ViewMin, s.ViewMax, ordScale), f};
  const bool hasView = map.Scales.HasView();

  p.setFont(PlotFont());
  const QFontMetrics fm(p.font());
  const int th = fm.height();
  const QRect origin;
  auto label = [&](int x, int y, const QString& text, const QColor& fg, const QColor& bg) {
    const QRect box = DrawLabel(p, origin, x, y, text, fg, bg);
    report.Texts.push_back({text.toStdString(), box});
    return box;
  };
  auto amplitude = [&](std::int32_t a) { return QString::fromStdString(FormatAmplitude(s, a, in.Sep)); };
  auto field = [&](long code) {
    return QString::fromStdString(FormatField(s, static_cast<std::uint16_t>(code), in.Sep));
  };

  // Corner labels and the header line.
  const int t = 1 << (11 - ordScale);
  const QString top = amplitude(t);
  label(f.Right - fm.horizontalAdvance(top) - 2, f.Top + 1, top, textColor, back);
  const QString low = field(s.ViewMin);
  const int w1 = fm.horizontalAdvance(low);
  label(f.Left + 2, f.Bottom - 1 - th, low, textColor, back);
  const QString high = field(s.ViewMax);
  const int w2 = fm.horizontalAdvance(high);
  label(f.Right - w2 - 2, f.Bottom - 1 - th, high, textColor, back);
  const QRect header = label(f.Left + 1, f.Top + 1, SheetHeader(in), textColor, back);

  // The three grid lines, each with its label above its right end.
  const int ys[3] = {(f.Top + f.Bottom) / 2, f.Top + (f.Bottom - f.Top) / 4, f.Top + 3 * (f.Bottom - f.Top) / 4};
  const std::int32_t values[3] = {0, t / 2, -(t / 2)};
  for (int k = 0; k < 3; ++k) {
    p.setPen(QPen(ToQColor(colors.Grid), 1));
    p.drawLine(f.Left, ys[k], f.Right - 2, ys[k]);  // to Right - 1, that point not drawn
    const QString text = amplitude(values[k]);
    label(f.Right - fm.horizontalAdvance(text) - 2, ys[k] - th - 2, text, textColor, back);
  }

  // The spectrum: a dot of 2 x 2 device pixels per point, at the point's own
  // code. A view without width has no scale: no points (nor anything else
  // placed by field code).
  if (hasView) {
    const QColor graph = ToQColor(colors.Graph);
    const QColor raw = ToQColor(colors.AddGraph);
    const long from = std::clamp<long>(s.ViewMin, 0, 65535);
    const long to = std::clamp<long>(s.ViewMax, 0, 65535);
    Dots dots(p);
    for (long i = from; i <= to; ++i) {
      const SpectrumPoint pt = spectrum[static_cast<std::size_t>(i)];
      if (!IsValid(pt)) continue;
      const int x = map.X(pt.Code);
      dots.Add(x, map.ClampedY(pt.Value), graph);
      if (s.ShowFirst) dots.Add(x, map.ClampedY(in.Store.RawSpectrum[static_cast<std::size_t>(i)]), raw);
      ++report.Points;
    }
  }
  p.setBrush(Qt::NoBrush);

  // The cursors strictly inside the view, with their read-outs along the
  // bottom between the corner labels.
  auto cursor = [&](bool on, std::uint16_t code, std::int32_t colour, bool second) {
    if (!on || !(s.ViewMin < code && code < s.ViewMax)) return;
    const QColor c = ToQColor(colour);
    const int x = map.X(code);
    // A flat cap: a square one would start the line a row higher.
    p.setPen(QPen(c, 2, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(x, f.Top + th, x, f.Bottom - th - 1);  // the end point is not drawn
    const QString text =
        "{" + field(code) + "  " + amplitude(static_cast<std::int32_t>(spectrum[code].Value) - ZeroLine) + "}";
    const int x0 = second ? f.Right - w2 * 5 / 3 - fm.horizontalAdvance(text) : f.Left + w1 * 5 / 3;
    label(x0, f.Bottom - 1 - th, text, c, back);
    font = c;
  };
  cursor(s.Visir1, s.VisKoord1, colors.Visir1, false);
  cursor(s.Visir2, s.VisKoord2, colors.Visir2, true);

  // Minimum and maximum: the labels stay above the maximum and below the
  // minimum whatever the frame's edges.
  const RunValues& run = in.Run;
  auto valid = [](std::int32_t i) { return i >= 0 && i < static_cast<std::int32_t>(SpectrumSize); };
  if (run.MinIndex >= 0 && hasView) {
    font = textColor;
    auto mark = [&](std::int32_t index, bool isMax) {
      if (!valid(index)) return;
      const SpectrumPoint pt = spectrum[static_cast<std::size_t>(index)];
      const int x = map.X(pt.Code), y = map.Y(pt.Value);
      const QString text = amplitude(static_cast<std::int32_t>(pt.Value) - ZeroLine);
      const int tw = fm.horizontalAdvance(text);
      label(x - tw / 2, isMax ? y - 20 - th : y + 22, text, textColor, back);
      p.setPen(QPen(textColor, 1));
      p.setBrush(textColor);
      p.drawPolygon(isMax ? ArrowAbove(x, y) : ArrowBelow(x, y));
      p.setBrush(Qt::NoBrush);
    };
    mark(run.MaxIndex, true);
    mark(run.MinIndex, false);
    if (valid(run.MaxIndex)) {
      const SpectrumPoint m = spectrum[static_cast<std::size_t>(run.MaxIndex)];
      const SpectrumPoint n = spectrum[static_cast<std::size_t>(run.MinIndex)];
      const QString text = "A=" + amplitude(std::abs(static_cast<int>(m.Value) - n.Value));
      const int cx = map.X((static_cast<long>(n.Code) + m.Code) / 2);
      label(cx - fm.horizontalAdvance(text) / 2, f.Top + 2 * th, text, textColor, back);
    }
  }

  if (run.IntegralS >= 0 && hasView) {
    const QString text = "S=" + QString::fromStdString(FormatIntegral(s, run.IntegralS, in.Sep));
    const int cx = map.X((static_cast<long>(s.VisKoord1) + s.VisKoord2) / 2);
    label(cx - fm.horizontalAdvance(text) / 2, f.Top + 2 * th, text, textColor, back);
    font = textColor;
  }

  // From the printable area's left edge, not the frame's, where it ends
  // before the frame; where it would reach the frame (a left margin under
  // about 20 mm), on the same row inside the frame, a blank after the header.
  if (run.ModAmplitude > 0) {
    const QString text = "АМ=" + QString::fromStdString(FormatFixed(static_cast<float>(run.ModAmplitude), 2, 2, in.Sep)) +
                         " " + QString::fromStdString(s.ADCUnits[3].Name);
    int x = 2 + fm.horizontalAdvance(text) > f.Left ? header.right() + 1 + fm.horizontalAdvance(' ') : 2;
    int y = f.Top + 2;
    // A header too long to leave it room before the frame's right edge: on
    // the row below the header, at the frame's left edge.
    if (x != 2 && x + fm.horizontalAdvance(text) > f.Right) {
      x = f.Left + 2;
      y = header.bottom() + 2;
    }
    label(x, y, text, font, back);
  }
  return report;
}

MarginSample ComputeMarginSample(QSize box, const PrintGeometry& g, const Margins& edits) {
  MarginSample m;
  const PaperSize paper = NearestPaper(g.HorzSize, g.VertSize);
  const int sw = box.width(), sh = box.height();
  m.Scale = paper.Height > paper.Width ? 0.85 * sh / paper.Height : 0.85 * sw / paper.Width;
  auto scaled = [&](int mm) { return static_cast<int>(RoundEven(mm * m.Scale)); };
  const int w = scaled(g.HorzSize), h = scaled(g.VertSize);
  m.Page.Left = (sw - w) / 2;
  m.Page.Right = sw - m.Page.Left;
  m.Page.Top = (sh - h) / 2;
  m.Page.Bottom = sh - m.Page.Top;
  m.Margin = {m.Page.Left + scaled(edits.Left), m.Page.Top + scaled(edits.Top), m.Page.Right - scaled(edits.Right),
              m.Page.Bottom - scaled(edits.Bottom)};
  m.MidY = (m.Margin.Top + m.Margin.Bottom) / 2;
  return m;
}

void PaintMarginSample(QPainter& p, QSize box, const PrintGeometry& g, const Margins& edits, const ColorSet& printer,
                       const QColor& boxColor) {
  p.setRenderHint(QPainter::Antialiasing, false);
  p.fillRect(QRect(QPoint(0, 0), box), boxColor);
  if (g.HorzSize <= 0 || g.VertSize <= 0) return;
  const MarginSample m = ComputeMarginSample(box, g, edits);
  FramedRect(p, m.Page, Qt::white, Qt::black);
  FramedRect(p, m.Margin, ToQColor(printer.BackGround), ToQColor(printer.Border));
  if (m.Margin.Right > m.Margin.Left) {
    p.setPen(QPen(ToQColor(printer.Grid), 1));
    p.drawLine(m.Margin.Left, m.MidY, m.Margin.Right - 1, m.MidY);  // to Right, that point not drawn
  }
}

}  // namespace qel
