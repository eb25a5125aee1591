#include "command_sender.h"

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
  const bool on = port_.CtsOn();
  if (!phaseStarted_) {
    phaseStarted_ = true;
    onAtStart_ = on;
    sawOn_ = on;
    changesAtStart_ = support == CtsReport::LevelAndCount ? port_.CtsChanges() : 0;
    // The wait reads the line at least once before it can end: the falling
    // edge must come after this moment.
    if (support == CtsReport::Level) return false;
  }
  if (support == CtsReport::LevelAndCount) {
    // Every change is counted, so a pulse shorter than the polling is seen:
    // from off, on and off again are two changes; from on, the fall is one.
    const std::uint64_t changes = port_.CtsChanges() - changesAtStart_;
    if (changes >= (onAtStart_ ? 1u : 2u)) return true;
    if (on) sawOn_ = true;
    return false;
  }
  if (on) {
    sawOn_ = true;
    return false;
  }
  return sawOn_;
}

}  // namespace qel
