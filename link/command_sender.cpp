#include "command_sender.h"

#include <algorithm>

namespace qel {

CommandSender::CommandSender(SerialPort& port, const Settings& settings, const LinkFlags& flags)
    : port_(port), settings_(settings), flags_(flags) {}

bool CommandSender::HandshakeWaiting() const {
  for (int i = 0; i < count_; ++i)
    if (queue_[static_cast<std::size_t>(i)].Code != CmdAdc) return true;
  return false;
}

bool CommandSender::Queue(std::uint8_t code) {
  if (!port_.IsOpen()) return false;
  const auto c = BuildCommand(code, settings_);
  if (!c) return false;
  const bool adc = code == CmdAdc;
  for (int i = 0; i < count_; ++i)
    if ((queue_[static_cast<std::size_t>(i)].Code == CmdAdc) == adc) return false;
  queue_[static_cast<std::size_t>(count_++)] = *c;
  return true;
}

bool CommandSender::PulseSeen() {
  if (!flags_.Receiving) return true;
  const CtsReport support = port_.CtsSupport();
  if (support == CtsReport::None) return true;
  if (support == CtsReport::Level) {
    // The wait reads the line at least once before it can end: the falling
    // edge must come after this moment.
    const bool on = port_.CtsOn();
    if (!phaseStarted_) {
      phaseStarted_ = true;
      sawOn_ = on;
      return false;
    }
    if (on) {
      sawOn_ = true;
      return false;
    }
    return sawOn_;
  }
  if (!phaseStarted_) {
    // The level and the count must belong together: the line can move
    // between two calls. Count, level, count again; if it moved, the wait
    // starts at a later poll.
    const std::uint64_t before = port_.CtsChanges();
    const bool on = port_.CtsOn();
    pollInterval_ = FastPollMs;
    quietMs_ = 0;
    if (port_.CtsChanges() != before) return false;
    phaseStarted_ = true;
    onAtStart_ = on;
    changesAtStart_ = lastChanges_ = before;
    return false;
  }
  const std::uint64_t changes = port_.CtsChanges();
  if (changes != lastChanges_) {
    lastChanges_ = changes;
    quietMs_ = 0;
    pollInterval_ = FastPollMs;
  } else if ((quietMs_ += pollInterval_) >= QuietBeforeSlowMs) {
    pollInterval_ = std::min(2 * pollInterval_, SlowPollMs);
  }
  // Every change is counted, so a pulse shorter than the polling is seen:
  // from off, on and off again are two changes; from on, the fall is one.
  return changes - changesAtStart_ >= (onAtStart_ ? 1u : 2u);
}

}  // namespace qel
