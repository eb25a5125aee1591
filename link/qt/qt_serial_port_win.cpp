// The serial port on Windows: the port's own handle, opened for overlapped
// I/O, in the Qt event loop (qt_serial_port.cpp elsewhere).
#ifdef _WIN32
#include <windows.h>

#include <QTimer>
#include <QWinEventNotifier>
#include <algorithm>
#include <cstring>

#include "link/win/win_serial_line.h"
#include "model/win_text.h"
#include "qt_serial_port.h"

namespace qel {

namespace {
// Bytes read from the driver beyond the queue's bound before reading stops
// until the session has caught up.
constexpr std::size_t kReadAhead = 16 * 1024;
// A read that has not finished in this long is ended: the window must not
// wait on a driver that holds a read back (Wine does on a quiet terminal).
constexpr DWORD kReadWaitMs = 100;
// After a wait for the port's event ended without an event (Wine ends one
// now and then on a terminal), it is waited for again this much later.
constexpr int kRearmMs = 16;
// A write of a command (a few bytes at 115,200 baud) that has not gone out in
// this long has failed: the window must not wait on a stuck driver.
constexpr DWORD kWriteTimeoutMs = 500;
}  // namespace

struct QtSerialPort::Win {
  HANDLE handle = INVALID_HANDLE_VALUE;
  // The port's event: one WaitCommEvent at a time, finishing on waitDone.
  HANDLE waitDone = nullptr;
  OVERLAPPED waitOv{};
  DWORD events = 0;
  bool waiting = false;
  // Reads and writes, each finished before the next starts.
  HANDLE ioDone = nullptr;
  QWinEventNotifier notifier;
  QTimer rearm;

  Win() {
    waitDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ioDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    notifier.setHandle(waitDone);
    rearm.setSingleShot(true);
    rearm.setInterval(kRearmMs);
  }
  ~Win() {
    notifier.setEnabled(false);
    if (waitDone) CloseHandle(waitDone);
    if (ioDone) CloseHandle(ioDone);
  }
  // Finishes an overlapped request started with `started` (the call's result).
  bool Finish(BOOL started, OVERLAPPED& ov, DWORD& bytes) const {
    if (started) return GetOverlappedResult(handle, &ov, &bytes, FALSE) != 0;
    if (GetLastError() != ERROR_IO_PENDING) return false;
    return GetOverlappedResult(handle, &ov, &bytes, TRUE) != 0;
  }
};

QtSerialPort::QtSerialPort(QObject* parent) : QObject(parent), win_(std::make_unique<Win>()) {
  win_->notifier.setEnabled(false);
  connect(&win_->notifier, &QWinEventNotifier::activated, this, &QtSerialPort::OnPortEvent);
  connect(&win_->rearm, &QTimer::timeout, this, [this] {
    if (!IsOpen() || lost_ || paused_) return;
    if (Drain()) emit Activity();
    Arm();
  });
}

QtSerialPort::~QtSerialPort() { Close(); }

bool QtSerialPort::IsOpen() const { return win_->handle != INVALID_HANDLE_VALUE; }

void* QtSerialPort::NativeHandle() const { return win_->handle; }

QList<QtSerialPort::PortSeen> QtSerialPort::PortsHere() {
  QList<PortSeen> ports;
  // The driver's device as the value's name, the port ("COM3") as its data.
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
    return ports;
  for (DWORD i = 0;; ++i) {
    wchar_t device[256];
    wchar_t name[64];
    DWORD deviceLen = 256, nameBytes = sizeof name - sizeof(wchar_t), type = 0;
    const LONG r = RegEnumValueW(key, i, device, &deviceLen, nullptr, &type, reinterpret_cast<BYTE*>(name), &nameBytes);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r != ERROR_SUCCESS || type != REG_SZ) continue;
    name[nameBytes / sizeof(wchar_t)] = 0;
    ports.append({QString::fromWCharArray(name), QString::fromWCharArray(device, static_cast<int>(deviceLen))});
  }
  RegCloseKey(key);
  return ports;
}

std::size_t QtSerialPort::BytesWaiting() const { return queue_.size() - queueHead_; }

