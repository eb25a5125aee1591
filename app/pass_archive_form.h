#pragma once
// "Архив проходов": whether every pass of an accumulation series is kept in
// an archive beside the spectra, and where the series under way is written.

#include <QCheckBox>
#include <QDialog>
#include <QLabel>

#include <string>

#include "model/settings.h"

namespace qel {

class TPassArchiveForm : public QDialog {
  Q_OBJECT
 public:
  // `seriesFile`: the file the series under way is written to, or empty.
  TPassArchiveForm(Settings& s, const std::string& seriesFile, QWidget* parent = nullptr);

 private:
  Settings& s_;
  QCheckBox* archiveBox_;
};

}  // namespace qel
