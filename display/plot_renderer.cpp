#include "plot_renderer.h"

#include <QFontMetrics>

#include <cmath>
#include <cstdlib>

#include "model/number_format.h"
#include "model/units.h"

namespace qel {

QColor ToQColor(std::int32_t bgr) {
  const auto u = static_cast<std::uint32_t>(bgr);
  return QColor(static_cast<int>(u & 0xFF), static_cast<int>((u >> 8) & 0xFF), static_cast<int>((u >> 16) & 0xFF));
}

std::optional<long> PlotScales::CodeAt(int x) const {
  if (!(PixPerCode > 0)) return std::nullopt;
  return static_cast<long>(RoundEven(static_cast<long double>(x) / PixPerCode)) + ViewMin;
}

PlotScales ComputeScales(int w, int h, int viewMin, int viewMax, int ordScale) {
  PlotScales s;
  s.W = std::max(w, 0);
  s.H = std::max(h, 0);
  s.ViewMin = viewMin;
  s.ViewMax = viewMax;
  const long width = static_cast<long>(viewMax) - viewMin;
  // A view without width draws no points: no scale, no division by zero.
  s.PixPerCode = width > 0 ? static_cast<float>(static_cast<long double>(s.W) / width) : 0.0f;
  const int step = std::clamp(ordScale, 0, 6);
  s.PixPerValue = static_cast<float>(static_cast<long double>(s.H) / (1 << (12 - step)));
  s.ZeroY = s.H / 2;
  return s;
}

QFont PlotFont() {
  QFont f;
  f.setPointSize(10);
  return f;
}

QPolygon ArrowBelow(int x, int y) {
  return QPolygon({QPoint(x, y), QPoint(x + 8, y + 8), QPoint(x + 3, y + 8), QPoint(x + 3, y + 18),
                   QPoint(x - 3, y + 18), QPoint(x - 3, y + 8), QPoint(x - 8, y + 8)});
}

QPolygon ArrowAbove(int x, int y) {
  return QPolygon({QPoint(x, y), QPoint(x + 8, y - 8), QPoint(x + 3, y - 8), QPoint(x + 3, y - 18),
                   QPoint(x - 3, y - 18), QPoint(x - 3, y - 8), QPoint(x - 8, y - 8)});
}

QRect DrawLabel(QPainter& p, const QRect& r, int x, int y, const QString& text, const QColor& fg,
                const QColor& bg) {
  const QFontMetrics fm(p.font());
  const QRect box(r.left() + x, r.top() + y, fm.horizontalAdvance(text), fm.height());
  p.fillRect(box, bg);
  p.setPen(fg);
  p.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
  return box.translated(-r.left(), -r.top());
}

std::array<std::string, 4> PlotBackgroundTexts(const Settings& s, std::string_view sep, int ordScale) {
  const int t = 1 << (11 - std::clamp(ordScale, 0, 6));
  return {FormatAmplitude(s, t, sep), FormatAmplitude(s, 0, sep), FormatAmplitude(s, t / 2, sep),
          FormatAmplitude(s, -(t / 2), sep)};
}

std::vector<PlotLabel> DrawPlotBackground(QPainter& p, const QRect& r, const PlotScales& sc, const Settings& s,
                                          const ColorSet& colors, std::string_view sep, int ordScale) {
  std::vector<PlotLabel> labels;
  const int w = sc.W, h = sc.H;
  if (w <= 0 || h <= 0) return labels;
  const QColor back = ToQColor(colors.BackGround);
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  p.fillRect(QRect(r.left(), r.top(), w, h), back);
  p.setPen(QPen(ToQColor(colors.Border), 0));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRect(r.left(), r.top(), w - 1, h - 1));

  p.setFont(PlotFont());
  const QFontMetrics fm(p.font());
  const QColor text = ToQColor(colors.Text);
  const std::array<std::string, 4> texts = PlotBackgroundTexts(s, sep, ordScale);
  auto rightLabel = [&](int y, const std::string& t) {
    const QString label = QString::fromStdString(t);
    const QRect box = DrawLabel(p, r, w - 4 - fm.horizontalAdvance(label), y, label, text, back);
    labels.push_back(PlotLabel{t, box});
  };
  rightLabel(1, texts[0]);
  const int lift = 1 + fm.height();
  const int ys[3] = {sc.ZeroY, sc.ZeroY / 2, (3 * sc.ZeroY) / 2};
  for (int k = 0; k < 3; ++k) {
    p.setPen(QPen(ToQColor(colors.Grid), 0));
    p.drawLine(r.left(), r.top() + ys[k], r.left() + w - 1, r.top() + ys[k]);
    rightLabel(ys[k] - lift, texts[static_cast<std::size_t>(k) + 1]);
  }
  return labels;
}

