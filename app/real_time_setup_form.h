#pragma once
// "Обработка  при приеме спектров": the real-time filter and the
// accumulation of spectra while receiving.

#include <QCheckBox>
#include <QDialog>
#include <QPlainTextEdit>

#include "model/settings.h"
#include "spin_edit.h"

namespace qel {

class TRealTimeSetupForm : public QDialog {
  Q_OBJECT
 public:
  TRealTimeSetupForm(Settings& s, QWidget* parent = nullptr);

  // Either check box clicked.
  void EnLPFClick();
  // The memo that the mouse is over shows; the others hide.
  void ShowHelp(int memo);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormShow();
  void OkBtnClick();

  Settings& s_;
  QCheckBox* enLPF_;
  SpinEdit* lpfConst_;
  QCheckBox* enSum_;
  SpinEdit* sumConst_;
  QCheckBox* showFirstBox_;
  QWidget* hoverAreas_[3];
  QPlainTextEdit* memos_[3];
};

}  // namespace qel
