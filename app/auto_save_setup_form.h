#pragma once
// "Настройка автоматическго сохранения спектров": whether every n-th
// received spectrum is saved, under which names and in which folder.

#include <QCheckBox>
#include <QDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QTreeView>

#include <string>

#include "model/settings.h"
#include "spin_edit.h"

namespace qel {

class TAutoSaveSetupFrm : public QDialog {
  Q_OBJECT
 public:
  TAutoSaveSetupFrm(Settings& s, QWidget* parent = nullptr);

  void NameMaskChange();
  void DirViewChange(const QModelIndex& current);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormShow();
  void RefreshInfo();
  void OKBtnClick();

  Settings& s_;
  QCheckBox* onBox_;
  SpinEdit* saveStep_;
  QLineEdit* nameMask_;
  SpinEdit* numbMask_;
  QLabel* exam_;
  QLineEdit* directory_;
  QFileSystemModel* dirs_;
  QTreeView* dirView_;
  bool following_ = false;  // the tree is kept scrolled to the working folder
  QLabel* info_;
};

}  // namespace qel
