#include "message_form.h"

#include <QCloseEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

namespace qel {

TQelMessageForm::TQelMessageForm(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("QelMessageForm");
  setWindowTitle("Сообщения КЕЛ");
  setGeometry(656, 176, 295, 360);
  setWindowFlag(Qt::WindowStaysOnTopHint, true);
  msg_ = new QPlainTextEdit(this);
  msg_->setObjectName("Msg");
  msg_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  msg_->setLineWrapMode(QPlainTextEdit::NoWrap);
  msg_->setUndoRedoEnabled(false);  // an undo stack would grow with every line
  msg_->setPlainText("<Нет сообщений>");
  clrBtn_ = new QPushButton("Убрать все сообщения", this);
  clrBtn_->setObjectName("ClrBtn");
  connect(clrBtn_, &QPushButton::clicked, this, &TQelMessageForm::ClearLines);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(msg_, 1);
  layout->addWidget(clrBtn_);
}

void TQelMessageForm::AppendLine(const QString& line) {
  // An empty document still holds one empty block: the first line fills it.
  if (empty_) {
    msg_->setPlainText(line);
    empty_ = false;
    return;
  }
  if (msg_->blockCount() >= MaxLines + TrimBatch) {
    QTextCursor c(msg_->document());
    c.movePosition(QTextCursor::Start);
    c.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, msg_->blockCount() - MaxLines + 1);
    c.removeSelectedText();
    if (!capNoted_) {
      capNoted_ = true;
      msg_->appendPlainText(QString("В окне хранятся последние %1 строк: более старые сообщения удаляются").arg(MaxLines));
    }
  }
  msg_->appendPlainText(line);
}

void TQelMessageForm::ClearLines() {
  msg_->clear();
  empty_ = true;
  capNoted_ = false;
}

int TQelMessageForm::LineCount() const { return empty_ ? 0 : msg_->blockCount(); }

void TQelMessageForm::closeEvent(QCloseEvent* event) {
  event->ignore();
  hide();
  emit Hidden();
}

}  // namespace qel
