#pragma once
// Commands waiting to be written, each after the instrument's clear-to-send
// pulse (on, then off). At most one handshake command and one ADC request
// wait at a time, in the order they arose. The wait never blocks: the driver
// calls Advance again after PollInterval() while Waiting() is true.

#include <array>
#include <cstdint>

#include "link_state.h"
#include "serial_port.h"
#include "telegram.h"

namespace qel {

class CommandSender {
 public:
  CommandSender(SerialPort& port, const Settings& settings, const LinkFlags& flags);

  // Builds the command from the settings now and queues it. False (nothing
  // queued) for an unknown code, a closed port, or one of its kind waiting.
  bool Queue(std::uint8_t code);
  bool Waiting() const { return count_ > 0; }
  bool HandshakeWaiting() const;
  // Drops what waits; the next command waits for a pulse of its own.
  void Clear() {
    count_ = 0;
    phaseStarted_ = false;
  }

  // Milliseconds until the next look at the line while a command waits: 1,
  // growing to at most 20 once the line has not moved for 100 ms (the
  // instrument is off), and 1 again as soon as it moves. The counter
  // catches a pulse whatever the polling rate; a port that reports only the
  // level keeps 1, or it would miss short pulses.
  int PollInterval() const { return pollInterval_; }
  static constexpr int FastPollMs = 1;
  static constexpr int SlowPollMs = 20;
  static constexpr int QuietBeforeSlowMs = 100;

  // Writes the commands whose pulse has come, in order; returns the code of
  // each written one through `written`. A port that cannot report the line
  // writes at once, and so does a link whose Receiving has been cleared.
  template <typename Fn>
  void Advance(Fn written) {
    while (count_ > 0 && PulseSeen()) {
      const Command c = queue_[0];
      port_.Write(c.Bytes.data(), c.Size);
      queue_[0] = queue_[1];
      --count_;
      phaseStarted_ = false;
      written(c.Code);
    }
  }

 private:
  bool PulseSeen();

  SerialPort& port_;
  const Settings& settings_;
  const LinkFlags& flags_;
  std::array<Command, 2> queue_{};
  int count_ = 0;
  // The pulse wait of the command at the head.
  bool phaseStarted_ = false;
  bool sawOn_ = false;                // level only
  std::uint64_t changesAtStart_ = 0;  // with the counter: the line at the start
  bool onAtStart_ = false;
  // The polling rate.
  int pollInterval_ = FastPollMs;
  int quietMs_ = 0;
  std::uint64_t lastChanges_ = 0;
};

}  // namespace qel
