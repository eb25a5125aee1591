#include "placement.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <limits>

namespace qel {

namespace {
// What must show of a window so that its title bar can still be grabbed.
constexpr int kGrabWidth = 60;
constexpr int kGrabHeight = 20;

long long DistanceSquared(const QRect& r, const QPoint& p) {
  const long long dx = p.x() < r.left() ? r.left() - p.x() : (p.x() > r.right() ? p.x() - r.right() : 0);
  const long long dy = p.y() < r.top() ? r.top() - p.y() : (p.y() > r.bottom() ? p.y() - r.bottom() : 0);
  return dx * dx + dy * dy;
}
}  // namespace

QRect FitOnScreens(const QRect& frame, const QList<QRect>& screens) {
  if (screens.isEmpty()) return frame;
  const QRect titleBar(frame.left(), frame.top(), frame.width(), kGrabHeight);
  for (const QRect& s : screens) {
    const QRect seen = s.intersected(titleBar);
    if (seen.width() >= std::min(kGrabWidth, frame.width()) && seen.height() >= std::min(kGrabHeight, frame.height()))
      return frame;
  }
  const QRect* nearest = &screens.front();
  long long best = std::numeric_limits<long long>::max();
  for (const QRect& s : screens) {
    const long long d = DistanceSquared(s, frame.center());
    if (d < best) best = d, nearest = &s;
  }
  const QRect& s = *nearest;
  QRect r(frame.topLeft(), QSize(std::min(frame.width(), s.width()), std::min(frame.height(), s.height())));
  r.moveLeft(std::clamp(r.left(), s.left(), s.right() + 1 - r.width()));
  r.moveTop(std::clamp(r.top(), s.top(), s.bottom() + 1 - r.height()));
  return r;
}

namespace {
QList<QRect> Screens() {
  QList<QRect> screens;
  for (const QScreen* s : QGuiApplication::screens()) screens.append(s->availableGeometry());
  return screens;
}
}  // namespace

void ApplyPosition(QWidget& w, int left, int top) {
  w.move(FitOnScreens(QRect(QPoint(left, top), w.size()), Screens()).topLeft());
}

void ApplyPlacement(QWidget& w, const WindowPlacement& p) {
  const QRect r = FitOnScreens(QRect(p.Left, p.Top, p.Width, p.Height), Screens());
  w.move(r.topLeft());
  w.resize(r.size());
  switch (p.State) {
    case 1: w.setWindowState(Qt::WindowMinimized); break;
    case 2: w.setWindowState(Qt::WindowMaximized); break;
    default: w.setWindowState(Qt::WindowNoState); break;
  }
}

void ReadPlacement(const QWidget& w, WindowPlacement& p) {
  const Qt::WindowStates st = w.windowState();
  p.State = st & Qt::WindowMinimized ? 1 : (st & Qt::WindowMaximized ? 2 : 0);
  if (p.State != 0) return;
  p.Left = w.x();
  p.Top = w.y();
  p.Width = w.width();
  p.Height = w.height();
}

}  // namespace qel
