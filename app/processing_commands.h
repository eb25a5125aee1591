#pragma once
// The processing commands of the window: smoothing and filtering with their
// dialogs, levelling, integral, minimum and maximum between the cursors, and
// the one-step undo.

#include <QDialog>
#include <QObject>
#include <QString>

#include "model/settings.h"
#include "model/spectrum.h"
#include "spin_edit.h"

namespace qel {

class ProcessingHost {
 public:
  virtual ~ProcessingHost() = default;
  virtual void FullRepaint() = 0;
  virtual void SetBackUpEnabled(bool enabled) = 0;
  virtual void ShowError(const QString& text) = 0;  // a warning box with a single OK button
};

// The two constant dialogs share one layout: a spin edit `ConstEdit`
// (2..2000) in a group box, `CancelBtn` and `OkBtn`.
class ConstSetupForm : public QDialog {
  Q_OBJECT
 public:
  ConstSetupForm(const char* objectName, const QString& caption, const QString& groupCaption,
                 std::int32_t& constant, QWidget* parent);

 private:
  std::int32_t& constant_;
  SpinEdit* constEdit_;
};

class TGlissSetupForm : public ConstSetupForm {
 public:
  TGlissSetupForm(Settings& s, QWidget* parent);
};

class TLowPassSetupForm : public ConstSetupForm {
 public:
  TLowPassSetupForm(Settings& s, QWidget* parent);
};

class ProcessingCommands : public QObject {
  Q_OBJECT
 public:
  ProcessingCommands(Settings& s, SpectrumStore& store, RunValues& run, ProcessingHost& host, QWidget* dialogParent);

  void AGlissExecute();
  void AGlissSetupExecute();
  void AFilterExecute();
  void AFilterSetupExecute();
  void AEqualizeExecute();
  void AIntegrExecute();
  void AMinMaxExecute();
  void ABackUpExecute();

 private:
  // Both cursors must be on; otherwise the operator is told and nothing happens.
  bool BothCursors(const char* message);
  std::uint16_t A() const { return s_.VisKoord1; }
  std::uint16_t B() const { return s_.VisKoord2; }
  void Done(bool undoable);

  Settings& s_;
  SpectrumStore& store_;
  RunValues& run_;
  ProcessingHost& host_;
  QWidget* dialogParent_;
};

}  // namespace qel
