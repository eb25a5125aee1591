#pragma once
// The message window: a running protocol of the exchange with the
// instrument, kept for the whole run, shown or hidden by the operator.

#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>

namespace qel {

class TQelMessageForm : public QWidget {
  Q_OBJECT
 public:
  // The window keeps the newest lines; older ones are dropped, so a week
  // of logging costs neither time nor memory. Far above a day's logging.
  static constexpr int MaxLines = 100000;
  // Past the cap the oldest lines go this many at a time: one removal of
  // many lines costs less than one per appended line.
  static constexpr int TrimBatch = 1000;

  explicit TQelMessageForm(QWidget* parent = nullptr);

  void AppendLine(const QString& line);
  void ClearLines();  // the clear button and the start of a receive loop
  int LineCount() const;
  QPlainTextEdit& Msg() { return *msg_; }

 signals:
  // Closed with its close box: only hidden.
  void Hidden();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QPlainTextEdit* msg_;
  QPushButton* clrBtn_;
  bool capNoted_ = false;
  bool empty_ = false;
};

}  // namespace qel
