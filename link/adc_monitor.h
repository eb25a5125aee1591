#pragma once
// The auxiliary ADC input: requests at the ADCTimer rate, the reading shown in
// its window and as a pixel at the sweep position.

#include <cstdint>
#include <string>

#include "command_sender.h"
#include "link_state.h"
#include "link_view.h"
#include "model/settings.h"
#include "model/spectrum.h"

namespace qel {

class AdcMonitor {
 public:
  AdcMonitor(const Settings& s, RunValues& run, const LinkFlags& flags, LinkView& view, LinkDriver& driver,
             CommandSender& sender, std::string sep);

  void SetAdcMonitor(bool on);
  bool On() const { return on_; }
  // ADCTimer: a request, unless the link is silent or the port closed.
  void ADCTimerTimer();
  // Tm44 with the reading.
  void Reading(std::uint16_t r);

 private:
  const Settings& s_;
  RunValues& run_;
  const LinkFlags& flags_;
  LinkView& view_;
  LinkDriver& driver_;
  CommandSender& sender_;
  std::string sep_;
  bool on_ = false;
};

}  // namespace qel