bool QtSerialPort::Open(const std::string& name, std::int32_t baud) {
  Close();
  lost_ = false;
  // "COM3" and "\\.\COM3" alike; the long form also reaches COM10 and above.
  const std::string path = name.rfind("\\\\.\\", 0) == 0 ? name : "\\\\.\\" + name;
  HANDLE h = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  bool configured = GetCommState(h, &dcb) != 0;
  if (configured) {
    dcb.BaudRate = static_cast<DWORD>(baud);
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;  // an error must not stop the reads until cleared
    configured = SetCommState(h, &dcb) != 0;
  }
  // A read returns at once with what the driver holds; a write waits for its
  // bytes to go out, at most kWriteTimeoutMs.
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  timeouts.WriteTotalTimeoutConstant = kWriteTimeoutMs;
  configured = configured && SetCommTimeouts(h, &timeouts) != 0 && SetCommMask(h, EV_RXCHAR | EV_ERR) != 0;
  if (!configured) {
    CloseHandle(h);
    return false;
  }
  SetupComm(h, 64 * 1024, 4 * 1024);  // a request only: the driver may keep its own sizes
  win_->handle = h;

  WinSerialLine line(h);
  cts_ = line.Probe();
  winErrorCounts_ = false;
  if (const auto n = line.ErrorCount()) {
    winErrorCounts_ = true;
    lastErrors_ = *n;
  }
  line.Fetch();  // errors from before the open are not this run's
  pendingErrors_ = false;
  if (stuckCts_ && cts_ == CtsReport::None) {
    cts_ = CtsReport::LevelAndCount;
    ctsBase_ = 0;
  }
  paused_ = false;
  win_->notifier.setEnabled(true);
  Arm();
  return true;
}

void QtSerialPort::Close() {
  win_->rearm.stop();
  if (win_->handle != INVALID_HANDLE_VALUE) {
    win_->notifier.setEnabled(false);
    // Ends the pending wait (a new mask finishes it) and any request left.
    SetCommMask(win_->handle, 0);
    CancelIo(win_->handle);
    if (win_->waiting) {
      DWORD bytes = 0;
      GetOverlappedResult(win_->handle, &win_->waitOv, &bytes, TRUE);
      win_->waiting = false;
    }
    CloseHandle(win_->handle);
    win_->handle = INVALID_HANDLE_VALUE;
  }
  ResetEvent(win_->waitDone);
  queue_.clear();
  queueHead_ = 0;
  cts_ = CtsReport::None;
}

void QtSerialPort::Arm() {
  if (!IsOpen() || lost_ || win_->waiting || paused_) return;
  ResetEvent(win_->waitDone);
  win_->waitOv = OVERLAPPED{};
  win_->waitOv.hEvent = win_->waitDone;
  win_->events = 0;
  if (WaitCommEvent(win_->handle, &win_->events, &win_->waitOv)) {
    // Done at once: the event is set, and the notifier takes it from there.
    win_->waiting = true;
    SetEvent(win_->waitDone);
    return;
  }
  if (GetLastError() == ERROR_IO_PENDING) {
    win_->waiting = true;
    return;
  }
  WaitEnded();
}

void QtSerialPort::WaitEnded() {
  // Lost only when the port no longer answers; otherwise the event is waited
  // for again a little later, so that a wait that keeps ending cannot spin.
  if (!WinSerialLine(win_->handle).Fetch()) {
    GoneAway();
    return;
  }
  if (!win_->rearm.isActive()) win_->rearm.start();
}

void QtSerialPort::OnPortEvent() {
  if (!IsOpen() || !win_->waiting) {
    ResetEvent(win_->waitDone);
    return;
  }
  DWORD bytes = 0;
  if (!GetOverlappedResult(win_->handle, &win_->waitOv, &bytes, FALSE)) {
    if (GetLastError() == ERROR_IO_INCOMPLETE) {
      // The event set while the wait is still pending: Wine does so now and
      // then, and the wait may then not end for many seconds while bytes
      // stream in (left alone, the set event would also wake the loop
      // without end). The wait is ended (a new mask ends a pending one) and
      // made again a little later, as after a wait that ended by itself.
      SetCommMask(win_->handle, EV_RXCHAR | EV_ERR);
      GetOverlappedResult(win_->handle, &win_->waitOv, &bytes, TRUE);
      win_->waiting = false;
      ResetEvent(win_->waitDone);
      WaitEnded();
      return;
    }
    win_->waiting = false;
    ResetEvent(win_->waitDone);
    // Wine ends a wait on a terminal now and then (ERROR_OPERATION_ABORTED)
    // while the line is well.
    WaitEnded();
    return;
  }
  win_->waiting = false;
  ResetEvent(win_->waitDone);
  if (paused_) return;  // the next batch takes the bytes; no wake-up until then
  ++notifications_;
  Drain();
  if (lost_) return;
  emit Activity();
  Arm();
}

