#include "setup_comm_form.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionComboBox>

#include <algorithm>

#include "link/qt/qt_serial_port.h"
#include "ui_metrics.h"

namespace qel {

TSetupCommForm::TSetupCommForm(std::string port, std::int32_t bitRate, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), port_(std::move(port)), bitRate_(bitRate) {
  setObjectName("SetupCommForm");
  setWindowTitle("Настройка COM-порта");
  portBox_ = new QComboBox(this);
  portBox_->setObjectName("PortBox");
  portBox_->setEditable(true);
  portBox_->addItems({"COM1", "COM2", "COM3", "COM4"});
  // The serial ports this machine has, so that nobody has to type them.
  for (const QtSerialPort::PortSeen& port : QtSerialPort::PortsHere()) {
    if (portBox_->findText(port.Name) >= 0) continue;  // COM1 to COM4 are there already
    portBox_->addItem(port.Name);
    if (!port.Description.isEmpty()) portBox_->setItemData(portBox_->count() - 1, port.Description, Qt::ToolTipRole);
  }
  // Wide enough to read a port by its id, the longest names Linux gives
  // (and the port given, should it be longer still).
  const QFontMetrics fm(portBox_->font());
  const int text = std::max(fm.horizontalAdvance("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"),
                            fm.horizontalAdvance(QString::fromStdString(port_)));
  QStyleOptionComboBox opt;
  opt.initFrom(portBox_);
  opt.editable = true;
  // The edit's margins and its cursor besides the text.
  const QSize content(text + Px(8), fm.height());
  portBox_->setMinimumWidth(portBox_->style()->sizeFromContents(QStyle::CT_ComboBox, &opt, content, portBox_).width());
  speedBox_ = new QComboBox(this);
  speedBox_->setObjectName("SpeedBox");
  speedBox_->setEditable(true);
  speedBox_->addItems({"1200", "2400", "4800", "9600", "14400", "19200", "38400", "57600", "115200"});
  auto label = [this](const char* name, const char* text) {
    auto* l = new QLabel(text, this);
    l->setObjectName(name);
    return l;
  };
  auto* ok = new QPushButton("Принять", this);
  ok->setObjectName("BitBtnOk");
  ok->setDefault(true);
  auto* cancel = new QPushButton("Отмена", this);
  cancel->setObjectName("BitBtnCancel");
  connect(ok, &QPushButton::clicked, this, &TSetupCommForm::BitBtnOkClick);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* grid = new QGridLayout(this);
  grid->addWidget(label("LblPrt", "Порт:"), 0, 0);
  grid->addWidget(portBox_, 0, 1, 1, 2);
  grid->addWidget(label("LblSpeed", "Скорость:"), 1, 0);
  grid->addWidget(speedBox_, 1, 1);
  grid->addWidget(label("Label1", "бит/с"), 1, 2);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  grid->addLayout(buttons, 2, 0, 1, 3);
  grid->setSizeConstraint(QLayout::SetFixedSize);

  // FormShow: the dialog's own copies into the boxes.
  portBox_->setCurrentText(QString::fromStdString(port_));
  speedBox_->setCurrentText(QString::number(bitRate_));
}

void TSetupCommForm::BitBtnOkClick() {
  bool number = false;
  const QString text = speedBox_->currentText().trimmed();
  const int rate = text.toInt(&number);
  if (!number) {
    QMessageBox::warning(this, "КЕЛ",
                         QString("Скорость \"%1\" не является целым числом. Введите скорость обмена в бит/с, "
                                 "например 115200.")
                             .arg(speedBox_->currentText()));
    speedBox_->setFocus();
    return;
  }
  port_ = portBox_->currentText().toStdString();
  bitRate_ = rate;
  accept();
}

}  // namespace qel
