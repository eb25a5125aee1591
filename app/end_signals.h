#pragma once
// The system's requests to end the program (SIGTERM at a logout, a
// shutdown or `kill`; SIGHUP when the terminal goes; SIGINT for Ctrl-C)
// arrive as a Qt signal on the event loop, so the window can close in good
// order instead of the process ending on the spot. On Windows nothing is
// installed.

#include <QObject>

class QSocketNotifier;

namespace qel {

class EndSignals : public QObject {
  Q_OBJECT
 public:
  explicit EndSignals(QObject* parent = nullptr);
  ~EndSignals() override;

 signals:
  void Received(int signalNumber);

 private:
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace qel
