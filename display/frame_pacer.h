#pragma once
// The screen's pace for a widget whose content changes often (the plot, the
// status panels, the message log): what changed is shown in one piece, at
// most once a frame. The first change a frame or more after the last show is
// shown when the event loop is back, in the same wake-up (during reception,
// the one that has just read the line); a change that comes sooner waits on
// a timer long enough for the next read of the line, a frame of the link
// later, to take it along first. So a window that receives wakes once a
// frame of the link, however many widgets change.

#include <QObject>
#include <QTimer>

#include <functional>
#include <vector>

namespace qel {

class FramePacer;

// A batch of the link (a read of the line and what it drew): the pacers that
// may show a change during it show it at the batch's end, on the spot,
// instead of through the event queue (which costs the event loop another
// turn, and a write to wake it, every frame).
class FrameBatch {
 public:
  void Begin() { open_ = true; }
  // Shows what waits for the batch's end.
  void End();
  bool Open() const { return open_; }
  void Add(FramePacer* pacer) { waiting_.push_back(pacer); }

 private:
  bool open_ = false;
  std::vector<FramePacer*> waiting_;
};

class FramePacer : public QObject {
 public:
  // Shows at most this often: at most 50 a second.
  static constexpr int FrameMs = 20;
  // A change that waits is shown this long after the frame at the latest,
  // FrameMs + LateMs after the last show: after the link's next look at the
  // line (every 32 ms while telegrams stream in), which takes it first.
  static constexpr int LateMs = 30;

  // `show` brings the widget up to date.
  explicit FramePacer(std::function<void()> show, QObject* parent = nullptr);
  // Changes during the link's batches are shown at the batch's end.
  void SetBatch(FrameBatch* batch) { batch_ = batch; }

  // Something changed: it is shown as above.
  void Changed();
  // The widget was brought up to date by other means: nothing waits.
  void Shown();
  bool Waiting() const { return queued_ || timer_.isActive(); }
  // Milliseconds until the timer of a waiting change shows it; -1 if none.
  int DueIn() const { return timer_.isActive() ? timer_.remainingTime() : -1; }
  // Milliseconds of a monotonic clock: a test's own (the timers still run
  // on the system's).
  void SetClock(std::function<long long()> now) { now_ = std::move(now); }

 private:
  friend class FrameBatch;
  void Show();

  std::function<void()> show_;
  FrameBatch* batch_ = nullptr;
  std::function<long long()> now_;
  QTimer timer_;
  long long shownAt_ = 0;
  bool everShown_ = false;
  bool queued_ = false;
};

}  // namespace qel
