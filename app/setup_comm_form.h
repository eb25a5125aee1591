#pragma once
// "Настройка COM-порта": the port name and the baud rate of the instrument's line.

#include <QComboBox>
#include <QDialog>

#include <string>

namespace qel {

class TSetupCommForm : public QDialog {
  Q_OBJECT
 public:
  TSetupCommForm(std::string port, std::int32_t bitRate, QWidget* parent = nullptr);

  const std::string& Port() const { return port_; }
  std::int32_t BitRate() const { return bitRate_; }

  // "Принять": the port name and the baud rate from the texts. A rate that
  // is not a whole number is refused with a message; the dialog stays open
  // and nothing is taken.
  void BitBtnOkClick();

 private:
  std::string port_;
  std::int32_t bitRate_;
  QComboBox* portBox_;
  QComboBox* speedBox_;
};

}  // namespace qel