bool QtSerialPort::Drain() {
  if (!IsOpen() || lost_) return false;
  // What the driver holds, and its error flags since the last look, kept for
  // FetchLineStatus: errors come with the bytes they spoilt.
  WinSerialLine line(win_->handle);
  const auto status = line.Fetch();
  if (!status) {
    GoneAway();
    return false;
  }
  if (status->Errors) pendingErrors_ = true;
  if (winErrorCounts_) {
    if (const auto n = line.ErrorCount(); n && *n != lastErrors_) {
      pendingErrors_ = true;
      lastErrors_ = *n;
    }
  }
  // Only what the driver holds is asked for: a read of more may wait for
  // bytes to come. The queue stays bounded: what lies beyond the bound
  // FetchLineStatus gives up; more is not read until the loop has caught up.
  const std::size_t cap = static_cast<std::size_t>(ReadQueueBytes) + kReadAhead;
  const std::size_t room = BytesWaiting() < cap ? cap - BytesWaiting() : 0;
  const DWORD want = static_cast<DWORD>(std::min<std::size_t>(status->Queued, room));
  if (want == 0) return false;
  if (queueHead_ > 0 && queueHead_ >= queue_.size() / 2) {
    queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(queueHead_));
    queueHead_ = 0;
  }
  const std::size_t at = queue_.size();
  queue_.resize(at + want);
  OVERLAPPED ov{};
  ov.hEvent = win_->ioDone;
  ResetEvent(win_->ioDone);
  DWORD got = 0;
  bool ok = ReadFile(win_->handle, queue_.data() + at, want, &got, &ov) != 0;
  if (ok) {
    ok = GetOverlappedResult(win_->handle, &ov, &got, FALSE) != 0;
  } else if (GetLastError() == ERROR_IO_PENDING) {
    // Held back although the bytes were there: ended after a short wait,
    // keeping what it has read.
    if (WaitForSingleObject(win_->ioDone, kReadWaitMs) != WAIT_OBJECT_0) CancelIo(win_->handle);
    ok = GetOverlappedResult(win_->handle, &ov, &got, TRUE) != 0 || GetLastError() == ERROR_OPERATION_ABORTED;
  }
  queue_.resize(at + got);
  // A line error with fAbortOnError off does not fail a read: this is the
  // device gone (an adapter pulled out).
  if (!ok) GoneAway();
  return got > 0;
}

void QtSerialPort::GoneAway() {
  if (lost_ || !IsOpen()) return;
  lost_ = true;
  ++notifications_;
  // Told through the event loop: never inside the call that found it.
  QMetaObject::invokeMethod(this, [this] { emit Activity(); }, Qt::QueuedConnection);
}

void QtSerialPort::SetReadPaused(bool paused) {
  if (!IsOpen() || paused_ == paused) return;
  paused_ = paused;
  if (!paused) {
    // What came while paused is taken now, and the port's event waited for.
    if (Drain()) QMetaObject::invokeMethod(this, [this] { if (IsOpen()) emit Activity(); }, Qt::QueuedConnection);
    Arm();
  }
}

bool QtSerialPort::ReadPaused() const { return IsOpen() && paused_; }

bool QtSerialPort::PullWaiting() { return Drain(); }

SerialPort::LineStatus QtSerialPort::FetchLineStatus() {
  LineStatus s;
  // As on Linux: a loop that has fallen far behind gives up the oldest
  // bytes, as a UART overruns, and says so as a line error.
  if (const std::size_t waiting = BytesWaiting(); waiting > static_cast<std::size_t>(ReadQueueBytes)) {
    const std::size_t excess = waiting - static_cast<std::size_t>(ReadQueueBytes);
    queueHead_ += excess;
    overruns_ += static_cast<qint64>(excess);
    s.Errors = true;
  }
  s.Waiting = BytesWaiting();
  // The driver was asked when the bytes were taken from it (Drain): asked
  // for every telegram, each question would cost a call into the system.
  if (pendingErrors_) s.Errors = true;
  pendingErrors_ = false;
  return s;
}

std::size_t QtSerialPort::Read(std::uint8_t* buffer, std::size_t n) {
  const std::size_t got = std::min(n, BytesWaiting());
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
  if (!IsOpen() || lost_ || n == 0) return;
  OVERLAPPED ov{};
  ov.hEvent = win_->ioDone;
  ResetEvent(win_->ioDone);
  DWORD sent = 0;
  // Out now, as the command is given; a port that has gone fails here too.
  if (!win_->Finish(WriteFile(win_->handle, data, static_cast<DWORD>(n), &sent, &ov), ov, sent)) {
    const DWORD e = GetLastError();
    if (e != ERROR_TIMEOUT && e != ERROR_SEM_TIMEOUT) GoneAway();
  }
}

bool QtSerialPort::CtsOn() {
  if (!IsOpen()) return false;
  if (const auto cts = WinSerialLine(win_->handle).CtsOn()) return *cts;
  return false;
}

std::uint64_t QtSerialPort::CtsChanges() { return 0; }

}  // namespace qel
#endif
