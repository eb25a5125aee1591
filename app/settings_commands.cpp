#include "settings_commands.h"

#include <QSpinBox>

#include "auto_save_setup_form.h"
#include "display/view_window.h"
#include "instrument_panel.h"
#include "link/link.h"
#include "main_window.h"
#include "model/units.h"
#include "unit_setup_form.h"

namespace qel {

SettingsCommands::SettingsCommands(TQelMainForm& window, Settings& s, std::function<void()> save, std::string sep)
    : QObject(&window), window_(window), s_(s), save_(std::move(save)), sep_(std::move(sep)) {}

void SettingsCommands::AOpenUnitsExecute() {
  QString saveError;
  {
    TUnitSetupForm dlg(s_, sep_, save_, &window_);
    if (dlg.exec() != QDialog::Accepted) return;
    saveError = dlg.SaveError();
  }
  StoreUnits(s_);
  window_.FullRepaint();
  // Every text in a unit is written again by its own handler, with the
  // value its control holds (in receive mode the bounds and the correction
  // are sent to the instrument again, as after any change of them).
  InstrumentPanel& panel = window_.Instruments();
  InstrumentControl& controls = window_.InstrumentLink().Controls;
  controls.BotFieldChange(panel.BotField->value());
  controls.TopFieldChange(panel.TopField->value());
  controls.CorrEditChange(panel.CorrEdit->value());
  ViewWindow& view = window_.View();
  view.MinViewChange(window_.findChild<QSpinBox*>("MinView")->value());
  view.MaxViewChange(window_.findChild<QSpinBox*>("MaxView")->value());
  if (!saveError.isEmpty()) window_.ShowError(saveError);
}

void SettingsCommands::AAutoSaveExecute() {
  TAutoSaveSetupFrm dlg(s_, &window_);
  if (dlg.exec() != QDialog::Accepted) return;
  window_.SetStatusPanel(8, s_.AutoSave ? QString("АВТО") : QString());
}

}  // namespace qel
