#pragma once
// The operator's error display: one warning box at a time, never opened
// inside another. A text that comes while a box is open also goes to the
// message log, as it always has, and waits for its own box: the boxes come
// one after another, so that no error reaches only a log that may be hidden.
// The box does not block its caller: it is opened from the event loop.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>

#include <QMessageBox>
class QWidget;

namespace qel {

class ErrorBoxes : public QObject {
  Q_OBJECT
 public:
  // At most this many texts wait for a box; one more box then says that
  // the rest are in the message log, which is shown.
  static constexpr int MaxWaiting = 20;

  explicit ErrorBoxes(QObject* parent = nullptr) : QObject(parent) {}

  void SetParentWidget(QWidget* w) { parentWidget_ = w; }
  void SetLog(std::function<void(const QString&)> log) { log_ = std::move(log); }
  // Brings the message log on screen.
  void SetShowLog(std::function<void()> showLog) { showLog_ = std::move(showLog); }

  // Shows the text in a warning box with a single OK button; while a box
  // is open or about to open, writes it to the log and queues it (a text
  // already waiting or on screen is not queued twice).
  void Show(const QString& text);

  // The box now open, for tests; nullptr when none.
  QMessageBox* OpenBox() const { return box_; }
  bool Busy() const { return pending_ || box_; }
  int Waiting() const { return static_cast<int>(waiting_.size()); }

 signals:
  void BoxOpened(const QString& text);

 private:
  void Open(const QString& text);
  void Next();

  QWidget* parentWidget_ = nullptr;
  std::function<void(const QString&)> log_;
  std::function<void()> showLog_;
  QPointer<QMessageBox> box_;
  QString current_;
  QStringList waiting_;
  bool pending_ = false;
  bool overflow_ = false;  // texts were left to the log alone
};

}  // namespace qel
