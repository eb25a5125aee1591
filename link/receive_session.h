#pragma once
// The receive loop, one iteration at a time: the driver calls Iterate when
// bytes arrive, a timer fires or a flag is re-armed, and again at once while
// Iterate says more telegrams wait. Nothing here sleeps or waits for data.

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "acquisition.h"
#include "adc_monitor.h"
#include "command_sender.h"
#include "instrument_control.h"
#include "link_state.h"
#include "link_view.h"
#include "serial_port.h"

namespace qel {

class ReceiveSession {
 public:
  enum class Next {
    Nothing,    // the loop does not run, or waits for the next event
    Again,      // at least 10 bytes still wait: iterate again from the event queue
    PollCts,    // a command waits for its pulse: iterate again after CommandSender::PollInterval()
    Reconnect,  // the device is gone: call TryReconnect about once a second
  };

  // Bytes that cannot begin a telegram are dropped, as many as wait, up to
  // this many per iteration (user events run between two batches).
  static constexpr std::size_t MaxDroppedPerIteration = 4096;

  ReceiveSession(SerialPort& port, Settings& s, RunValues& run, LinkFlags& flags, LinkView& view,
                 LinkDriver& driver, CommandSender& sender, InstrumentControl& controls, Acquisition& acquisition,
                 AdcMonitor& adc);

  // QelTimer fired: the start of the loop (the port opens).
  void QelTimerTimer();
  // One iteration; ends the loop when Receiving has been cleared.
  Next Iterate();
  void WDTimerTimer();
  void SendTimerTimer();
  // The port dialog closed: a running loop ends at once (the port closes)
  // and QelTimer starts a new one, which opens the port as now set.
  void RestartAfterPortDialog();
  // After the device was lost: reopens the same port, silently; true when it is back.
  bool TryReconnect();

  // Sees every telegram with a good checksum, before it is dispatched (for
  // diagnostics and tests).
  void SetTelegramTap(std::function<void(const Telegram&)> tap) { tap_ = std::move(tap); }

  bool Running() const { return running_; }
  bool Reconnecting() const { return reconnecting_; }

 private:
  void Begin(bool clearLog);
  void End();
  bool OpenPort(bool silent);
  void HandshakeStep();
  void WriteQueued();
  void Dispatch(const Telegram& t);
  void Log(const std::string& line) { view_.AppendLog(line); }
  void ShowPendingError();

  SerialPort& port_;
  Settings& s_;
  RunValues& run_;
  LinkFlags& flags_;
  LinkView& view_;
  LinkDriver& driver_;
  CommandSender& sender_;
  InstrumentControl& controls_;
  Acquisition& acquisition_;
  AdcMonitor& adc_;
  bool running_ = false;
  bool reconnecting_ = false;
  bool pendingLineError_ = false;
  std::string pendingBox_;
  std::function<void(const Telegram&)> tap_;
};

}  // namespace qel
