#pragma once
// The message window: a running protocol of the exchange with the
// instrument, kept for the whole run, shown or hidden by the operator.

#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QWidget>

#include "display/frame_pacer.h"

namespace qel {

class TQelMessageForm : public QWidget {
  Q_OBJECT
 public:
  // The window keeps the newest lines and drops older ones, so appending
  // never slows down and memory stays bounded in a run of any length. A
  // line costs about 0.6 kB in the text view: 20,000 lines are some 12 MB,
  // and more than twice a day's normal logging at the fastest sweep (three
  // lines a pass).
  static constexpr int MaxLines = 20000;
  // Past the cap the oldest lines go this many at a time: one removal of
  // many lines costs less than one per appended line.
  static constexpr int TrimBatch = 1000;

  // Lines reach the text view in one batch at the screen's pace (during
  // reception, in the wake-up that read the line), however fast they come (a
  // noisy line logs twice for every bad telegram); every line is kept, in
  // order. While the window is hidden they wait (the newest MaxLines of
  // them) until it is shown.

  explicit TQelMessageForm(QWidget* parent = nullptr);

  void AppendLine(const QString& line);
  // Lines appended during the link's batches are shown at their end.
  void SetFrameBatch(FrameBatch* batch) { pacer_.SetBatch(batch); }
  void ClearLines();  // the clear button and the start of a receive loop
  // Lines in the view, those waiting for the next frame included.
  int LineCount() const;
  // The text view, with every line appended so far.
  QPlainTextEdit& Msg() {
    ShowWaiting();
    return *msg_;
  }
  // Appends to the text view so far (for the measurements and the tests).
  long long ViewWrites() const { return viewWrites_; }

 signals:
  // Closed with its close box: only hidden.
  void Hidden();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void ShowWaiting();

  QPlainTextEdit* msg_;
  QPushButton* clrBtn_;
  QStringList waiting_;
  FramePacer pacer_;
  long long viewWrites_ = 0;
  bool lostWhileHidden_ = false;  // lines dropped by the cap before they were shown
  bool capNoted_ = false;
  bool empty_ = false;
};

}  // namespace qel
