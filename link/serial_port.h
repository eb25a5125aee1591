#pragma once
// What the link needs of a serial port.

#include <cstddef>
#include <cstdint>
#include <string>

namespace qel {

// How much the port can tell of the clear-to-send line.
enum class CtsReport {
  None,           // nothing (a pseudo-terminal, some USB adapters): no pacing
  Level,          // its level only
  LevelAndCount,  // its level and a count of its changes, so no pulse is missed
};

class SerialPort {
 public:
  virtual ~SerialPort() = default;

  // Opens and configures the port; false when it cannot.
  virtual bool Open(const std::string& name, std::int32_t baud) = 0;
  // Closing a closed port does nothing.
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;

  struct LineStatus {
    bool Errors = false;      // framing, parity, overrun or break since the last fetch
    std::size_t Waiting = 0;  // bytes in the input queue
  };
  // Fetches and clears the pending line errors, with the waiting byte count.
  virtual LineStatus FetchLineStatus() = 0;
  // Reads up to n bytes (called only when n are waiting); returns how many.
  virtual std::size_t Read(std::uint8_t* buffer, std::size_t n) = 0;
  virtual void Write(const std::uint8_t* data, std::size_t n) = 0;

  virtual CtsReport CtsSupport() const = 0;
  virtual bool CtsOn() = 0;
  // Changes of the line since the port was opened (LevelAndCount only).
  virtual std::uint64_t CtsChanges() = 0;

  // True once the device has gone away while open (a USB adapter pulled out).
  virtual bool Lost() const { return false; }
};

}  // namespace qel
