#ifdef _WIN32
#include "win_serial_line.h"

#include <windows.h>
#include <winioctl.h>

namespace qel {

namespace {
// The serial driver's statistics request and its answer, as the driver
// kit's ntddser.h has them (that header needs the kit's other headers).
constexpr DWORD IoctlSerialGetStats = CTL_CODE(FILE_DEVICE_SERIAL_PORT, 35, METHOD_BUFFERED, FILE_ANY_ACCESS);
struct SerialPerfStats {
  ULONG ReceivedCount;
  ULONG TransmittedCount;
  ULONG FrameErrorCount;
  ULONG SerialOverrunErrorCount;
  ULONG BufferOverrunErrorCount;
  ULONG ParityErrorCount;
};
}  // namespace

bool LineErrorsIn(unsigned long commErrors) {
  return (commErrors & (CE_FRAME | CE_RXPARITY | CE_OVERRUN | CE_RXOVER | CE_BREAK)) != 0;
}

std::optional<std::uint64_t> WinSerialLine::ErrorCount() {
  // The port is opened for overlapped I/O: the request gets an event
  // of its own to finish on.
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!done) return std::nullopt;
  OVERLAPPED ov{};
  ov.hEvent = done;
  SerialPerfStats stats{};
  DWORD bytes = 0;
  BOOL ok = DeviceIoControl(static_cast<HANDLE>(handle_), IoctlSerialGetStats, nullptr, 0, &stats, sizeof stats,
                            &bytes, &ov);
  if (!ok && GetLastError() == ERROR_IO_PENDING)
    ok = GetOverlappedResult(static_cast<HANDLE>(handle_), &ov, &bytes, TRUE);
  CloseHandle(done);
  if (!ok || bytes < sizeof stats) return std::nullopt;
  return std::uint64_t{stats.FrameErrorCount} + stats.SerialOverrunErrorCount + stats.BufferOverrunErrorCount +
         stats.ParityErrorCount;
}

std::optional<WinSerialLine::Status> WinSerialLine::Fetch() {
  DWORD errors = 0;
  COMSTAT stat{};
  if (!ClearCommError(static_cast<HANDLE>(handle_), &errors, &stat)) return std::nullopt;
  Status s;
  s.Errors = LineErrorsIn(errors);
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
