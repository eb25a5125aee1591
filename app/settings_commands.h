#pragma once
// The window's two settings commands: "Единицы измерения..." (AOpenUnits)
// and "Автосохранение..." (AAutoSave), each opening its dialog and
// applying what was confirmed.

#include <QObject>
#include <QString>

#include <functional>
#include <string>

#include "model/settings.h"

class QWidget;

namespace qel {

// What the settings commands change in the main window.
class SettingsHost {
 public:
  virtual ~SettingsHost() = default;
  virtual void FullRepaint() = 0;
  virtual void ShowError(const QString& text) = 0;  // a warning box with a single OK button
  virtual void SetStatusPanel(int panel, const QString& text) = 0;
  // Every text in a unit written again by its own handler, with the value
  // its control holds: the sweep bounds and the correction (in receive mode
  // sent to the instrument again, as after any change of them), the view
  // bounds.
  virtual void FormatUnitTextsAgain() = 0;
};

class SettingsCommands : public QObject {
  Q_OBJECT
 public:
  // `save` writes the settings (and the recent files) to the store; the
  // dialogs open over `dialogParent`.
  SettingsCommands(SettingsHost& host, Settings& s, std::function<void()> save, std::string sep,
                   QWidget* dialogParent);

  // The units dialog; after OK: StoreUnits, the repaint, and the unit texts
  // formatted anew.
  void AOpenUnitsExecute();
  // The automatic-save dialog; after OK status panel 8 says whether it is on.
  void AAutoSaveExecute();
  // The archive-of-passes dialog, naming `seriesFile` (the series under way).
  void APassArchiveExecute(const std::string& seriesFile);

 private:
  SettingsHost& host_;
  Settings& s_;
  std::function<void()> save_;
  std::string sep_;
  QWidget* dialogParent_;
};

}  // namespace qel
