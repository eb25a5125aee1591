#pragma once
// Runs the link's receive loop from the Qt event loop: an iteration whenever
// bytes arrive, a timer fires or the core asks for one; at once through the
// event queue while telegrams wait, so user events run between two of them.
// Idle, it costs nothing.

#include <QObject>
#include <QTimer>

#include "link/link.h"
#include "qt_serial_port.h"

namespace qel {

class QtLinkDriver : public QObject, public LinkDriver {
  Q_OBJECT
 public:
  explicit QtLinkDriver(QtSerialPort& port, QObject* parent = nullptr);

  // The link is built with this driver, then attached.
  void Attach(Link& link);

  void SetTimerEnabled(LinkTimer timer, bool enabled) override;
  void SetTimerInterval(LinkTimer timer, int milliseconds) override;
  void RequestIteration() override;

  bool TimerActive(LinkTimer timer) const;
  // Milliseconds until the next look at the clear-to-send line while a
  // command waits for its pulse; 0 when no look is due.
  int CtsPollInterval() const { return ctsPoll_.isActive() ? ctsPoll_.interval() : 0; }
  int TimerInterval(LinkTimer timer) const;

 private:
  void RunIteration();
  void Reconnect();
  QTimer& Timer(LinkTimer timer);
  const QTimer& Timer(LinkTimer timer) const;

  QtSerialPort& port_;
  Link* link_ = nullptr;
  QTimer qelTimer_, wdTimer_, sendTimer_, adcTimer_, lpfTimer_;
  QTimer ctsPoll_, reconnect_;
  bool scheduled_ = false;
};

}  // namespace qel
