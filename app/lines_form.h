#pragma once
// "Параметры линий": the table of every line in the view range, with the
// line-shape fits and their error bars. In analyse mode it shows the
// spectrum as it is; in receive mode, while open, it follows each finished
// pass. The search and the fits run on a thread of the form's own, never on
// the window's; while the table is closed nothing is computed.

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QThreadPool>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "model/settings.h"
#include "model/spectrum.h"
#include "processing/lines.h"

namespace qel {

class TLinesForm : public QDialog {
  Q_OBJECT
 public:
  // `saveSettings` writes the settings (the typed frequency) at once.
  TLinesForm(Settings& s, const SpectrumStore& store, std::string sep, std::function<void()> saveSettings,
             QWidget* parent);
  ~TLinesForm() override;

  // Takes the points of the view range now and analyses them.
  void Refresh();
  // A pass is over (receive mode): refreshed when the table is open.
  void PassEnded();
  // The view range may have changed: while the table is open it follows,
  // once the range has stood still for FollowMs (a zoom is many steps).
  void ViewChanged();
  static constexpr int FollowMs = 150;
  bool Following() const { return follow_.isActive(); }

  // The table as text: a header line and a line per line, tab-separated.
  QString TableText() const;
  QTableWidget& Table() { return *table_; }
  bool Busy() const { return busy_; }

 signals:
  // A result is in the table.
  void Updated();

 private:
  // What one analysis needs, taken on the window's thread.
  struct Job {
    std::vector<double> X, Y;
    FitChoice Fit = FitChoice::None;
    LineSearchOptions Options;
    int From = 0, To = 0;  // the view range, codes
    UnitRecord Field;  // code -> Oe
    UnitRecord Amp;    // code -> amplitude unit, before the gain factor
    double GainFactor = 1;
    QString AmpName;
  };
  struct Shown {
    Job Units;  // without its points
    LinesResult Result;
  };
  // The view range in codes, the lower bound first.
  std::pair<int, int> ViewRange() const;
  void Start(Job job);
  void Finished(std::shared_ptr<Shown> shown);
  void Render();
  void FrequencyEdited();
  QString Number(double v, int decimals) const;
  QString Significant(double v, int digits) const;
  QString WithError(double v, double e) const;

  Settings& s_;
  const SpectrumStore& store_;
  std::string sep_;
  std::function<void()> saveSettings_;
  QLineEdit* frequency_;
  QComboBox* fit_;
  QTableWidget* table_;
  QLabel* status_;
  QLabel* range_;
  QTimer follow_;
  int startedFrom_ = -1, startedTo_ = -1;  // the range of the newest analysis asked for
  QThreadPool pool_;
  bool busy_ = false;
  std::optional<Job> pending_;
  std::shared_ptr<Shown> last_;
};

}  // namespace qel
