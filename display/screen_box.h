#pragma once
// The plot. Every drawing operation paints on a backing image of the
// widget's size and marks the touched region; the paint event shows the
// image. The per-point operations write pixels directly.

#include <QImage>
#include <QWidget>

#include <array>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "frame_pacer.h"
#include "plot_renderer.h"

namespace qel {

class ScreenBox : public QWidget {
  Q_OBJECT
 public:
  ScreenBox(const Settings& s, const SpectrumStore& store, const RunValues& run, std::string sep,
            QWidget* parent = nullptr);

  // The full repaint: background, points, min/max, "S=", the cursors, "АМ=".
  void ScreenBoxPaint();
  // Background, scales, grid and labels.
  void DrawBackground();
  // Point `index` of the spectrum (and, with ShowFirst, its raw value).
  void PlotPoint(std::uint16_t index, std::int32_t color);
  // One pixel at a field code and amplitude code.
  void PlotPixel(std::uint16_t code, int value, std::int32_t color);
  // Moves the red XOR wedge at the bottom edge to the field code.
  void ShowSweepMark(std::uint16_t code);
  // The XOR cursor line at x; twice at the same x restores the plot.
  void ToggleVisirLine(int x, std::int32_t color);
  // OR-paints full-height columns x0..x1 (a selection band) in an RGB colour.
  void MergeColumns(int x0, int x1, QRgb color);

  // For measurements: each point drawn by PlotPoint, once the window has
  // been flushed to the screen with it (Flushed), gives a line "field-code
  // nanoseconds" (CLOCK_MONOTONIC) to `trace`; nullptr (the default) traces
  // nothing.
  void SetPointTrace(std::FILE* trace) { trace_ = trace; }
  // The window's picture has just gone to the screen.
  void Flushed();
  // Changes made during the link's batches are shown at their end.
  void SetFrameBatch(FrameBatch* batch) { pacer_.SetBatch(batch); }

  // Step 6 of the repaint: the view window places the cursors.
  void SetCursorPlacer(std::function<void()> place) { placeCursors_ = std::move(place); }
  // Cursor x positions for "S=" (kept by the view window).
  void SetCursorXs(int x1, int x2) {
    visX1_ = x1;
    visX2_ = x2;
  }

  const QImage& Image() const { return image_; }
  // Screen updates asked for so far (each shows every change since the one before).
  int ScreenUpdates() const { return screenUpdates_; }
  // Changes on the image wait for their screen update.
  bool UpdateWaiting() const { return pacer_.Waiting(); }
  // Milliseconds until a waiting change's own timer shows it; -1 if none waits on it.
  int UpdateDueIn() const { return pacer_.DueIn(); }
  const PlotScales& Scales() const { return scales_; }
  // Every text of the last full repaint: grid labels, min/max, "A=", "S=", "АМ=".
  const std::vector<PlotLabel>& Labels() const { return labels_; }
  int SweepMarkShownX() const { return sweepMarkShownX_; }

 signals:
  // Presses and releases of any button but the right one (the context menu's).
  void MousePressed(int x);
  void MouseMoved(int x);
  void MouseReleased(int x);
  // The background was drawn: the cursor lines went with the old picture.
  void BackgroundDrawn();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void Touch(const QRect& r);
  void UpdateScreen();
  void EnsureImage();
  // The image's pixels, taken once for many writes (a QImage checks whether
  // it must detach at every scan line asked for).
  struct Pixels {
    QRgb* Bits;
    qsizetype Stride;  // in pixels
    int W, H;
    void Set(int x, int y, QRgb color) const {
      if (x >= 0 && y >= 0 && x < W && y < H) Bits[y * Stride + x] = color;
    }
  };
  Pixels ImagePixels();
  // The pixels of one point; returns the rectangle touched.
  QRect DrawPoint(const Pixels& px, std::uint16_t index, QRgb color, QRgb rawColor);
  void XorPixel(int x, int y, QRgb bits);
  void DrawSweepMark(int x);

  const Settings& s_;
  const SpectrumStore& store_;
  const RunValues& run_;
  std::string sep_;
  QImage image_;
  PlotScales scales_;
  std::vector<PlotLabel> labels_;
  int sweepMarkX_ = -1;
  int sweepMarkShownX_ = -1;
  int visX1_ = -1, visX2_ = -1;
  std::function<void()> placeCursors_;
  QRect dirty_;
  int screenUpdates_ = 0;
  // Drawing goes to the image at once; the screen follows at its pace, once
  // a frame of the link while telegrams stream in.
  FramePacer pacer_;
  // What the full repaint reuses while nothing it depends on changes (a
  // processing command, a colour): the background as its pixels that are
  // not the background colour (border, grid, labels), row by row, and each
  // field code's column and each amplitude's row.
  struct BackgroundKey {
    QSize Size;
    std::int32_t Colors[4] = {};  // BackGround, Border, Grid, Text
    std::array<std::string, 4> Texts;
    bool operator==(const BackgroundKey&) const = default;
  };
  struct Run {
    int Y, X, Length;
    std::size_t At;  // into Pool
  };
  struct Background {
    bool Valid = false;
    BackgroundKey Key;
    QRgb Color = 0;
    std::vector<Run> Runs;
    std::vector<QRgb> Pool;
    std::vector<PlotLabel> Labels;
  };
  struct Mapping {
    PlotScales Scales;
    bool Valid = false;
    std::vector<std::int16_t> X;  // by field code: the column, -1 off the plot
    std::vector<std::int16_t> Y;  // by amplitude code: the row (at most H - 2), -1 above the plot
  };
  void RememberBackground(BackgroundKey key);
  const Mapping& PointMapping();
  Background background_;
  Mapping mapping_;
  std::FILE* trace_ = nullptr;
  std::vector<std::uint16_t> traceDrawn_;    // on the image, waiting for an update
  std::vector<std::uint16_t> traceUpdated_;  // in an update, waiting for the flush
};

}  // namespace qel
