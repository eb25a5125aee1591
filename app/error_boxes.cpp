#include "error_boxes.h"

#include <QMessageBox>
#include <QTimer>

namespace qel {

void ErrorBoxes::Show(const QString& text) {
  if (Busy()) {
    if (log_) log_(text);
    return;
  }
  pending_ = true;
  QTimer::singleShot(0, this, [this, text] { Open(text); });
}

void ErrorBoxes::Open(const QString& text) {
  pending_ = false;
  auto* box = new QMessageBox(QMessageBox::Warning, "КЕЛ", text, QMessageBox::Ok, parentWidget_);
  box->setObjectName("ErrorBox");
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::ApplicationModal);
  box_ = box;
  box->show();
  emit BoxOpened(text);
}

}  // namespace qel
