#include "frame_pacer.h"

#include <chrono>

namespace qel {

FramePacer::FramePacer(std::function<void()> show, QObject* parent)
    : QObject(parent), show_(std::move(show)), now_([] {
        return static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
      }) {
  timer_.setSingleShot(true);
  // Its delay is set against the link's polls: it must not come early.
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &FramePacer::Show);
}

void FramePacer::Changed() {
  if (queued_) return;
  const long long since = everShown_ ? now_() - shownAt_ : FrameMs;
  if (since >= FrameMs) {
    // Once every change of this wake-up is made (a batch of the link draws
    // all its points first); the timer of an earlier change is not needed.
    timer_.stop();
    queued_ = true;
    if (batch_ && batch_->Open())
      batch_->Add(this);
    else
      QMetaObject::invokeMethod(this, [this] { if (queued_) Show(); }, Qt::QueuedConnection);
  } else if (!timer_.isActive()) {
    timer_.start(static_cast<int>(FrameMs + LateMs - since));
  }
}

void FramePacer::Shown() {
  queued_ = false;
  timer_.stop();
  shownAt_ = now_();
  everShown_ = true;
}

void FrameBatch::End() {
  open_ = false;
  std::vector<FramePacer*> due;
  due.swap(waiting_);
  for (FramePacer* p : due)
    if (p->queued_) p->Show();
}

void FramePacer::Show() {
  Shown();
  show_();
}

}  // namespace qel
