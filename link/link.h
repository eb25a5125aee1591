#pragma once
// The instrument link as one object: its state, the command queue, the
// controls, the acquisition, the ADC monitor and the receive loop.

#include <string>

#include "acquisition.h"
#include "adc_monitor.h"
#include "command_sender.h"
#include "instrument_control.h"
#include "link_state.h"
#include "receive_session.h"

namespace qel {

class Link {
 public:
  Link(SerialPort& port, Settings& s, SpectrumStore& store, RunValues& run, LinkView& view, LinkDriver& driver,
       RegistryStore* settingsStore, const std::string& sep)
      : Sender(port, s, Flags),
        Controls(s, Flags, view, driver, sep),
        Acq(s, store, run, Flags, view, driver, Controls, settingsStore, sep),
        Adc(s, run, Flags, view, driver, Sender, sep),
        Session(port, s, run, Flags, view, driver, Sender, Controls, Acq, Adc) {}

  LinkFlags Flags;
  CommandSender Sender;
  InstrumentControl Controls;
  Acquisition Acq;
  AdcMonitor Adc;
  ReceiveSession Session;
};

}  // namespace qel
