#pragma once
// "Выбор измеряемых параметров": the unit in which each of the four
// quantities is shown, and the calibration of every unit from its Min and
// Max values.

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QValidator>

#include <functional>
#include <string>
#include <vector>

#include "model/settings.h"

namespace qel {

// The key filter of the 26 Min and Max edits: what is typed or pasted may
// hold only digits, the minus sign, the exponent letter and the decimal
// separator the edits are written with. A point or a comma typed is that
// separator (a point dropped in a comma locale made 1.5 read 15). Editing
// keys (backspace, delete, arrows, selection) are no typed characters and
// are never filtered.
class UnitTextValidator : public QValidator {
 public:
  UnitTextValidator(const QString& separator, QObject* parent) : QValidator(parent), sep_(separator) {}
  State validate(QString& input, int& pos) const override;

 private:
  QString sep_;
};

class TUnitSetupForm : public QDialog {
  Q_OBJECT
 public:
  // `save` writes the settings to the store; it runs at OK unless the
  // changes were refused in the lock question. `sep` is the decimal
  // separator of the texts (the system locale's).
  TUnitSetupForm(Settings& s, std::string sep, std::function<void()> save, QWidget* parent = nullptr);

  void EnableBoxClick();
  bool Locked() const { return locked_; }
  // Why `save` failed at OK (the units are applied all the same); empty when it did not.
  const QString& SaveError() const { return saveError_; }

 private:
  // One page: its choice list of captions and the rows of Min and Max edits.
  struct Page {
    QString Title;
    QButtonGroup* Choice = nullptr;
    std::vector<QString> Captions;
    std::vector<QLineEdit*> Mins, Maxs;
    std::vector<QLabel*> Names;  // Names[0] is null: raw codes have no name
    QWidget* Widget = nullptr;
    // The codes of row 0's anchors; rows 1.. anchor on row 0's values.
    bool OwnAnchors = false;
    float C1 = 0, C2 = 0;
  };

  QWidget* BuildPage(Page& page, const char* prefix, const QStringList& notes);
  void FormShow();
  void OKBtnClick();
  // All texts read and every unit calibrated on trial; false (after telling
  // the operator which page and field) when any would fail.
  bool CheckTexts();
  void Refuse(const Page& page, QLineEdit* field, const QString& text);

  Settings& s_;
  std::string sep_;
  std::function<void()> save_;
  bool locked_ = false;
  QString saveError_;
  QTabWidget* pages_;
  QCheckBox* enableBox_;
  Page razv_, amp_, corr_, adc_;
};

}  // namespace qel
