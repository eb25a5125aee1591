// The serial port on QSerialPort (qt_serial_port_win.cpp on Windows).
#ifndef _WIN32
#include "qt_serial_port.h"

#include <QSerialPortInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <unistd.h>

#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace qel {

QtSerialPort::QtSerialPort(QObject* parent) : QObject(parent) {
  connect(&port_, &QSerialPort::readyRead, this, [this] {
    ++notifications_;
    TakeFromPort();
    emit Activity();
  });
  connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPort::OnError);
}

QtSerialPort::~QtSerialPort() { Close(); }

bool QtSerialPort::IsOpen() const { return port_.isOpen(); }

QList<QtSerialPort::PortSeen> QtSerialPort::PortsHere() {
  QList<PortSeen> ports;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
    ports.append({info.systemLocation(), info.description()});
  return ports;
}

void QtSerialPort::Compact() {
  // The bytes taken go once they are half the queue: it never grows past
  // twice what waits.
  if (queueHead_ > 0 && queueHead_ >= queue_.size() / 2) {
    queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(queueHead_));
    queueHead_ = 0;
  }
}

std::size_t QtSerialPort::BytesWaiting() const { return queue_.size() - queueHead_; }

void QtSerialPort::TakeFromPort() {
  const qint64 n = port_.bytesAvailable();
  if (n <= 0) return;
  Compact();
  const std::size_t at = queue_.size();
  queue_.resize(at + static_cast<std::size_t>(n));
  const qint64 got = port_.read(reinterpret_cast<char*>(queue_.data() + at), n);
  queue_.resize(at + static_cast<std::size_t>(std::max<qint64>(got, 0)));
}

bool QtSerialPort::ReadCounters(Counters& c) const {
  if (counterSource_) return counterSource_(c.errors, c.cts);
#ifdef Q_OS_LINUX
  serial_icounter_struct ic{};
  if (::ioctl(static_cast<int>(port_.handle()), TIOCGICOUNT, &ic) != 0) return false;
  c.errors = static_cast<std::uint64_t>(ic.frame) + static_cast<std::uint64_t>(ic.parity) +
             static_cast<std::uint64_t>(ic.overrun) + static_cast<std::uint64_t>(ic.brk) +
             static_cast<std::uint64_t>(ic.buf_overrun);
  c.cts = static_cast<std::uint64_t>(ic.cts);
  return true;
#else
  (void)c;
  return false;
#endif
}

bool QtSerialPort::Open(const std::string& name, std::int32_t baud) {
  Close();
  lost_ = false;
  // QSerialPort takes "ttyUSB0" and "/dev/ttyUSB0" alike (COM3 on Windows).
  port_.setPortName(QString::fromStdString(name));
  // QSerialPort's own queue takes whatever comes; FetchLineStatus keeps it
  // bounded.
  port_.setReadBufferSize(0);
  if (!port_.open(QIODevice::ReadWrite)) return false;
  const bool configured = port_.setBaudRate(baud) && port_.setDataBits(QSerialPort::Data8) &&
                          port_.setParity(QSerialPort::NoParity) && port_.setStopBits(QSerialPort::OneStop) &&
                          port_.setFlowControl(QSerialPort::NoFlowControl);
  if (!configured) {
    port_.close();
    return false;
  }
  // A pseudo-terminal or an adapter without modem lines refuses these; it
  // still carries data, only without clear-to-send pacing.
  port_.setDataTerminalReady(false);
  port_.setRequestToSend(false);
  port_.clearError();

  cts_ = CtsReport::None;
  haveCounters_ = false;
#ifdef Q_OS_LINUX
  int modem = 0;
  if (::ioctl(static_cast<int>(port_.handle()), TIOCMGET, &modem) == 0) cts_ = CtsReport::Level;
#endif
  if (Counters c; ReadCounters(c)) {
    haveCounters_ = true;
    if (cts_ == CtsReport::Level) cts_ = CtsReport::LevelAndCount;
    lastErrors_ = c.errors;
    ctsBase_ = c.cts;
  }
  if (stuckCts_ && cts_ == CtsReport::None) {
    cts_ = CtsReport::LevelAndCount;
    ctsBase_ = 0;
  }
  return true;
}

void QtSerialPort::Close() {
  if (port_.isOpen()) port_.close();
  queue_.clear();
  queueHead_ = 0;
  port_.clearError();
  cts_ = CtsReport::None;
  haveCounters_ = false;
}

void QtSerialPort::OnError(QSerialPort::SerialPortError error) {
  if (error == QSerialPort::TimeoutError) return;  // PullWaiting found nothing
  if (error != QSerialPort::NoError) ++notifications_;
  // A device that goes away while open reports a resource error (read fails
  // with EIO once an adapter is unplugged) or, where the other end hung up, a
  // read error on every wake-up of the event loop. Either way the port is
  // given up and reopened later.
  if (error == QSerialPort::ResourceError || error == QSerialPort::ReadError) GoneAway();
}

