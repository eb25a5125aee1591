#pragma once
// The small stay-on-top window that shows the ADC input's last reading.

#include <QLabel>
#include <QWidget>

namespace qel {

class TADCForm : public QWidget {
  Q_OBJECT
 public:
  explicit TADCForm(QWidget* parent = nullptr);
  QLabel& ADCRes() { return *adcRes_; }

 signals:
  // Closed with its close box: only hidden; the monitor is to be switched off.
  void Hidden();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QLabel* adcRes_;
};

}  // namespace qel
