#include "settings_commands.h"

#include <QWidget>

#include "auto_save_setup_form.h"
#include "pass_archive_form.h"
#include "model/units.h"
#include "unit_setup_form.h"

namespace qel {

SettingsCommands::SettingsCommands(SettingsHost& host, Settings& s, std::function<void()> save, std::string sep,
                                   QWidget* dialogParent)
    : QObject(dialogParent),
      host_(host),
      s_(s),
      save_(std::move(save)),
      sep_(std::move(sep)),
      dialogParent_(dialogParent) {}

void SettingsCommands::AOpenUnitsExecute() {
  QString saveError;
  {
    TUnitSetupForm dlg(s_, sep_, save_, dialogParent_);
    if (dlg.exec() != QDialog::Accepted) return;
    saveError = dlg.SaveError();
  }
  StoreUnits(s_);
  host_.FullRepaint();
  host_.FormatUnitTextsAgain();
  if (!saveError.isEmpty()) host_.ShowError(saveError);
}

void SettingsCommands::AAutoSaveExecute() {
  TAutoSaveSetupFrm dlg(s_, dialogParent_);
  if (dlg.exec() != QDialog::Accepted) return;
  host_.SetStatusPanel(8, s_.AutoSave ? QString("АВТО") : QString());
}

void SettingsCommands::APassArchiveExecute(const std::string& seriesFile) {
  // Stored with the other settings when the program ends.
  TPassArchiveForm dlg(s_, seriesFile, dialogParent_);
  dlg.exec();
}

}  // namespace qel
