#include "message_form.h"

#include <QCloseEvent>

#include <algorithm>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

namespace qel {

TQelMessageForm::TQelMessageForm(QWidget* parent) : QWidget(parent, Qt::Window), pacer_([this] { ShowWaiting(); }) {
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
  waiting_.append(line);
  if (!isVisible()) {
    // Hidden (as it is by default), the window keeps the lines and shows
    // them when it is opened: no widget work for a log nobody sees.
    if (waiting_.size() >= MaxLines + TrimBatch) {
      waiting_.erase(waiting_.begin(), waiting_.end() - MaxLines);
      lostWhileHidden_ = true;
    }
    return;
  }
  pacer_.Changed();
}

void TQelMessageForm::ShowWaiting() {
  if (waiting_.isEmpty()) return;
  pacer_.Shown();
  ++viewWrites_;
  // Past the cap the view keeps the newest lines, the note that older ones
  // go among them once: MaxLines lines in all. Lines that the cap would drop
  // at once never reach the view.
  const int shown = empty_ ? 0 : msg_->blockCount();
  const bool trim = lostWhileHidden_ || waiting_.size() > MaxLines || shown + waiting_.size() >= MaxLines + TrimBatch;
  lostWhileHidden_ = false;
  if (trim) {
    const bool note = !capNoted_;
    const int room = MaxLines - (note ? 1 : 0);
    if (waiting_.size() > room) waiting_.erase(waiting_.begin(), waiting_.end() - room);
    const int drop = shown + static_cast<int>(waiting_.size()) - room;
    if (drop >= shown) {
      msg_->clear();
      empty_ = true;
    } else if (drop > 0) {
      QTextCursor c(msg_->document());
      c.movePosition(QTextCursor::Start);
      c.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, drop);
      c.removeSelectedText();
    }
    if (note) {
      capNoted_ = true;
      waiting_.prepend(QString("В окне хранятся последние %1 строк: более старые сообщения удаляются").arg(MaxLines));
    }
  }
  // An empty document still holds one empty block: the first line fills it.
  if (empty_) {
    msg_->setPlainText(waiting_.join('\n'));
    empty_ = false;
  } else {
    msg_->appendPlainText(waiting_.join('\n'));
  }
  waiting_.clear();
}

void TQelMessageForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  ShowWaiting();
}

void TQelMessageForm::ClearLines() {
  waiting_.clear();
  lostWhileHidden_ = false;
  msg_->clear();
  empty_ = true;
  capNoted_ = false;
}

int TQelMessageForm::LineCount() const {
  return (empty_ ? 0 : msg_->blockCount()) + static_cast<int>(waiting_.size());
}

void TQelMessageForm::closeEvent(QCloseEvent* event) {
  event->ignore();
  hide();
  emit Hidden();
}

}  // namespace qel
