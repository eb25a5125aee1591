#include "adc_monitor.h"

#include "model/units.h"

namespace qel {

AdcMonitor::AdcMonitor(const Settings& s, RunValues& run, const LinkFlags& flags, LinkView& view,
                       LinkDriver& driver, CommandSender& sender, std::string sep)
    : s_(s), run_(run), flags_(flags), view_(view), driver_(driver), sender_(sender), sep_(std::move(sep)) {}

void AdcMonitor::SetAdcMonitor(bool on) {
  on_ = on;
  view_.SetAdcWindowVisible(on);
  // An interval of 0 would fire on every pass of the event loop: no timer then.
  if (s_.ADCFreq != 0) driver_.SetTimerInterval(LinkTimer::ADCTimer, s_.ADCFreq);
  driver_.SetTimerEnabled(LinkTimer::ADCTimer, on && s_.ADCFreq != 0);
}

void AdcMonitor::ADCTimerTimer() {
  if (flags_.LinkState == LinkStatus::NoSignal || !flags_.Receiving) return;
  if (sender_.Queue(CmdAdc)) driver_.RequestIteration();
}

void AdcMonitor::Reading(std::uint16_t r) {
  if (!on_) return;
  run_.AdcCode = r;
  view_.SetAdcText(FormatAdc(s_, r, sep_));
  view_.PlotPixel(flags_.CurrentCode, r / 2 + 2048);
}

}  // namespace qel
