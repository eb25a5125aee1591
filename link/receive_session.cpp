#include "receive_session.h"

namespace qel {

namespace {
std::string N(unsigned v) { return std::to_string(v); }
}  // namespace

ReceiveSession::ReceiveSession(SerialPort& port, Settings& s, RunValues& run, LinkFlags& flags, LinkView& view,
                               LinkDriver& driver, CommandSender& sender, InstrumentControl& controls,
                               Acquisition& acquisition, AdcMonitor& adc)
    : port_(port),
      s_(s),
      run_(run),
      flags_(flags),
      view_(view),
      driver_(driver),
      sender_(sender),
      controls_(controls),
      acquisition_(acquisition),
      adc_(adc) {}

bool ReceiveSession::OpenPort(bool silent) {
  if (port_.Open(s_.Port, s_.BitRate)) {
    view_.SetStatusPanel(PortPanel, s_.Port);
    view_.SetStatusPanel(BaudPanel, std::to_string(s_.BitRate) + " бод");
    flags_.Receiving = true;
    return true;
  }
  view_.SetStatusPanel(PortPanel, "");
  view_.SetStatusPanel(BaudPanel, "");
  if (!silent) {
    flags_.Receiving = false;
    if (pendingBox_.empty()) pendingBox_ = "Невозможно инициализировать порт " + s_.Port;
  }
  return false;
}

void ReceiveSession::Begin(bool clearLog) {
  flags_.ResetHandshake();
  if (clearLog) view_.ClearLog();
  controls_.ResetStatus();
  acquisition_.ResetPassDirection();
  flags_.SilenceTicks = 0;
  flags_.LinkState = LinkStatus::Ok;
  flags_.CurrentCode = 0;
  view_.SetStatusPanel(InfoPanel, LinkTexts[0]);
  pendingLineError_ = false;
}

void ReceiveSession::QelTimerTimer() {
  driver_.SetTimerEnabled(LinkTimer::QelTimer, false);
  if (!acquisition_.ReceiveMode()) return;  // a tick that outran the switch to analyse mode
  driver_.SetTimerEnabled(LinkTimer::WDTimer, true);
  flags_.ResetHandshake();
  const bool open = OpenPort(false);
  Begin(true);
  running_ = true;
  reconnecting_ = false;
  if (!open) End();
  ShowPendingError();
  if (running_) driver_.RequestIteration();
}

void ReceiveSession::RestartAfterPortDialog() {
  if (!flags_.Receiving) return;
  flags_.Receiving = false;
  port_.Close();
  driver_.SetTimerEnabled(LinkTimer::QelTimer, true);
  driver_.RequestIteration();  // the running loop sees the flag and ends
}

void ReceiveSession::End() {
  driver_.SetTimerEnabled(LinkTimer::WDTimer, false);
  driver_.SetTimerEnabled(LinkTimer::SendTimer, false);
  flags_.SendTimerRunning = false;
  sender_.Clear();
  port_.Close();
  view_.SetStatusPanel(PortPanel, "");
  view_.SetStatusPanel(BaudPanel, "");
  running_ = false;
  reconnecting_ = false;
}

void ReceiveSession::ShowPendingError() {
  if (auto e = acquisition_.TakeError(); e && pendingBox_.empty()) pendingBox_ = *e;
  if (pendingBox_.empty()) return;
  const std::string text = std::move(pendingBox_);
  pendingBox_.clear();
  view_.ShowError(text);
}

void ReceiveSession::WriteQueued() {
  sender_.Advance([this](std::uint8_t code) {
    if (code == CmdAdc) return;
    flags_.SendTicks = 0;
    flags_.SendTimerRunning = true;
    driver_.SetTimerEnabled(LinkTimer::SendTimer, true);
  });
}

void ReceiveSession::HandshakeStep() {
  if (sender_.HandshakeWaiting()) return;
  std::uint8_t code;
  if (!flags_.Linked) {
    code = CmdIdentify;
  } else if (!flags_.BoundsAcked) {
    code = CmdBounds;
  } else if (!flags_.GainSpeedAcked) {
    code = CmdGainSpeed;
  } else if (!flags_.CorrAcked) {
    code = CmdCorrection;
  } else {
    return;
  }
  if (sender_.Queue(code)) WriteQueued();
}

ReceiveSession::Next ReceiveSession::Iterate() {
  if (!running_) return Next::Nothing;
  if (!flags_.Receiving) {
    End();
    return Next::Nothing;
  }
  if (reconnecting_) return Next::Reconnect;
  if (port_.Lost()) {
    // The device went away: say so (even after a line error, which often
    // comes first), free the port, try again later, silently.
    view_.SetStatusPanel(InfoPanel, LinkTexts[3]);
    Log(LinkTexts[3]);
    flags_.LinkState = LinkStatus::PortError;
    sender_.Clear();
    port_.Close();
    view_.SetStatusPanel(PortPanel, "");
    view_.SetStatusPanel(BaudPanel, "");
    driver_.SetTimerEnabled(LinkTimer::WDTimer, false);
    reconnecting_ = true;
    return Next::Reconnect;
  }

  if (sender_.Waiting()) {
    WriteQueued();
    if (sender_.Waiting()) return Next::PollCts;  // no telegram is read meanwhile
  }
  const SerialPort::LineStatus status = port_.FetchLineStatus();
  pendingLineError_ = pendingLineError_ || status.Errors;
  if (!flags_.SendTimerRunning) {
    HandshakeStep();
    if (sender_.Waiting()) return Next::PollCts;
  }
  if (status.Waiting < TelegramSize) return Next::Nothing;

  flags_.SilenceTicks = 0;
  std::size_t waiting = status.Waiting;
  // Again at once while telegrams wait, or while a handshake command is due
  // (a Tm01 or Tm07 has just reset the flags).
  auto next = [&] {
    const bool due = !flags_.SendTimerRunning &&
                     !(flags_.Linked && flags_.BoundsAcked && flags_.GainSpeedAcked && flags_.CorrAcked);
    return (waiting >= TelegramSize || due) && flags_.Receiving ? Next::Again : Next::Nothing;
  };
  if (pendingLineError_) {
    pendingLineError_ = false;
    if (flags_.LinkState != LinkStatus::PortError) {
      view_.SetStatusPanel(InfoPanel, LinkTexts[3]);
      Log(LinkTexts[3]);
    }
    flags_.LinkState = LinkStatus::PortError;
    return next();
  }
  // Resynchronisation byte by byte: a byte other than 7F is dropped, 7F and
  // a byte other than AA are dropped together, and each attempt needs 10
  // waiting bytes. Dropped bytes cost no turn of the loop of their own (a
  // line read at the wrong baud rate is all garbage), up to a bound.
  std::uint8_t b[8] = {};
  for (std::size_t dropped = 0;;) {
    waiting -= port_.Read(b, 1);
    if (b[0] == SyncByte1) {
      waiting -= port_.Read(b, 1);
      if (b[0] == SyncByte2) break;
      ++dropped;
    }
    ++dropped;
    if (waiting < TelegramSize || dropped >= MaxDroppedPerIteration) return next();
  }
  waiting -= port_.Read(b, 8);
  Telegram t;
  t.Type = b[0];
  for (std::size_t i = 0; i < 6; ++i) t.D[i] = b[i + 1];
  if (TelegramChecksum(t) != b[7]) {
    if (flags_.LinkState != LinkStatus::ChecksumError) {
      Log(LinkTexts[1]);
      view_.SetStatusPanel(InfoPanel, LinkTexts[1]);
    }
    flags_.LinkState = LinkStatus::ChecksumError;
    return next();
  }
  if (flags_.LinkState == LinkStatus::ChecksumError || flags_.LinkState == LinkStatus::PortError) {
    flags_.LinkState = LinkStatus::Ok;
    view_.SetStatusPanel(InfoPanel, LinkTexts[0]);
  }
  if (tap_) tap_(t);
  Dispatch(t);
  ShowPendingError();
  return next();
}

void ReceiveSession::Dispatch(const Telegram& t) {
  const auto& d = t.D;
  switch (t.Type) {
    case 1:
      run_.ProgramNumber = d[0];
      run_.SerialNumber = d[1];
      view_.SetStatusPanel(SerialPanel, "S/N: " + N(d[1]));
      view_.SetStatusPanel(ProgramPanel, "PR: " + N(d[0]));
      Log("Tm01. PROGRAMMA=" + N(d[0]));
      Log("      SPnomer=" + N(d[1]));
      flags_.ResetHandshake();
      break;
    case 2: {
      const std::uint16_t x = t.Word(1);
      flags_.CurrentCode = x;
      if (flags_.LinkState != LinkStatus::Ok) view_.SetStatusPanel(InfoPanel, LinkTexts[0]);
      flags_.LinkState = LinkStatus::Ok;
      controls_.GainStatus(d[4]);
      controls_.SpeedStatus(d[5]);
      if (x <= MaxFieldCode) acquisition_.DataPoint(x, t.Word(3), controls_.PointsPerTelegram());
      break;
    }
    case 3:
      acquisition_.ForwardPassStart();
      Log("Tm03. POLEmax=" + N(t.Word(1)));
      Log("      POLEmin=" + N(t.Word(3)));
      Log("      POLE=" + N(t.Word(5)));
      break;
    case 4:
      controls_.GainStatus(d[4]);
      controls_.SpeedStatus(d[5]);
      Log("Tm04. Ukorr=" + N(t.Word(1)));
      Log("      dPOLE=" + N(d[2]));
      Log("      Nmax=" + N(d[3]));
      Log("      KodAmpl=" + N(d[4]));
      Log("      KodRapid=" + N(d[5]));
      break;
    case 7:
      flags_.ResetHandshake();
      break;
    case 11:
      flags_.BoundsAcked = true;
      Log("Tm11. POLEmaxP=" + N(t.Word(1)));
      Log("      POLEminP=" + N(t.Word(3)));
      break;
    case 14:
      flags_.CurrentCode = t.Word(5);
      acquisition_.ReturnPosition(t.Word(5));
      break;
    case 22:
      flags_.GainSpeedAcked = true;
      Log("Tm22. KodAmpl=" + N(d[0]));
      Log("      KodRapid=" + N(d[1]));
      break;
    case 33:
      flags_.CorrAcked = true;
      Log("Tm33. Ukorr=" + N(t.Word(1)));
      break;
    case 44:
      adc_.Reading(t.Word(1));
      break;
    case 50:
      flags_.Linked = true;
      break;
    case 77:
      flags_.CurrentCode = t.Word(1);
      Log("Tm77. Поле:" + N(t.Word(1)) + "  X=" + N(t.Word(3)));
      break;
    case 90:
      Log(LinkTexts[4]);
      Log("  (" + N(d[0]) + "<>" + N(d[1]) + ")");
      break;
    case 98:
      Log(LinkTexts[5]);
      break;
    case 99:
      Log(LinkTexts[6]);
      break;
    case 100:
      Log(std::string(LinkTexts[7]) + " (" + N(d[0]) + "<>" + N(d[1]) + ")");
      break;
    default:
      break;  // unknown types pass without a trace
  }
}

void ReceiveSession::WDTimerTimer() {
  if (!running_ || reconnecting_) return;
  ++flags_.SilenceTicks;
  if (flags_.SilenceTicks == 2) {
    flags_.LinkState = LinkStatus::NoSignal;
    view_.SetStatusPanel(InfoPanel, LinkTexts[2]);
    flags_.ResetHandshake();
    driver_.RequestIteration();
  }
}

void ReceiveSession::SendTimerTimer() {
  if (!flags_.SendTimerRunning) return;
  ++flags_.SendTicks;
  if (flags_.SendTicks >= 2) {
    flags_.SendTimerRunning = false;
    driver_.SetTimerEnabled(LinkTimer::SendTimer, false);
    driver_.RequestIteration();
  }
}

bool ReceiveSession::TryReconnect() {
  if (!running_) return false;
  if (!flags_.Receiving) {
    End();
    return false;
  }
  if (!reconnecting_) return true;
  if (!OpenPort(true)) return false;
  // Back as after the port dialog, but the log keeps what happened.
  reconnecting_ = false;
  driver_.SetTimerEnabled(LinkTimer::WDTimer, true);
  Begin(false);
  driver_.RequestIteration();
  return true;
}

}  // namespace qel
