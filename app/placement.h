#pragma once
// Window placements kept in the settings, applied to and read from windows.

#include <QList>
#include <QRect>
#include <QWidget>

#include "model/settings.h"

namespace qel {

// A stored frame that no screen shows enough of to grab (a monitor was
// unplugged) is moved onto the nearest screen, its size kept where it fits.
QRect FitOnScreens(const QRect& frame, const QList<QRect>& screens);

// Left, top, width, height, then the window state.
void ApplyPlacement(QWidget& w, const WindowPlacement& p);
// Only the place (a window whose size is its own), brought onto a screen.
void ApplyPosition(QWidget& w, int left, int top);
// The state always; left, top, width and height only in the normal state,
// so a maximised window keeps its last normal placement.
void ReadPlacement(const QWidget& w, WindowPlacement& p);

}  // namespace qel
