#ifdef _WIN32
#include "win_serial_line.h"

#include <windows.h>

namespace qel {

std::optional<WinSerialLine::Status> WinSerialLine::Fetch() {
  DWORD errors = 0;
  COMSTAT stat{};
  if (!ClearCommError(static_cast<HANDLE>(handle_), &errors, &stat)) return std::nullopt;
  Status s;
  s.Errors = (errors & (CE_FRAME | CE_RXPARITY | CE_OVERRUN | CE_RXOVER | CE_BREAK)) != 0;
  s.Queued = stat.cbInQue;
  return s;
}

std::optional<bool> WinSerialLine::CtsOn() {
  DWORD modem = 0;
  if (!GetCommModemStatus(static_cast<HANDLE>(handle_), &modem)) return std::nullopt;
  return (modem & MS_CTS_ON) != 0;
}

CtsReport WinSerialLine::Probe() { return CtsOn() ? CtsReport::Level : CtsReport::None; }

}  // namespace qel
#endif
