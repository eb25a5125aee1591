#include "instrument_control.h"

#include <algorithm>

#include "model/tables.h"
#include "model/units.h"

namespace qel {

InstrumentControl::InstrumentControl(Settings& s, LinkFlags& flags, LinkView& view, LinkDriver& driver,
                                     std::string sep)
    : s_(s), flags_(flags), view_(view), driver_(driver), sep_(std::move(sep)) {}

void InstrumentControl::Initialise() {
  gainIndex_ = UsedAmplifying(s_);
  speedIndex_ = UsedRapid(s_);
  savedSpeed_ = s_.Rapid;
  corrEdit_ = std::clamp(s_.Correction, -32767, 32767);
  view_.SelectGain(gainIndex_);
  view_.SelectSpeed(speedIndex_);
  view_.SetActionEnabled(LinkAction::Stop, speedIndex_ != StopSpeedIndex);
  view_.SetActionEnabled(LinkAction::Start, speedIndex_ == StopSpeedIndex);
  view_.SetCorrection(corrEdit_, 32767 - corrEdit_, FormatCorrection(s_, corrEdit_, sep_));
  view_.SetBoundText(false, FormatField(s_, static_cast<std::uint16_t>(s_.PoleMin), sep_));
  view_.SetBoundText(true, FormatField(s_, static_cast<std::uint16_t>(s_.PoleMax), sep_));
  for (ControlGroup g : {ControlGroup::Amp, ControlGroup::Speed, ControlGroup::Razv, ControlGroup::Corr})
    SetGroupEnabled(g, false);
}

void InstrumentControl::SetGroupEnabled(ControlGroup g, bool enabled) {
  enabled_[static_cast<int>(g)] = enabled;
  view_.SetGroupEnabled(g, enabled);
}

void InstrumentControl::Rearm(bool& flag) {
  flag = false;
  driver_.RequestIteration();
}

void InstrumentControl::SelectGain(int index) {
  gainIndex_ = index;
  view_.SelectGain(index);
}

void InstrumentControl::SelectSpeed(int index) {
  speedIndex_ = index;
  view_.SelectSpeed(index);
}

void InstrumentControl::UpDnAmpDownClick() {
  if (gainIndex_ > 0) SelectGain(gainIndex_ - 1);
  AmpBoxChange(gainIndex_);
}

void InstrumentControl::UpDnAmpUpClick() {
  if (gainIndex_ < 7) SelectGain(gainIndex_ + 1);
  AmpBoxChange(gainIndex_);
}

void InstrumentControl::AmpBoxChange(int selected) {
  SelectGain(std::clamp(selected, 0, 7));
  if (gainIndex_ != s_.Amplifying) {
    s_.Amplifying = static_cast<std::uint8_t>(gainIndex_);
    view_.FullRepaint();  // amplitude texts depend on the gain
  }
  Rearm(flags_.GainSpeedAcked);
}

void InstrumentControl::UpDnRazvUpClick() {
  if (speedIndex_ < 11) SelectSpeed(speedIndex_ + 1);
  SpeedBoxChange(speedIndex_);
}

void InstrumentControl::UpDnRazvDownClick() {
  if (speedIndex_ > 0) SelectSpeed(speedIndex_ - 1);
  SpeedBoxChange(speedIndex_);
}

void InstrumentControl::SpeedBoxChange(int selected) {
  SelectSpeed(std::clamp(selected, 0, 11));
  s_.Rapid = static_cast<std::uint8_t>(speedIndex_);
  const bool stopped = speedIndex_ == StopSpeedIndex;
  view_.SetActionEnabled(LinkAction::Stop, !stopped);
  view_.SetActionEnabled(LinkAction::Start, stopped);
  if (GroupEnabled(ControlGroup::Speed)) Rearm(flags_.GainSpeedAcked);
}

void InstrumentControl::AStopExecute() {
  savedSpeed_ = speedIndex_;
  SelectSpeed(StopSpeedIndex);
  SpeedBoxChange(speedIndex_);
}

void InstrumentControl::AStartExecute() {
  SelectSpeed(ClampSpeedIndex(savedSpeed_));
  SpeedBoxChange(speedIndex_);
}

void InstrumentControl::BoundChange(bool upper, int value) {
  std::int32_t& bound = upper ? s_.PoleMax : s_.PoleMin;
  if (GroupEnabled(ControlGroup::Razv)) {
    bound = value;
    view_.SetViewBound(upper, value);  // the view follows the sweep
    Rearm(flags_.BoundsAcked);
  }
  view_.SetBoundText(upper, FormatField(s_, static_cast<std::uint16_t>(bound), sep_));
}

void InstrumentControl::SetBoundsAndResend(int lower, int upper) {
  BotFieldChange(lower);
  TopFieldChange(upper);
  Rearm(flags_.BoundsAcked);
}

void InstrumentControl::BotFieldChange(int value) { BoundChange(false, value); }
void InstrumentControl::TopFieldChange(int value) { BoundChange(true, value); }

void InstrumentControl::CorrEditChange(int value) {
  corrEdit_ = std::clamp(value, -32767, 32767);
  view_.SetCorrection(corrEdit_, 32767 - corrEdit_, FormatCorrection(s_, corrEdit_, sep_));
  if (GroupEnabled(ControlGroup::Corr)) {
    s_.Correction = corrEdit_;
    Rearm(flags_.CorrAcked);
  }
}

void InstrumentControl::CorrBarChange(int position) {
  const int p = 32767 - std::clamp(position, 0, 65535);
  if (corrEdit_ != p) SetCorrEdit(p);
}

void InstrumentControl::SetCorrEdit(int value) {
  // The spin edit clamps to its range and runs its handler only when the
  // value it shows changes.
  const int v = std::clamp(value, -32767, 32767);
  if (v != corrEdit_) CorrEditChange(v);
}

void InstrumentControl::GainStatus(std::uint8_t s) {
  if (s == lastGainStatus_) return;
  const bool manualGain = s & 0x80;
  view_.SetSourceLabel(ControlGroup::Amp, manualGain ? ManualControlText : ProgramControlText);
  SetGroupEnabled(ControlGroup::Amp, !manualGain);
  const bool manualCorr = s & 0x40;
  view_.SetSourceLabel(ControlGroup::Corr, manualCorr ? ManualControlText : ProgramControlText);
  SetGroupEnabled(ControlGroup::Corr, !manualCorr);
  if (!manualCorr) SetCorrEdit(s_.Correction);
  view_.SetCorrectionHidden(manualCorr);
  if (manualGain) {
    const int entry = FindGainByCode(s & 0x0F);
    if (entry >= 0) SelectGain(entry);
    AmpBoxChange(gainIndex_);
  }
  lastGainStatus_ = s;
}

void InstrumentControl::SpeedStatus(std::uint8_t s) {
  if (s == lastSpeedStatus_) return;
  const bool manual = s & 0x80;
  view_.SetSourceLabel(ControlGroup::Speed, manual ? ManualControlText : ProgramControlText);
  SetGroupEnabled(ControlGroup::Speed, !manual);
  const int entry = FindSpeedByCode(s & 0x0F);
  if (entry >= 0) SelectSpeed(entry);
  SpeedBoxChange(speedIndex_);
  // One telegram covers the codes of the reported speed's own step.
  if (entry >= 0) pointsPerTelegram_ = SpeedTable[static_cast<std::size_t>(entry)].Step;
  lastSpeedStatus_ = s;
}

}  // namespace qel
