#pragma once
// What an open Windows serial port tells of its line: the errors and the
// input queue (ClearCommError) and the clear-to-send line
// (GetCommModemStatus). Takes the port's handle and never closes it; the Qt
// port adapter uses it with QSerialPort's handle. Built only on Windows.
#ifdef _WIN32

#include <cstdint>
#include <optional>

#include "link/serial_port.h"

namespace qel {

class WinSerialLine {
 public:
  explicit WinSerialLine(void* handle) : handle_(handle) {}

  struct Status {
    bool Errors = false;      // framing, parity, overrun, input overflow or break since the last call
    std::uint32_t Queued = 0;  // bytes the driver holds for reading
  };
  // Fetches and clears the line's errors; std::nullopt when the handle is no
  // serial port or the device has gone.
  std::optional<Status> Fetch();

  // The clear-to-send line; std::nullopt when the port reports no modem lines.
  std::optional<bool> CtsOn();

  // What the port can tell of the clear-to-send line. QSerialPort keeps the
  // port's one pending WaitCommEvent for its own reading, so changes cannot
  // be counted beside it: a port with modem lines reports the level, which
  // the command wait polls.
  CtsReport Probe();

 private:
  void* handle_;
};

}  // namespace qel
#endif