std::vector<PlotLabel> DrawMinMax(QPainter& p, const QRect& r, const PlotScales& sc, const SpectrumBuffer& spectrum,
                                  const RunValues& run, const Settings& s, const ColorSet& colors,
                                  std::string_view sep) {
  std::vector<PlotLabel> drawn;
  if (run.MinIndex < 0 || !sc.HasView()) return drawn;
  p.setFont(PlotFont());
  const QFontMetrics fm(p.font());
  const QColor text = ToQColor(colors.Text);
  const QColor back = ToQColor(colors.BackGround);
  auto valid = [&](std::int32_t i) { return i >= 0 && i < static_cast<std::int32_t>(SpectrumSize); };
  auto mark = [&](std::int32_t index, bool isMax) {
    if (!valid(index)) return;
    const SpectrumPoint pt = spectrum[static_cast<std::size_t>(index)];
    const int x = sc.X(pt.Code);
    const int y = sc.Y(pt.Value);
    const QString label = QString::fromStdString(FormatAmplitude(s, pt.Value - ZeroLine, sep));
    const int th = fm.height(), tw = fm.horizontalAdvance(label);
    const bool below = isMax ? (2 * th + 20 > y) : !(th + 20 > sc.H - y);
    p.setPen(QPen(text, 0));
    p.setBrush(text);
    if (below) {
      drawn.push_back({label.toStdString(), DrawLabel(p, r, x - tw / 2, y + 20, label, text, back)});
      p.setPen(QPen(text, 0));
      p.drawPolygon(ArrowBelow(x, y).translated(r.topLeft()));
    } else {
      drawn.push_back({label.toStdString(), DrawLabel(p, r, x - tw / 2, y - 20 - th, label, text, back)});
      p.setPen(QPen(text, 0));
      p.drawPolygon(ArrowAbove(x, y).translated(r.topLeft()));
    }
  };
  mark(run.MaxIndex, true);
  mark(run.MinIndex, false);
  if (valid(run.MaxIndex) && valid(run.MinIndex)) {
    const SpectrumPoint m = spectrum[static_cast<std::size_t>(run.MaxIndex)];
    const SpectrumPoint n = spectrum[static_cast<std::size_t>(run.MinIndex)];
    const QString label =
        "A=" + QString::fromStdString(FormatAmplitude(s, std::abs(static_cast<int>(m.Value) - n.Value), sep));
    const int cx = sc.X((static_cast<long>(m.Code) + n.Code) / 2);
    drawn.push_back({label.toStdString(), DrawLabel(p, r, cx - fm.horizontalAdvance(label) / 2, 2, label, text, back)});
  }
  p.setBrush(Qt::NoBrush);
  return drawn;
}

std::vector<PlotLabel> DrawIntegral(QPainter& p, const QRect& r, const RunValues& run, const Settings& s,
                                    const ColorSet& colors, int visX1, int visX2, std::string_view sep) {
  if (run.IntegralS < 0) return {};
  p.setFont(PlotFont());
  const QFontMetrics fm(p.font());
  const QString label = "S=" + QString::fromStdString(FormatIntegral(s, run.IntegralS, sep));
  return {{label.toStdString(), DrawLabel(p, r, (visX1 + visX2) / 2 - fm.horizontalAdvance(label) / 2, fm.height(),
                                          label, ToQColor(colors.Text), ToQColor(colors.BackGround))}};
}

std::vector<PlotLabel> DrawModAmplitude(QPainter& p, const QRect& r, const RunValues& run, const Settings& s,
                                        const ColorSet& colors, std::string_view sep) {
  if (!(run.ModAmplitude > 0)) return {};
  p.setFont(PlotFont());
  const QString label = "АМ=" + QString::fromStdString(FormatFixed(static_cast<float>(run.ModAmplitude), 2, 2, sep)) +
                        " " + QString::fromStdString(s.ADCUnits[3].Name);
  return {{label.toStdString(), DrawLabel(p, r, 2, 2, label, ToQColor(colors.Text), ToQColor(colors.BackGround))}};
}

}  // namespace qel
