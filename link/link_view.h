#pragma once
// What the link shows and switches in the main window. The window implements
// these calls; tests record them.

#include <cstdint>
#include <string>

namespace qel {

// The groups of instrument controls at the bottom of the main window.
enum class ControlGroup { Amp, Speed, Razv, Corr };

// Actions the link enables, disables or checks.
enum class LinkAction { Stop, Start, SaveFileAs, Analyse, Receive, ResetDiap, SwLPF, SWSum };

class LinkView {
 public:
  virtual ~LinkView() = default;

  // Status bar panel 0..11 of QelStatusBar.
  virtual void SetStatusPanel(int panel, const std::string& text) = 0;
  // The message log.
  virtual void AppendLog(const std::string& line) = 0;
  virtual void ClearLog() = 0;
  // A message box for the operator. The core calls it after a telegram's
  // handling is complete, at most once per iteration. The window must not
  // block here: it shows the box once control is back in its event loop,
  // one box at a time (a message arriving while one is shown is already in
  // the message log).
  virtual void ShowError(const std::string& text) = 0;

  // Instrument controls.
  virtual void SetGroupEnabled(ControlGroup group, bool enabled) = 0;
  virtual void SetSourceLabel(ControlGroup group, const std::string& text) = 0;  // AmpLbl, SpeedLbl, CorrLbl
  virtual void SetBoundLabelsEnabled(bool enabled) = 0;  // CorrLbl, AmpLbl, SpeedLbl, Label1, Label2
  virtual void SelectGain(int index) = 0;                // AmpBox
  virtual void SelectSpeed(int index) = 0;               // SpeedBox
  virtual void SetBoundText(bool upper, const std::string& text) = 0;  // BotFieldExt, TopFieldExt
  virtual void SetViewBound(bool upper, int code) = 0;                 // MinView, MaxView
  // CorrEdit, CorrBar and CorrEditExt.
  virtual void SetCorrection(int editValue, int barPosition, const std::string& text) = 0;
  // The correction numbers drawn in the background colour while the
  // instrument's panel rules them.
  virtual void SetCorrectionHidden(bool hidden) = 0;
  virtual void SetActionEnabled(LinkAction action, bool enabled) = 0;
  virtual void SetActionChecked(LinkAction action, bool checked) = 0;
  virtual void SetToggleImages(int lpfImage, int sumImage) = 0;

  // The plot.
  virtual void PlotPoint(std::uint16_t code) = 0;  // in the Graph colour
  virtual void ShowSweepMark(std::uint16_t code) = 0;
  virtual void PlotPixel(std::uint16_t code, int value) = 0;  // in the ADC2 colour
  virtual void FullRepaint() = 0;
  virtual void SetVisirText(int visir, const std::string& text) = 0;  // VisOrd1, VisOrd2

  // The ADC monitor window.
  virtual void SetAdcText(const std::string& text) = 0;  // ADCRes
  virtual void SetAdcWindowVisible(bool visible) = 0;
  // A forward pass is over: the next one starts (Tm03). Called before the
  // finished pass is saved and cleared, so that a view may take a copy; it
  // must return quickly. Views that keep no such copy ignore it.
  virtual void PassEnded() {}
};

// A view that shows nothing; a headless user overrides what it wants.
class NullLinkView : public LinkView {
 public:
  void SetStatusPanel(int, const std::string&) override {}
  void AppendLog(const std::string&) override {}
  void ClearLog() override {}
  void ShowError(const std::string&) override {}
  void SetGroupEnabled(ControlGroup, bool) override {}
  void SetSourceLabel(ControlGroup, const std::string&) override {}
  void SetBoundLabelsEnabled(bool) override {}
  void SelectGain(int) override {}
  void SelectSpeed(int) override {}
  void SetBoundText(bool, const std::string&) override {}
  void SetViewBound(bool, int) override {}
  void SetCorrection(int, int, const std::string&) override {}
  void SetCorrectionHidden(bool) override {}
  void SetActionEnabled(LinkAction, bool) override {}
  void SetActionChecked(LinkAction, bool) override {}
  void SetToggleImages(int, int) override {}
  void PlotPoint(std::uint16_t) override {}
  void ShowSweepMark(std::uint16_t) override {}
  void PlotPixel(std::uint16_t, int) override {}
  void FullRepaint() override {}
  void SetVisirText(int, const std::string&) override {}
  void SetAdcText(const std::string&) override {}
  void SetAdcWindowVisible(bool) override {}
};

enum class LinkTimer { QelTimer, WDTimer, SendTimer, ADCTimer, LPFTimer };

// The driver's side: timers and the scheduling of loop iterations.
class LinkDriver {
 public:
  virtual ~LinkDriver() = default;
  virtual void SetTimerEnabled(LinkTimer timer, bool enabled) = 0;
  virtual void SetTimerInterval(LinkTimer timer, int milliseconds) = 0;
  // Something changed that the next iteration must act on (a handshake flag
  // re-armed, a request queued): run an iteration soon, from the event loop.
  virtual void RequestIteration() = 0;
};

}  // namespace qel
