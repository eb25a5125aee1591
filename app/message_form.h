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
  // The window keeps the newest lines and drops older ones, so appending
  // never slows down and memory stays bounded in a run of any length. A
  // line costs about 0.6 kB in the text view: 20,000 lines are some 12 MB,
  // and more than twice a day's normal logging at the fastest sweep (three
  // lines a pass).
  static constexpr int MaxLines = 20000;
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
