#pragma once
// The twelve panels of QelStatusBar. A text is taken at once; the label
// widgets are written only where the text differs from what they show, at
// most about 20 times a second however often the link sets them (a noisy
// line sets panel 7 twice for every bad telegram); the last text is always
// shown, at most one interval later.

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <vector>

class QLabel;

namespace qel {

class StatusPanels : public QObject {
  Q_OBJECT
 public:
  static constexpr int Count = 12;
  static constexpr int IntervalMs = 50;

  explicit StatusPanels(QObject* parent = nullptr);
  // The labels, in panel order.
  void SetLabels(std::vector<QLabel*> labels);

  void Set(int panel, const QString& text);
  // The text of a panel, as set (the label shows it at the latest one
  // interval later).
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
  QTimer timer_;
  QElapsedTimer sinceShown_;
  long long writes_ = 0;
};

}  // namespace qel
