#pragma once
// The window's two settings commands: "Единицы измерения..." (AOpenUnits)
// and "Автосохранение..." (AAutoSave), each opening its dialog and
// applying what was confirmed.

#include <QObject>

#include <functional>
#include <string>

#include "model/settings.h"

namespace qel {

class TQelMainForm;

class SettingsCommands : public QObject {
  Q_OBJECT
 public:
  // `save` writes the settings (and the recent files) to the store.
  SettingsCommands(TQelMainForm& window, Settings& s, std::function<void()> save, std::string sep);

  // The units dialog; after OK: StoreUnits, the repaint, and the bound,
  // correction and view texts formatted anew through their handlers.
  void AOpenUnitsExecute();
  // The automatic-save dialog; after OK status panel 8 says whether it is on.
  void AAutoSaveExecute();

 private:
  TQelMainForm& window_;
  Settings& s_;
  std::function<void()> save_;
  std::string sep_;
};

}  // namespace qel
