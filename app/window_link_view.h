#pragma once
// What the instrument link shows in the main window: status panels, the
// message log, error boxes, the instrument groups, actions, the plot and
// the ADC window.

#include <QAction>
#include <QHash>
#include <QString>

#include <functional>
#include <optional>

#include "action_table.h"
#include "link/link_view.h"
#include "model/settings.h"

namespace qel {

class ViewWindow;
class InstrumentPanel;
class TQelMessageForm;
class TADCForm;
class ErrorBoxes;

class WindowLinkView : public LinkView {
 public:
  struct Parts {
    std::function<void(int, const QString&)> SetStatusPanel;
    TQelMessageForm* MessageForm;
    ErrorBoxes* Errors;
    InstrumentPanel* Instruments;
    const QHash<QString, QAction*>* Actions;
    ViewWindow* View;
    TADCForm* AdcForm;
    const qel::Settings* Settings;
    std::function<void()> PassEnded;  // may be empty
  };
  explicit WindowLinkView(Parts parts) : p_(std::move(parts)) {}

  void SetStatusPanel(int panel, const std::string& text) override;
  void AppendLog(const std::string& line) override;
  void ClearLog() override;
  void ShowError(const std::string& text) override;
  void SetGroupEnabled(ControlGroup group, bool enabled) override;
  void SetSourceLabel(ControlGroup group, const std::string& text) override;
  void SetBoundLabelsEnabled(bool enabled) override;
  void SelectGain(int index) override;
  void SelectSpeed(int index) override;
  void SetBoundText(bool upper, const std::string& text) override;
  void SetViewBound(bool upper, int code) override;
  void SetCorrection(int editValue, int barPosition, const std::string& text) override;
  void SetCorrectionHidden(bool hidden) override;
  void SetActionEnabled(LinkAction action, bool enabled) override;
  void SetActionChecked(LinkAction action, bool checked) override;
  void SetToggleImages(int lpfImage, int sumImage) override;
  void PlotPoint(std::uint16_t code) override;
  void ShowSweepMark(std::uint16_t code) override;
  void PlotPixel(std::uint16_t code, int value) override;
  void FullRepaint() override;
  void SetVisirText(int visir, const std::string& text) override;
  void SetAdcText(const std::string& text) override;
  void SetAdcWindowVisible(bool visible) override;
  void PassEnded() override {
    if (p_.PassEnded) p_.PassEnded();
  }

 private:
  QAction* ActionOf(LinkAction a) const;
  Parts p_;
  std::optional<SwitchedImage> toggleImages_[2];  // real-time filter, accumulation
  int shownImages_[2] = {-1, -1};                 // the images they were last given
};

}  // namespace qel
