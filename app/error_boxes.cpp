#include "error_boxes.h"

#include <QMessageBox>
#include <QTimer>

namespace qel {

namespace {
const char* const kMoreInLog = "Есть и другие сообщения об ошибках: они в окне сообщений";
}

void ErrorBoxes::Show(const QString& text) {
  if (!Busy()) {
    pending_ = true;
    current_ = text;
    QTimer::singleShot(0, this, [this, text] { Open(text); });
    return;
  }
  if (log_) log_(text);
  if (text == current_ || waiting_.contains(text)) return;
  if (waiting_.size() < MaxWaiting) {
    waiting_.append(text);
  } else if (!overflow_) {
    overflow_ = true;
    waiting_.append(kMoreInLog);
  }
}

void ErrorBoxes::Open(const QString& text) {
  pending_ = false;
  current_ = text;
  if (text == kMoreInLog && showLog_) showLog_();
  auto* box = new QMessageBox(QMessageBox::Warning, "КЕЛ", text, QMessageBox::Ok, parentWidget_);
  box->setObjectName("ErrorBox");
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::ApplicationModal);
  box_ = box;
  connect(box, &QDialog::finished, this, &ErrorBoxes::Next);
  box->show();
  emit BoxOpened(text);
}

void ErrorBoxes::Next() {
  box_ = nullptr;
  current_.clear();
  if (waiting_.isEmpty()) {
    overflow_ = false;
    return;
  }
  pending_ = true;
  const QString text = waiting_.takeFirst();
  current_ = text;
  QTimer::singleShot(0, this, [this, text] { Open(text); });
}

}  // namespace qel
