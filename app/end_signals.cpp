#include "end_signals.h"

#ifndef Q_OS_WIN
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace qel {

#ifndef Q_OS_WIN
namespace {
// A signal handler may only write to a descriptor: the one place where the
// program keeps a process-wide value, set once before the handlers exist.
int signalWriteEnd = -1;
constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

extern "C" void OnEndSignal(int number) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(number);
  if (signalWriteEnd >= 0) [[maybe_unused]] auto n = ::write(signalWriteEnd, &byte, 1);
  errno = saved;
}
}  // namespace
#endif

EndSignals::EndSignals(QObject* parent) : QObject(parent) {
#ifndef Q_OS_WIN
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds) != 0) return;
  signalWriteEnd = fds[0];
  notifier_ = new QSocketNotifier(fds[1], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] {
    unsigned char buffer[16];
    const ssize_t n = ::read(static_cast<int>(notifier_->socket()), buffer, sizeof buffer);
    // One request is enough however many signals came.
    if (n > 0) emit Received(buffer[n - 1]);
  });
  struct sigaction action {};
  action.sa_handler = OnEndSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int s : kSignals) ::sigaction(s, &action, nullptr);
#endif
}

EndSignals::~EndSignals() {
#ifndef Q_OS_WIN
  if (!notifier_) return;
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (int s : kSignals) ::sigaction(s, &action, nullptr);
  const int writeEnd = signalWriteEnd;
  signalWriteEnd = -1;
  ::close(writeEnd);
  ::close(static_cast<int>(notifier_->socket()));
#endif
}

}  // namespace qel