void QtSerialPort::GoneAway() {
  if (lost_ || !port_.isOpen()) return;
  lost_ = true;
  emit Activity();
}

QSocketNotifier* QtSerialPort::ReadNotifier() const {
  // QSerialPort makes its read notifier when the port opens and deletes it
  // at the close (the pointer then turns null); the batches ask for it a
  // hundred times a second.
  if (!readNotifier_) {
    for (QSocketNotifier* n : port_.findChildren<QSocketNotifier*>())
      if (n->type() == QSocketNotifier::Read) readNotifier_ = n;
  }
  return readNotifier_;
}

void QtSerialPort::SetReadPaused(bool paused) {
  if (!port_.isOpen()) return;
  if (QSocketNotifier* n = ReadNotifier()) n->setEnabled(!paused);
}

bool QtSerialPort::ReadPaused() const {
  const QSocketNotifier* n = ReadNotifier();
  return n && !n->isEnabled();
}

bool QtSerialPort::PullWaiting() {
  if (!port_.isOpen() || lost_) return false;
  // Straight from the terminal (non-blocking), in chunks, until it is empty
  // or the queue is full: what lies beyond the bound FetchLineStatus gives up.
  const int fd = static_cast<int>(port_.handle());
  constexpr std::size_t kChunk = 16384;
  const std::size_t cap = static_cast<std::size_t>(ReadQueueBytes) + kChunk;
  bool got = false;
  while (BytesWaiting() < cap) {
    Compact();
    const std::size_t at = queue_.size();
    queue_.resize(at + kChunk);
    const ssize_t n = ::read(fd, queue_.data() + at, kChunk);
    const int err = errno;
    queue_.resize(at + static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
    if (n > 0) {
      got = true;
      if (static_cast<std::size_t>(n) < kChunk) break;
      continue;
    }
    if (n < 0 && err == EINTR) continue;
    // Nothing more now (EAGAIN, or 0: the port reads with VMIN and VTIME at
    // 0), or the device gone: EIO when an adapter is pulled out; a terminal
    // hung up (the other end closed) reads 0 too, which only poll tells apart.
    if (n < 0 && err != EAGAIN && err != EWOULDBLOCK) GoneAway();
    if (n == 0) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) GoneAway();
    }
    break;
  }
  return got;
}

SerialPort::LineStatus QtSerialPort::FetchLineStatus() {
  LineStatus s;
  // A loop that has fallen far behind the line (the machine busy elsewhere
  // for seconds) gives up the oldest bytes, as a UART overruns, and says so
  // as a line error: the queue, and the program's memory, stay bounded
  // (unbounded, the queue grew by 140 MB in minutes of a noisy fast line).
  if (const std::size_t waiting = BytesWaiting(); waiting > static_cast<std::size_t>(ReadQueueBytes)) {
    const std::size_t excess = waiting - static_cast<std::size_t>(ReadQueueBytes);
    queueHead_ += excess;
    overruns_ += static_cast<qint64>(excess);
    s.Errors = true;
  }
  s.Waiting = BytesWaiting();
  if (haveCounters_) {
    Counters c;
    if (ReadCounters(c)) {
      s.Errors = s.Errors || c.errors != lastErrors_;
      lastErrors_ = c.errors;
    }
  }
  return s;
}

std::size_t QtSerialPort::Read(std::uint8_t* buffer, std::size_t n) {
  const std::size_t got = std::min(n, queue_.size() - queueHead_);
  if (got == 0) return 0;
  std::memcpy(buffer, queue_.data() + queueHead_, got);
  queueHead_ += got;
  if (queueHead_ == queue_.size()) {
    queue_.clear();
    queueHead_ = 0;
  }
  bytesRead_ += got;
  return got;
}

void QtSerialPort::Write(const std::uint8_t* data, std::size_t n) {
  port_.write(reinterpret_cast<const char*>(data), static_cast<qint64>(n));
  port_.flush();  // out now, not at the next turn of the event loop
}

bool QtSerialPort::CtsOn() {
#ifdef Q_OS_LINUX
  int modem = 0;
  if (::ioctl(static_cast<int>(port_.handle()), TIOCMGET, &modem) == 0) return (modem & TIOCM_CTS) != 0;
  if (stuckCts_) return false;
#endif
  return (port_.pinoutSignals() & QSerialPort::ClearToSendSignal) != 0;
}

std::uint64_t QtSerialPort::CtsChanges() {
  Counters c;
  if ((haveCounters_ || stuckCts_) && ReadCounters(c)) return c.cts - ctsBase_;
  return 0;
}

}  // namespace qel
#endif
