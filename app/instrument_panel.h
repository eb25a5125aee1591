#pragma once
// The four groups of instrument controls along the bottom of the main
// window: correction voltage, gain, sweep speed and sweep bounds.

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QSpinBox>
#include <QToolBar>
#include <QWidget>

#include "model/settings.h"

class QAction;
class QGridLayout;

namespace qel {

class InstrumentControl;

class InstrumentPanel : public QWidget {
  Q_OBJECT
 public:
  struct Actions {
    QAction* Stop;
    QAction* Start;
    QAction* ResetDiap;
    QWidget* SetRazvBtn;  // the view window's button bound to "Определить  мышью"
  };
  InstrumentPanel(Settings& s, const Actions& actions, QWidget* parent = nullptr);

  // When the main window is created: the bounds from the settings (the
  // lists are filled at construction; the link selects their entries).
  void ShowBounds();
  // The operator's changes go to the link's controls; values the program
  // sets (below) run no handler.
  void Connect(InstrumentControl& controls);
  // Set by the program: no handler runs.
  void SelectGain(int index);
  void SelectSpeed(int index);
  void SetCorrection(int editValue, int barPosition, const QString& text);
  // The correction numbers vanish (drawn in the background colour) while
  // the instrument's own panel rules the correction.
  void SetCorrectionHidden(bool hidden);

  QGroupBox* CorrPanel;
  QGroupBox* AmpPanel;
  QGroupBox* SpeedPanel;
  QGroupBox* RazvPanel;
  QLabel* CorrLbl;
  QLabel* AmpLbl;
  QLabel* SpeedLbl;
  QLabel* Label1;
  QLabel* Label2;
  QComboBox* AmpBox;
  QComboBox* SpeedBox;
  QWidget* UpDnAmp;
  QWidget* UpDnRazv;
  QSpinBox* BotField;
  QSpinBox* TopField;
  QLineEdit* BotFieldExt;
  QLineEdit* TopFieldExt;
  QSpinBox* CorrEdit;
  QLineEdit* CorrEditExt;
  QSlider* CorrBar;
  QToolBar* SpeedBar;
  QToolBar* RazvBar;

 signals:
  void AmpUp();
  void AmpDown();
  void SpeedUp();
  void SpeedDown();

 public:
  // One row or two, as the panel's width allows (also after a group is
  // shown or hidden).
  void FitToWidth();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  // The four groups in one row, or, where the window is too narrow for
  // them (its smallest width, in the desktop's font), the sweep bounds in a
  // row of their own below the other three: no caption or number is cut.
  void Arrange(bool twoRows);
  QWidget* UpDown(const char* name, Qt::Orientation o, void (InstrumentPanel::*up)(), void (InstrumentPanel::*down)());

  Settings& s_;
  QGridLayout* grid_ = nullptr;
  bool twoRows_ = false;
};

}  // namespace qel
