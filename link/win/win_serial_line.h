#pragma once
// What an open Windows serial port tells of its line: its error counters
// (IOCTL_SERIAL_GET_STATS), its error flags and input queue (ClearCommError)
// and its clear-to-send line (GetCommModemStatus). Takes the port's handle,
// opened for overlapped I/O or not, and never closes it; the program's port
// (link/qt/qt_serial_port_win.cpp) uses it with its own handle. Built only on
// Windows.
#ifdef _WIN32

#include <cstdint>
#include <optional>

#include "link/serial_port.h"

namespace qel {

// Whether ClearCommError's flags hold a receive error: framing, parity,
// overrun, input overflow or break.
bool LineErrorsIn(unsigned long commErrors);

class WinSerialLine {
 public:
  explicit WinSerialLine(void* handle) : handle_(handle) {}

  // Receive errors the driver has counted since the port was opened
  // (framing, parity, overrun, buffer overrun). Unlike the flags below these
  // are not cleared by whoever asks first (ClearCommError clears the flags).
  // std::nullopt where the driver keeps no counts (some USB adapters, Wine).
  std::optional<std::uint64_t> ErrorCount();

  struct Status {
    bool Errors = false;       // see LineErrorsIn, since the last call
    std::uint32_t Queued = 0;  // bytes the driver holds for reading
  };
  // Fetches and clears the line's error flags; std::nullopt when the handle
  // is no serial port or the device has gone.
  std::optional<Status> Fetch();

  // The clear-to-send line; std::nullopt when the port reports no modem lines.
  std::optional<bool> CtsOn();

  // What the port can tell of the clear-to-send line. The port's one pending
  // WaitCommEvent serves the reading, so changes cannot be counted beside
  // it, and Windows keeps no count of them: a port with modem lines reports
  // the level, which the command wait polls.
  CtsReport Probe();

 private:
  void* handle_;
};

}  // namespace qel
#endif
