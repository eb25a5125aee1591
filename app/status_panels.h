#pragma once
// The twelve panels of QelStatusBar. A text is taken at once; the label
// widgets are written only where the text differs from what they show, at
// the screen's pace however often the link sets them (a noisy line sets
// panel 7 twice for every bad telegram): during reception in the wake-up
// that read the line. The last text is always shown.

#include <QObject>
#include <QString>

#include "display/frame_pacer.h"

#include <array>
#include <vector>

class QLabel;

namespace qel {

class StatusPanels : public QObject {
  Q_OBJECT
 public:
  static constexpr int Count = 12;

  explicit StatusPanels(QObject* parent = nullptr);
  // The labels, in panel order.
  void SetLabels(std::vector<QLabel*> labels);

  void Set(int panel, const QString& text);
  // Changes made during the link's batches are shown at their end.
  void SetFrameBatch(FrameBatch* batch) { pacer_.SetBatch(batch); }
  // The text of a panel, as set (the label shows it at the latest
  // FramePacer::FrameMs + FramePacer::LateMs later).
  QString Text(int panel) const;
  // Label writes so far (for the measurements and the tests).
  long long Writes() const { return writes_; }

 signals:
  // The labels were brought up to date.
  void Shown();

 private:
  void Show();

  std::vector<QLabel*> labels_;
  std::array<QString, Count> texts_;
  FramePacer pacer_;
  long long writes_ = 0;
};

}  // namespace qel
