// qel-qt-floor: a bare Qt window that does nothing but wake up RATE times a
// second, drawing nothing (painting is work the program itself is measured
// for: it repaints at most 30 times a second). scripts/measure-link
// measures it beside qel-gui at qel-gui's own rate of wake-ups: what any Qt
// window pays for being woken that often on this machine, which no work
// saved in the program can go below.
//
//   qel-qt-floor RATE

#include <QApplication>
#include <QLabel>
#include <QTimer>

#include <cstdlib>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const int rate = argc > 1 ? std::atoi(argv[1]) : 0;
  if (rate <= 0 || rate > 1000) return 2;
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
