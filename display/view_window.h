#pragma once
// The view window over the plot: view bounds, vertical scale, mouse
// selection of a new view or new sweep bounds, the two cursors ("визиры")
// with their read-outs, and the read-out of the point under the mouse.

#include <QAction>
#include <QFrame>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QSpinBox>
#include <QToolButton>
#include <QWidget>

#include <string>

#include "screen_box.h"

namespace qel {

class ViewWindow : public QWidget {
  Q_OBJECT
 public:
  ViewWindow(Settings& s, const SpectrumStore& store, const RunValues& run, std::string sep,
             QWidget* parent = nullptr);

  ScreenBox& Plot() { return *screenBox_; }

  // When the main window is shown: the spin edits from the settings, then
  // both change handlers.
  void ShowSettings();
  // The sweep bounds move the view with them (receive mode).
  void SetViewBound(bool upper, int code);
  // The receive loop rewrites a cursor's amplitude read-out.
  void SetVisirText(int visir, const QString& text);

  // Handlers, also called by tests with exact coordinates.
  void MinViewChange(int value);
  void MaxViewChange(int value);
  // Both view-bound handlers again, with the values their controls hold (the
  // texts in a unit changed).
  void FormatViewBoundsAgain() {
    MinViewChange(minView_->value());
    MaxViewChange(maxView_->value());
  }
  void AAllViewExecute();
  void AIncScaleExecute();
  void ADecScaleExecute();
  void AResetDiapExecute();
  void AVisir1Execute();
  void AVisir2Execute();
  void AStandVisirExecute();
  void PlaceVisir1(std::uint16_t code);
  void PlaceVisir2(std::uint16_t code);
  void ScreenBoxMouseDown(int x);
  void ScreenBoxMouseMove(int x);
  void ScreenBoxMouseUp(int x);

  int MouseMode() const { return mouseMode_; }
  int VisX(int visir) const { return visir == 1 ? visX1_ : visX2_; }
  int VisShownX(int visir) const { return visir == 1 ? visShownX1_ : visShownX2_; }
  long SelStart() const { return selStart_; }
  long SelEnd() const { return selEnd_; }

 signals:
  // Text for a status bar panel: 3 and 4 the mouse read-outs, 7 the cursor distance.
  void StatusText(int panel, const QString& text);
  // New sweep bounds chosen with the mouse or by "Расширить диапазон перестройки".
  void SweepBoundsRequested(int lower, int upper);
  // Any change of the view or the vertical scale.
  void ViewChanged();

 private:
  struct Visir {
    int index;
    bool* on;
    std::uint16_t* koord;
    std::int32_t ColorSet::*color;
    QAction* action;
    QFrame* panel;
    QLineEdit* krd;
    QLineEdit* ord;
    QSpinBox* stepper;
    std::uint16_t code = 0;
    int x = -1;
    int shownX = -1;
  };
  void BuildControls();
  void PlaceVisir(Visir& v, std::uint16_t code);
  void ToggleVisir(Visir& v);
  void ShowDeltaH();
  // The press or the mouse at x is within 3 pixels of the cursor's drawn line.
  bool NearLine(const Visir& v, int x) const;
  void SyncCursorXs();
  void UpdatePlotCursor();
  long CodeAtX(int x) const;
  QString Amplitude(std::int32_t a) const;

  Settings& s_;
  const SpectrumStore& store_;
  const RunValues& run_;
  std::string sep_;
  ScreenBox* screenBox_;
  QSpinBox* minView_;
  QSpinBox* maxView_;
  QLineEdit* minViewExt_;
  QLineEdit* maxViewExt_;
  QToolButton* scaleBtn_;
  QToolButton* setRazvBtn_;
  QToolButton* allBtn_;
  QWidget* ordScaleBtn_;
  QMenu* screenMenu_;
  QAction* aAllView_;
  QAction* aIncScale_;
  QAction* aDecScale_;
  QAction* aResetDiap_;
  QAction* aMouseSelect_;
  QAction* aVisir1_;
  QAction* aVisir2_;
  QAction* aStandVisir_;
  QAction* aRepaint_;
  Visir v1_{}, v2_{};
  int& visX1_ = v1_.x;
  int& visX2_ = v2_.x;
  int& visShownX1_ = v1_.shownX;
  int& visShownX2_ = v2_.shownX;
  int mouseMode_ = 0;
  long selStart_ = 0, selEnd_ = 0;
  int lastMouseX_ = 0;
  long mouseCode_ = 0;
};

}  // namespace qel
