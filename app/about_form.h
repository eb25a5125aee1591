#pragma once
// "О программе": the maker, the version, the program's file and what it is for.

#include <QDialog>

namespace qel {

class TQelAboutForm : public QDialog {
  Q_OBJECT
 public:
  explicit TQelAboutForm(QWidget* parent = nullptr);
};

}  // namespace qel
