#pragma once
// The plot's coordinate mapping and the parts of the picture drawn with a
// painter: background, border, grid lines and labels, the minimum and maximum
// markers, "A=", "S=" and "АМ=". Screen and printed sheet share them: each
// takes a painter and the rectangle it draws into.

#include <QColor>
#include <QPainter>
#include <QRect>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <array>
#include <cmath>
#include <vector>

#include "model/number_format.h"
#include "model/settings.h"
#include "model/spectrum.h"

namespace qel {

// A colour of the settings (0x00BBGGRR) as Qt's.
QColor ToQColor(std::int32_t bgr);
inline QRgb ToQRgb(std::int32_t bgr) {
  const auto u = static_cast<std::uint32_t>(bgr);
  return qRgb(static_cast<int>(u & 0xFF), static_cast<int>((u >> 8) & 0xFF), static_cast<int>((u >> 16) & 0xFF));
}

// round(d * f), halves to even, the product formed in extended precision.
// While d has at most 29 bits the product of it and a float (24 bits) is
// exact in a double already, and so rounds the same, at a fraction of the
// cost: the full repaint maps 65,520 points.
inline long long RoundedProduct(long d, float f) {
  constexpr long exact = 1L << 29;
  if (d > -exact && d < exact) return std::llrint(static_cast<double>(d) * static_cast<double>(f));
  return RoundEven(static_cast<long double>(d) * f);
}

struct PlotScales {
  int W = 0;
  int H = 0;
  int ViewMin = 0;
  int ViewMax = 0;
  float PixPerCode = 0;   // pixels per field code; 0 when the view has no width
  float PixPerValue = 0;  // pixels per amplitude code
  int ZeroY = 0;

  // True when points can be placed: a view of positive width on a plot of some size.
  bool HasView() const { return PixPerCode > 0 && W > 0 && H > 0; }
  // x of a field code: round((code - ViewMin) * PixPerCode), halves to even.
  int X(long code) const { return static_cast<int>(RoundedProduct(code - ViewMin, PixPerCode)); }
  // y of an amplitude code: ZeroY - round((value - 2048) * PixPerValue).
  int Y(long value) const { return ZeroY - static_cast<int>(RoundedProduct(value - ZeroLine, PixPerValue)); }
  // The field code under pixel column x: round(x / PixPerCode) + ViewMin;
  // nothing when the view has no width.
  std::optional<long> CodeAt(int x) const;
};

// The scales for a plot of W x H pixels: PixPerCode = W / (ViewMax - ViewMin)
// and PixPerValue = H / 2^(12 - OrdScale), both float32; ZeroY = H div 2.
PlotScales ComputeScales(int w, int h, int viewMin, int viewMax, int ordScale);

struct PlotLabel {
  std::string Text;
  QRect Box;  // where it was drawn, relative to the plot
};

// The texts of the background's four labels: the top one, then those of the
// grid lines at 0, +half and -half.
std::array<std::string, 4> PlotBackgroundTexts(const Settings& s, std::string_view sep, int ordScale);

// Background, border, the top label and the three grid lines with their
// labels. Returns the labels as drawn.
std::vector<PlotLabel> DrawPlotBackground(QPainter& p, const QRect& r, const PlotScales& scales,
                                          const Settings& s, const ColorSet& colors, std::string_view sep,
                                          int ordScale);

// The minimum and maximum markers with their labels and arrows, and "A=".
// Each of these returns the labels it drew.
std::vector<PlotLabel> DrawMinMax(QPainter& p, const QRect& r, const PlotScales& scales,
                                  const SpectrumBuffer& spectrum, const RunValues& run, const Settings& s,
                                  const ColorSet& colors, std::string_view sep);

// "S=" and the integral, centred between the two cursor positions.
std::vector<PlotLabel> DrawIntegral(QPainter& p, const QRect& r, const RunValues& run, const Settings& s,
                                    const ColorSet& colors, int visX1, int visX2, std::string_view sep);

// "АМ=" and the modulation amplitude, when there is one.
std::vector<PlotLabel> DrawModAmplitude(QPainter& p, const QRect& r, const RunValues& run, const Settings& s,
                                        const ColorSet& colors, std::string_view sep);

// Text with the background box behind it, its top-left corner at (x, y)
// relative to r, in the painter's font; returns its box relative to r.
QRect DrawLabel(QPainter& p, const QRect& r, int x, int y, const QString& text, const QColor& fg,
                const QColor& bg);

// The label font: size 10.
QFont PlotFont();

// The arrows that point at a marked point from below and from above.
QPolygon ArrowBelow(int x, int y);
QPolygon ArrowAbove(int x, int y);

}  // namespace qel
