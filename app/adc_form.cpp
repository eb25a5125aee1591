#include "adc_form.h"

#include <QCloseEvent>

#include "ui_metrics.h"

namespace qel {

TADCForm::TADCForm(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint) {
  setObjectName("ADCForm");
  setWindowTitle("ВХОД  АЦП");
  adcRes_ = new QLabel("Результат", this);
  adcRes_->setObjectName("ADCRes");
  adcRes_->setAlignment(Qt::AlignCenter);
  QFont f = adcRes_->font();
  f.setBold(true);
  f.setPointSizeF(f.pointSizeF() * 1.6);
  adcRes_->setFont(f);
  // Fixed border: the client area does not change. The reading fills it at a
  // fixed size, so a new reading (ten a second) repaints the label without
  // laying the window out again.
  setFixedSize(Px(144), Px(53));
  adcRes_->setGeometry(rect());
  adcRes_->setFixedSize(size());
}

void TADCForm::closeEvent(QCloseEvent* event) {
  event->ignore();
  hide();
  emit Hidden();
}

}  // namespace qel
