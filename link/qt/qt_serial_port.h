#pragma once
// The link's serial port in the Qt event loop: 8 data bits, no parity, 1
// stop bit, no flow control, DTR and RTS held off. A port without modem
// lines (a pseudo-terminal) works unpaced.
// - Linux: on QSerialPort; line errors and clear-to-send changes from the
//   driver's counters where it keeps them (TIOCGICOUNT).
// - Windows: the port's own handle, opened for overlapped I/O; the port's
//   event (WaitCommEvent) wakes the event loop when bytes come; line errors
//   from the driver's counts (IOCTL_SERIAL_GET_STATS) and ClearCommError's
//   flags, the line's level from GetCommModemStatus.

#include <functional>

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QString>
#include <vector>
#ifdef _WIN32
#include <memory>
#else
#include <QSerialPort>
#endif

#include "link/serial_port.h"

namespace qel {

class QtSerialPort : public QObject, public SerialPort {
  Q_OBJECT
 public:
  // Bytes waiting for the receive loop at the most: seconds at line rate,
  // the longest modal pause or repaint; older ones are given up.
  static constexpr qint64 ReadQueueBytes = 256 * 1024;

  explicit QtSerialPort(QObject* parent = nullptr);
  ~QtSerialPort() override;

  struct PortSeen {
    QString Name;         // as Open takes it: "/dev/ttyUSB0", "COM3"
    QString Description;  // the driver's or device's own, if any
  };
  // The serial ports this machine has (on Windows those the system lists
  // under HARDWARE\DEVICEMAP\SERIALCOMM).
  static QList<PortSeen> PortsHere();
#ifdef _WIN32
  // The port's handle while open, INVALID_HANDLE_VALUE otherwise.
  void* NativeHandle() const;
#endif

  bool Open(const std::string& name, std::int32_t baud) override;
  void Close() override;
  bool IsOpen() const override;
  LineStatus FetchLineStatus() override;
  std::size_t Read(std::uint8_t* buffer, std::size_t n) override;
  void Write(const std::uint8_t* data, std::size_t n) override;
  CtsReport CtsSupport() const override { return cts_; }
  bool CtsOn() override;
  std::uint64_t CtsChanges() override;
  bool Lost() const override { return lost_; }

  // Between two batches of the receive loop the port need not wake the
  // event loop for every chunk the line delivers: paused, bytes wait in the
  // system's buffer until PullWaiting takes them. (QSerialPort's read
  // notifier, or the port's event on Windows; where it has none, nothing is
  // paused.)
  void SetReadPaused(bool paused);
  bool ReadPaused() const;
  // Takes what the system holds for the port into the queue now, without
  // waiting; true when bytes came.
  bool PullWaiting();
  std::size_t BytesWaiting() const;
  // Notifications the port has raised (data or errors), for diagnostics: a
  // device that hung up must not wake the program again and again.
  std::uint64_t Notifications() const { return notifications_; }
  // Bytes the receive loop has read so far.
  std::uint64_t BytesRead() const { return bytesRead_; }
  // Bytes given up because the receive loop had fallen too far behind.
  qint64 Overruns() const { return overruns_; }
  // For measuring: a port that reports neither the clear-to-send line nor its
  // changes (a pseudo-terminal) claims both from the next Open, and the line
  // never moves: the command wait then polls as against an instrument that is
  // switched off. The modem calls are still made.
  void SetStuckCts(bool stuck) { stuckCts_ = stuck; }
#ifndef _WIN32
  // The driver's counts of line errors and clear-to-send changes, as
  // TIOCGICOUNT gives them, from another source from the next Open: a test's
  // (a pseudo-terminal keeps none).
  using CounterSource = std::function<bool(std::uint64_t& errors, std::uint64_t& cts)>;
  void SetCounterSource(CounterSource source) { counterSource_ = std::move(source); }
#endif

 signals:
  // Bytes arrived, or the device went away.
  void Activity();

 private:
#ifdef _WIN32
  struct Win;
  // Waits for the port's event, unless paused or already waiting.
  void Arm();
  void OnPortEvent();
  // Moves what the driver holds into queue_; true when bytes came.
  bool Drain();
  void GoneAway();
  // A wait for the port's event ended without one.
  void WaitEnded();
  std::unique_ptr<Win> win_;
  bool paused_ = false;
  bool pendingErrors_ = false;   // seen by Drain, not yet fetched
  bool winErrorCounts_ = false;  // the driver counts line errors
#else
  // The driver's counts of line errors and clear-to-send changes (Linux).
  struct Counters {
    std::uint64_t errors = 0;
    std::uint64_t cts = 0;
  };
  bool ReadCounters(Counters& c) const;
  void OnError(QSerialPort::SerialPortError error);
  // What QSerialPort has read on its notification goes at once into queue_,
  // behind what was read before: the bytes keep their order, and queue_ is
  // the only queue the loop reads.
  void TakeFromPort();
  void Compact();
  // The device is gone: said once, with Activity.
  void GoneAway();
  QSocketNotifier* ReadNotifier() const;
  QSerialPort port_;
  mutable QPointer<QSocketNotifier> readNotifier_;  // port_'s, while it is open
  bool haveCounters_ = false;
  CounterSource counterSource_;
#endif
  // Read from the system, not yet taken by the receive loop. On Linux the
  // batches read the terminal themselves while its notification is paused
  // (QSerialPort's own read would switch its notification on again each time).
  std::vector<std::uint8_t> queue_;
  std::size_t queueHead_ = 0;
  CtsReport cts_ = CtsReport::None;
  bool lost_ = false;
  std::uint64_t notifications_ = 0;
  std::uint64_t bytesRead_ = 0;
  qint64 overruns_ = 0;  // bytes given up by the bound on the queue
  bool stuckCts_ = false;
  std::uint64_t lastErrors_ = 0;
  std::uint64_t ctsBase_ = 0;
};

}  // namespace qel
