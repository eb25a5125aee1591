#pragma once
// The operator's instrument controls (gain, speed with stop and start, sweep
// bounds, correction voltage) and the instrument's status reports applied to
// them. Handlers only store values and re-arm handshake flags; the receive
// loop sends the commands.

#include <cstdint>
#include <string>

#include "link_state.h"
#include "link_view.h"
#include "model/settings.h"

namespace qel {

inline constexpr const char* ProgramControlText = "ПЭВМ";
inline constexpr const char* ManualControlText = "РУЧН. УПР.";

class InstrumentControl {
 public:
  InstrumentControl(Settings& s, LinkFlags& flags, LinkView& view, LinkDriver& driver, std::string sep);

  // The controls as the main window sets them up from the settings.
  void Initialise();

  // Operator handlers.
  void UpDnAmpDownClick();
  void UpDnAmpUpClick();
  void AmpBoxChange(int selected);
  void UpDnRazvUpClick();
  void UpDnRazvDownClick();
  void SpeedBoxChange(int selected);
  void AStopExecute();
  void AStartExecute();
  void BotFieldChange(int value);
  void TopFieldChange(int value);
  void CorrEditChange(int value);
  void CorrBarChange(int position);
  // New sweep bounds chosen with the mouse or by "Расширить диапазон
  // перестройки", after the window has set the bound controls: both bound
  // handlers, then the bounds sent again whether they changed or not.
  void SetBoundsAndResend(int lower, int upper);

  // Status bytes of Tm02 and Tm04.
  void GainStatus(std::uint8_t s);
  void SpeedStatus(std::uint8_t s);

  // The receive loop starts: the next status bytes are applied whatever they are.
  void ResetStatus() { lastGainStatus_ = lastSpeedStatus_ = -1; }
  // Group enabling by the mode switch.
  void SetGroupEnabled(ControlGroup g, bool enabled);
  bool GroupEnabled(ControlGroup g) const { return enabled_[static_cast<int>(g)]; }

  int SelectedGain() const { return gainIndex_; }
  int SelectedSpeed() const { return speedIndex_; }
  int SavedSpeed() const { return savedSpeed_; }
  int CorrEditValue() const { return corrEdit_; }
  std::uint8_t PointsPerTelegram() const { return pointsPerTelegram_; }
  int LastGainStatus() const { return lastGainStatus_; }
  int LastSpeedStatus() const { return lastSpeedStatus_; }

 private:
  void SelectGain(int index);
  void SelectSpeed(int index);
  void SetCorrEdit(int value);
  void BoundChange(bool upper, int value);
  void Rearm(bool& flag);

  Settings& s_;
  LinkFlags& flags_;
  LinkView& view_;
  LinkDriver& driver_;
  std::string sep_;
  bool enabled_[4] = {false, false, false, false};
  int gainIndex_ = 0;
  int speedIndex_ = 0;
  int savedSpeed_ = 0;
  int corrEdit_ = 0;
  int lastGainStatus_ = -1;
  int lastSpeedStatus_ = -1;
  std::uint8_t pointsPerTelegram_ = 1;
};

}  // namespace qel
