#pragma once
// The printed sheet: the current spectrum in a frame between the print
// margins, with a header line naming the file, the gain and the sweep speed.
// It is drawn through a painter on any device whose printable area is known
// in pixels and in millimetres: a printer, a PDF, an image. The coordinate
// mapping and the arrows are the plot's; insets, label lifts, quarter lines
// and text positions are the sheet's own.
//
// Also here: the paper and minimum margins found for a printable area, and
// the preview of the print setup dialog.

#include <QColor>
#include <QPainter>
#include <QSize>
#include <QString>

#include <string_view>
#include <vector>

#include "plot_renderer.h"

namespace qel {

// The printable area: HORZRES x VERTRES device pixels, HORZSIZE x VERTSIZE
// whole millimetres. Device coordinates start at its top-left corner.
struct PrintGeometry {
  int HorzRes = 0;
  int VertRes = 0;
  int HorzSize = 0;
  int VertSize = 0;
};

struct PaperSize {
  int Width = 0;   // mm
  int Height = 0;  // mm
  bool operator==(const PaperSize&) const = default;
};

// The standard sheet nearest to a printable area, the earlier on a tie:
// A4 portrait, A4 landscape, A3 portrait, A3 landscape.
PaperSize NearestPaper(int widthMm, int heightMm);

struct Margins {
  int Left = 0;
  int Right = 0;
  int Top = 0;
  int Bottom = 0;
  bool operator==(const Margins&) const = default;
};

// Where the printer cannot print, in mm, taking the printable area to be
// centred on the nearest paper.
Margins MinimumMargins(const PrintGeometry& g);

// A rectangle as the sheet's rules give it: Right and Bottom lie just past
// the last pixel inside.
struct Edges {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  bool operator==(const Edges&) const = default;
};

// The frame: the printable area moved inward by the margins of the settings
// beyond the minimum ones, in device pixels.
Edges SheetFrame(const PrintGeometry& g, const Settings& s);

// What the sheet shows besides the settings and the spectrum.
struct SheetInput {
  const Settings& S;
  const SpectrumStore& Store;
  const RunValues& Run;
  bool ReceiveMode = false;
  QString AmpText;    // as shown in the window's gain selector
  QString SpeedText;  // as shown in the window's speed selector
  std::string_view Sep;
};

// The header line: the file part (none in receive mode or without a file),
// the gain and the sweep speed.
QString SheetHeader(const SheetInput& in);

struct SheetReport {
  Edges Frame;
  Margins MinMargins;
  std::vector<PlotLabel> Texts;  // every text in the order drawn, device coordinates
  long Points = 0;               // dots of the spectrum (raw ones not counted)
};

// Draws the sheet on the painter's device, whose printable area is g.
SheetReport DrawSheet(QPainter& p, const PrintGeometry& g, const SheetInput& in);

// The preview of the print setup dialog on a paint box of the given size:
// the printable area centred and scaled to 85 % of the box, and in it the
// rectangle left by the margins of the four edits (mm) with its middle line.
struct MarginSample {
  double Scale = 0;
  Edges Page;
  Edges Margin;
  int MidY = 0;
};
MarginSample ComputeMarginSample(QSize box, const PrintGeometry& g, const Margins& edits);
void PaintMarginSample(QPainter& p, QSize box, const PrintGeometry& g, const Margins& edits,
                       const ColorSet& printer, const QColor& boxColor);

}  // namespace qel
