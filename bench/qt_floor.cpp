// qel-qt-floor: a bare Qt window that does nothing but wake up RATE times a
// second, drawing nothing (painting is work the program itself is measured
// for: it repaints at most 30 times a second). scripts/measure-link
// measures it beside qel-gui at qel-gui's own rate of wake-ups: what any Qt
// window pays for being woken that often on this machine, which no work
// saved in the program can go below.
//
// With --bare there is no Qt at all: a process that sleeps and
// wakes RATE times a second, the kernel's own share of that floor (on a
// virtual machine a switch into a process and out again can cost tens of
// microseconds).
//
//   qel-qt-floor RATE [--bare]

#include <QApplication>
#include <QLabel>
#include <QTimer>

#include <time.h>

#include <cstdlib>
#include <cstring>

namespace {
int Bare(int rate) {
  // Whole milliseconds, as the Qt window's timer: both wake as often.
  const long period = 1'000'000L * (1000 / rate);
  timespec next{};
  clock_gettime(CLOCK_MONOTONIC, &next);
  for (;;) {
    next.tv_nsec += period;
    if (next.tv_nsec >= 1'000'000'000L) {
      next.tv_nsec -= 1'000'000'000L;
      ++next.tv_sec;
    }
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
  }
}
}  // namespace

int main(int argc, char** argv) {
  const int rate = argc > 1 ? std::atoi(argv[1]) : 0;
  if (rate <= 0 || rate > 1000) return 2;
  if (argc > 2 && std::strcmp(argv[2], "--bare") == 0) return Bare(rate);
  QApplication app(argc, argv);
  QLabel label("0");
  label.resize(300, 100);
  label.show();
  QTimer timer;
  timer.setTimerType(Qt::PreciseTimer);
  long long n = 0;
  QObject::connect(&timer, &QTimer::timeout, [&] { ++n; });
  timer.start(1000 / rate);
  return app.exec();
}
