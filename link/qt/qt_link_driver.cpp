#include "qt_link_driver.h"

#include <algorithm>

namespace qel {

QtLinkDriver::QtLinkDriver(QtSerialPort& port, QObject* parent) : QObject(parent), port_(port) {
  qelTimer_.setInterval(500);
  qelTimer_.setSingleShot(true);
  wdTimer_.setInterval(1000);
  sendTimer_.setInterval(100);
  adcTimer_.setInterval(100);
  lpfTimer_.setSingleShot(true);  // started again by each blink
  ctsPoll_.setSingleShot(true);
  ctsPoll_.setTimerType(Qt::PreciseTimer);
  reconnect_.setInterval(1000);
  nextBatch_.setSingleShot(true);
  nextBatch_.setTimerType(Qt::PreciseTimer);
  pollLine_.setSingleShot(true);
  pollLine_.setTimerType(Qt::PreciseTimer);
  pollLine_.setInterval(PollMs);
  // The next look at a polled line is a batch: it takes what has come and
  // decides whether the line stays polled.
  connect(&pollLine_, &QTimer::timeout, this, &QtLinkDriver::RunBatch);
  connect(&port_, &QtSerialPort::Activity, this, [this] {
    lineActivity_ = true;
    RequestIteration();
  });
}

void QtLinkDriver::Attach(Link& link) {
  link_ = &link;
  connect(&qelTimer_, &QTimer::timeout, this, [this] { link_->Session.QelTimerTimer(); });
  connect(&wdTimer_, &QTimer::timeout, this, [this] { link_->Session.WDTimerTimer(); });
  connect(&sendTimer_, &QTimer::timeout, this, [this] { link_->Session.SendTimerTimer(); });
  connect(&adcTimer_, &QTimer::timeout, this, [this] { link_->Adc.ADCTimerTimer(); });
  connect(&lpfTimer_, &QTimer::timeout, this, &QtLinkDriver::Blink);
  connect(&ctsPoll_, &QTimer::timeout, this, &QtLinkDriver::RunBatch);
  connect(&nextBatch_, &QTimer::timeout, this, &QtLinkDriver::RunBatch);
  connect(&reconnect_, &QTimer::timeout, this, &QtLinkDriver::Reconnect);
}

void QtLinkDriver::SetTimerInterval(LinkTimer timer, int milliseconds) {
  if (timer == LinkTimer::LPFTimer) blinkMs_ = std::max(milliseconds, 1);
  else Timer(timer).setInterval(std::max(milliseconds, 1));
}

QTimer& QtLinkDriver::Timer(LinkTimer timer) {
  switch (timer) {
    case LinkTimer::QelTimer: return qelTimer_;
    case LinkTimer::WDTimer: return wdTimer_;
    case LinkTimer::SendTimer: return sendTimer_;
    case LinkTimer::ADCTimer: return adcTimer_;
    case LinkTimer::LPFTimer: break;
  }
  return lpfTimer_;
}

const QTimer& QtLinkDriver::Timer(LinkTimer timer) const { return const_cast<QtLinkDriver*>(this)->Timer(timer); }

bool QtLinkDriver::TimerActive(LinkTimer timer) const {
  return timer == LinkTimer::LPFTimer ? blinking_ : Timer(timer).isActive();
}

int QtLinkDriver::TimerInterval(LinkTimer timer) const {
  return timer == LinkTimer::LPFTimer ? blinkMs_ : Timer(timer).interval();
}

void QtLinkDriver::Blink() {
  sinceBlink_.start();
  lpfTimer_.start(blinkMs_);
  if (link_) link_->Acq.LPFTimerTimer();
}

void QtLinkDriver::BlinkWithPoll() {
  if (!blinking_) return;
  const qint64 due = blinkMs_ - sinceBlink_.elapsed();
  if (due <= PollMs / 2) {
    Blink();
    return;
  }
  // A later poll takes it; the timer only stands in for a line gone quiet,
  // and never comes before the next poll (moved only when it would).
  if (lpfTimer_.remainingTime() < PollMs + PollMs / 2)
    lpfTimer_.start(static_cast<int>(std::max<qint64>(due, PollMs + PollMs / 2)));
}

void QtLinkDriver::SetTimerEnabled(LinkTimer timer, bool enabled) {
  if (timer == LinkTimer::LPFTimer) {
    if (enabled && !blinking_) {
      sinceBlink_.start();
      lpfTimer_.start(blinkMs_);
    }
    if (!enabled) lpfTimer_.stop();
    blinking_ = enabled;
    return;
  }
  QTimer& t = Timer(timer);
  if (!enabled) {
    t.stop();
  } else if (!t.isActive()) {
    t.start();
  }
}

void QtLinkDriver::RequestIteration() {
  if (inBatch_ || scheduled_ || nextBatch_.isActive() || !link_) return;
  // At most one batch that reads the line per BatchMs: a batch that only
  // ran timers (a command sent) does not hold back the answer to it.
  const qint64 since = sinceRead_.isValid() ? sinceRead_.elapsed() : BatchMs;
  if (since >= BatchMs) {
    // Through the event queue: never inside the handler that asked.
    scheduled_ = true;
    // A batch run meanwhile (the line polled) has taken its place.
    QMetaObject::invokeMethod(this, [this] { if (scheduled_) RunBatch(); }, Qt::QueuedConnection);
  } else {
    nextBatch_.start(static_cast<int>(BatchMs - since));
  }
}

void QtLinkDriver::RunBatch() {
  scheduled_ = false;
  nextBatch_.stop();
  if (!link_) return;
  ++batches_;
  inBatch_ = true;
  emit BatchStarted();
  const bool reads = lineActivity_ || port_.ReadPaused();
  lineActivity_ = false;
  // While the line's notification is paused, what came since the last look
  // is still in the terminal: every batch takes it, the poll's own and one
  // asked for by a timer (a command due) alike.
  if (port_.ReadPaused()) port_.PullWaiting();
  const std::size_t waiting = port_.BytesWaiting();
  const std::uint64_t readBefore = port_.BytesRead();
  for (int i = 0; i < MaxIterationsPerBatch; ++i) {
    const ReceiveSession::Next next = link_->Session.Iterate();
    if (next == ReceiveSession::Next::Again) continue;
    if (next == ReceiveSession::Next::PollCts) ctsPoll_.start(link_->Sender.PollInterval());
    if (next == ReceiveSession::Next::Reconnect && !reconnect_.isActive()) reconnect_.start();
    break;
  }
  inBatch_ = false;
  const qint64 sinceLastRead = sinceRead_.isValid() ? sinceRead_.elapsed() : PollMs;
  if (reads) sinceRead_.start();
  // While telegrams stream in, the line's chunks need not wake the loop:
  // the port is looked at again a frame later (what is left of a long batch
  // too), and the toggles blink in that wake-up. A lone answer or a batch of
  // timers only leaves the line's own notification on: a quiet line costs no
  // extra wake-up; so does a batch that found the window behind the line.
  const bool streaming = port_.IsOpen() && port_.BytesRead() - readBefore > TelegramSize;
  if (streaming && waiting < BehindBytes) {
    port_.SetReadPaused(true);
    // A frame on, or sooner on a line fast enough to fill the terminal by
    // then: it would hold the instrument back, and its points with it.
    const double perMs = static_cast<double>(waiting) / static_cast<double>(std::max<qint64>(sinceLastRead, 1));
    pollLine_.start(perMs * PollMs <= HalfTerminalBytes
                        ? PollMs
                        : std::max(MinPollMs, static_cast<int>(HalfTerminalBytes / perMs)));
    BlinkWithPoll();
  } else {
    pollLine_.stop();
    port_.SetReadPaused(false);
  }
  emit BatchEnded();
}

void QtLinkDriver::Reconnect() {
  if (!link_) return;
  if (link_->Session.TryReconnect()) {
    reconnect_.stop();
    RequestIteration();
  } else if (!link_->Session.Running()) {
    reconnect_.stop();
  }
}

}  // namespace qel
