#pragma once
// Runs the link's receive loop from the Qt event loop, in batches: when
// bytes arrive, a timer fires or the core asks, the loop's iterations run
// over everything that waits, in one call, at most once every BatchMs
// however fast bytes arrive; user events run between two batches, and a
// command asked for meanwhile goes out with the next batch. While telegrams
// stream in, the line is read once a frame of the screen (PollMs), and the
// window's widgets follow in the same wake-up. The clear-to-send wait keeps
// its own pace. Idle, it costs nothing.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include "link/link.h"
#include "qt_serial_port.h"

namespace qel {

class QtLinkDriver : public QObject, public LinkDriver {
  Q_OBJECT
 public:
  // At most one batch in this many milliseconds.
  static constexpr int BatchMs = 10;
  // While bytes keep coming, the port is looked at this often: the screen's
  // frame (about 31 a second), so that the plot, the status panels and the
  // log follow a batch in the same wake-up instead of waking the program
  // once more.
  static constexpr int PollMs = 40;
  // On a faster line the polls come sooner, so that a poll finds the
  // terminal at most half full (about 2 kB), but no more than 50 a second.
  static constexpr double HalfTerminalBytes = 2000;
  static constexpr int MinPollMs = 20;
  // A batch that finds this much waiting is behind the line (a terminal
  // holds about 4 kB between two reads): the line's own notification then
  // brings the rest at once, batches BatchMs apart, until the window has
  // caught up. So the window carries far more than a frame's terminal.
  static constexpr std::size_t BehindBytes = 4000;
  // Iterations of one batch at the most; more waiting go to the next batch.
  static constexpr int MaxIterationsPerBatch = 4096;

  explicit QtLinkDriver(QtSerialPort& port, QObject* parent = nullptr);

  // The link is built with this driver, then attached.
  void Attach(Link& link);

  void SetTimerEnabled(LinkTimer timer, bool enabled) override;
  void SetTimerInterval(LinkTimer timer, int milliseconds) override;
  void RequestIteration() override;

  bool TimerActive(LinkTimer timer) const;
  // Milliseconds until the next look at the clear-to-send line while a
  // command waits for its pulse; 0 when no look is due.
  int CtsPollInterval() const { return ctsPoll_.isActive() ? ctsPoll_.interval() : 0; }
  int TimerInterval(LinkTimer timer) const;
  // Batches run so far (for the measurements and the tests).
  long long Batches() const { return batches_; }

 signals:
  // Around each batch, on the spot: the window shows what the batch changed
  // at its end.
  void BatchStarted();
  void BatchEnded();

 private:
  void RunBatch();
  void Reconnect();
  // The toggles' blink (LPFTimer): on its own timer, or, while the line is
  // polled, in the poll nearest to when it is due.
  void Blink();
  void BlinkWithPoll();
  QTimer& Timer(LinkTimer timer);
  const QTimer& Timer(LinkTimer timer) const;

  QtSerialPort& port_;
  Link* link_ = nullptr;
  QTimer qelTimer_, wdTimer_, sendTimer_, adcTimer_, lpfTimer_;
  QTimer ctsPoll_, reconnect_;
  QTimer nextBatch_;           // the rest of BatchMs since the last batch
  QTimer pollLine_;            // while bytes keep coming: the next look at the port
  QElapsedTimer sinceRead_;    // since the last batch that read the line
  QElapsedTimer sinceBlink_;
  bool blinking_ = false;      // LPFTimer enabled
  int blinkMs_ = 360;          // LPFTimer's interval
  bool lineActivity_ = false;  // bytes came since the last batch
  bool scheduled_ = false;     // a batch waits in the event queue
  bool inBatch_ = false;
  long long batches_ = 0;
};

}  // namespace qel
