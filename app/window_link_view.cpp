#include "window_link_view.h"

#include <QPalette>
#include <QToolBar>

#include <utility>

#include "adc_form.h"
#include "action_table.h"
#include "display/view_window.h"
#include "error_boxes.h"
#include "instrument_panel.h"
#include "message_form.h"

namespace qel {

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

void WindowLinkView::SetStatusPanel(int panel, const std::string& text) { p_.SetStatusPanel(panel, Q(text)); }

void WindowLinkView::AppendLog(const std::string& line) { p_.MessageForm->AppendLine(Q(line)); }

void WindowLinkView::ClearLog() { p_.MessageForm->ClearLines(); }

void WindowLinkView::ShowError(const std::string& text) { p_.Errors->Show(Q(text)); }

void WindowLinkView::SetGroupEnabled(ControlGroup group, bool enabled) {
  InstrumentPanel& i = *p_.Instruments;
  switch (group) {
    case ControlGroup::Amp: i.AmpPanel->setEnabled(enabled); break;
    case ControlGroup::Speed: i.SpeedPanel->setEnabled(enabled); break;
    case ControlGroup::Razv: i.RazvPanel->setEnabled(enabled); break;
    case ControlGroup::Corr:
      i.CorrPanel->setEnabled(enabled);
      i.CorrBar->setEnabled(enabled);
      break;
  }
}

void WindowLinkView::SetSourceLabel(ControlGroup group, const std::string& text) {
  InstrumentPanel& i = *p_.Instruments;
  QLabel* l = group == ControlGroup::Amp ? i.AmpLbl : group == ControlGroup::Speed ? i.SpeedLbl : i.CorrLbl;
  l->setText(Q(text));
}

void WindowLinkView::SetBoundLabelsEnabled(bool enabled) {
  InstrumentPanel& i = *p_.Instruments;
  for (QLabel* l : {i.CorrLbl, i.AmpLbl, i.SpeedLbl, i.Label1, i.Label2}) l->setEnabled(enabled);
}

void WindowLinkView::SelectGain(int index) { p_.Instruments->SelectGain(index); }

void WindowLinkView::SelectSpeed(int index) { p_.Instruments->SelectSpeed(index); }

void WindowLinkView::SetBoundText(bool upper, const std::string& text) {
  (upper ? p_.Instruments->TopFieldExt : p_.Instruments->BotFieldExt)->setText(Q(text));
}

void WindowLinkView::SetViewBound(bool upper, int code) { p_.View->SetViewBound(upper, code); }

void WindowLinkView::SetCorrection(int editValue, int barPosition, const std::string& text) {
  p_.Instruments->SetCorrection(editValue, barPosition, Q(text));
}

void WindowLinkView::SetCorrectionHidden(bool hidden) { p_.Instruments->SetCorrectionHidden(hidden); }

QAction* WindowLinkView::ActionOf(LinkAction a) const {
  const char* name = "";
  switch (a) {
    case LinkAction::Stop: name = "AStop"; break;
    case LinkAction::Start: name = "AStart"; break;
    case LinkAction::SaveFileAs: name = "ASaveFileAs"; break;
    case LinkAction::Analyse: name = "AAnalyse"; break;
    case LinkAction::Receive: name = "AReceive"; break;
    case LinkAction::ResetDiap: name = "AResetDiap"; break;
    case LinkAction::SwLPF: name = "ASwLPF"; break;
    case LinkAction::SWSum: name = "ASWSum"; break;
  }
  return p_.Actions->value(name);
}

void WindowLinkView::SetActionEnabled(LinkAction action, bool enabled) { ActionOf(action)->setEnabled(enabled); }

void WindowLinkView::SetActionChecked(LinkAction action, bool checked) { ActionOf(action)->setChecked(checked); }

void WindowLinkView::SetToggleImages(int lpfImage, int sumImage) {
  // The blink timer asks every 360 ms, mostly for the images already shown,
  // also while the window is idle: nothing is looked up for those.
  if (lpfImage == shownImages_[0] && sumImage == shownImages_[1]) return;
  shownImages_[0] = lpfImage;
  shownImages_[1] = sumImage;
  // A toggle's first change gives its action an icon that can be switched;
  // later ones switch it and repaint only the buttons and open menus that
  // show it: a new icon each time would lay out the tool bar again.
  int k = 0;
  for (auto [action, image] : {std::pair{LinkAction::SwLPF, lpfImage}, std::pair{LinkAction::SWSum, sumImage}}) {
    std::optional<SwitchedImage>& shown = toggleImages_[k++];
    QAction* a = ActionOf(action);
    if (a->property("ImageIndex").toInt() == image) continue;
    a->setProperty("ImageIndex", image);
    if (!shown) {
      shown.emplace(image);
      a->setIcon(shown->Icon());
      continue;
    }
    shown->Show(image);
    // The tool bar's button holds the action itself; the bar is left alone.
    for (QObject* o : a->associatedObjects()) {
      auto* w = qobject_cast<QWidget*>(o);
      if (w && w->isVisible() && !qobject_cast<QToolBar*>(w)) w->update();
    }
  }
}

void WindowLinkView::PlotPoint(std::uint16_t code) { p_.View->Plot().PlotPoint(code, p_.Settings->DisplayColors.Graph); }

void WindowLinkView::ShowSweepMark(std::uint16_t code) { p_.View->Plot().ShowSweepMark(code); }

void WindowLinkView::PlotPixel(std::uint16_t code, int value) {
  p_.View->Plot().PlotPixel(code, value, p_.Settings->DisplayColors.ADC2);
}

void WindowLinkView::FullRepaint() { p_.View->Plot().ScreenBoxPaint(); }

void WindowLinkView::SetVisirText(int visir, const std::string& text) { p_.View->SetVisirText(visir, Q(text)); }

void WindowLinkView::SetAdcText(const std::string& text) { p_.AdcForm->ADCRes().setText(Q(text)); }

void WindowLinkView::SetAdcWindowVisible(bool visible) { p_.AdcForm->setVisible(visible); }

}  // namespace qel
