#pragma once
// Pixel sizes of the window's layout are given at 96 dpi; on a denser
// screen they grow with it, so texts in the desktop's font still fit.

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace qel {

inline double UiScale() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const double dpi = screen ? screen->logicalDotsPerInch() : 96.0;
  return dpi > 96.0 ? dpi / 96.0 : 1.0;
}

inline int Px(int pixelsAt96Dpi) { return static_cast<int>(std::lround(pixelsAt96Dpi * UiScale())); }

}  // namespace qel
