#pragma once
// The operator's error display: one warning box at a time, never opened
// inside another; what comes while a box is open goes to the message log.
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
  explicit ErrorBoxes(QObject* parent = nullptr) : QObject(parent) {}

  void SetParentWidget(QWidget* w) { parentWidget_ = w; }
  void SetLog(std::function<void(const QString&)> log) { log_ = std::move(log); }

  // Shows the text in a warning box with a single OK button, or, while a
  // box is open or about to open, writes it to the log instead.
  void Show(const QString& text);

  // The box now open, for tests; nullptr when none.
  QMessageBox* OpenBox() const { return box_; }
  bool Busy() const { return pending_ || box_; }

 signals:
  void BoxOpened(const QString& text);

 private:
  void Open(const QString& text);

  QWidget* parentWidget_ = nullptr;
  std::function<void(const QString&)> log_;
  QPointer<QMessageBox> box_;
  bool pending_ = false;
};

}  // namespace qel
