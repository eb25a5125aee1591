#pragma once
// qel-sim started on a pseudo-terminal for a test, and an event loop run
// until a condition holds. QEL_SIM_PATH names the simulator's program.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStringList>

#include <signal.h>

namespace qel::test {

// Runs the event loop until the condition holds or the time is up.
template <typename Fn>
bool RunUntil(Fn done, int milliseconds) {
  QDeadlineTimer deadline(milliseconds);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
  }
  return true;
}

class SimProcess {
 public:
  explicit SimProcess(QStringList args) : args_(std::move(args)) {}
  ~SimProcess() { Stop(SIGTERM); }
  // Starts it with its link at `link`; true once it has printed its port.
  bool Start(const QString& link) {
    process_.setProgram(QStringLiteral(QEL_SIM_PATH));
    process_.setArguments(QStringList{"--link", link} + args_);
    process_.start();
    if (!process_.waitForStarted(5000)) return false;
    return RunUntil([&] { return process_.canReadLine(); }, 5000);
  }
  void Signal(int sig) { ::kill(static_cast<pid_t>(process_.processId()), sig); }
  void Stop(int sig) {
    if (process_.state() == QProcess::NotRunning) return;
    Signal(sig);
    process_.waitForFinished(5000);
  }

 private:
  QStringList args_;
  QProcess process_;
};

}  // namespace qel::test
