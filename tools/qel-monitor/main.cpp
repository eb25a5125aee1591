// qel-monitor: the instrument link without the window. Runs the receive loop
// on a port and prints the message log and the link's state; with --seconds
// it stops after that time and reports the CPU time it used.

#include <QCoreApplication>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "link/qt/qt_link_driver.h"
#include "model/units.h"

namespace {

class ConsoleView : public qel::NullLinkView {
 public:
  explicit ConsoleView(bool quiet) : quiet_(quiet) {}
  void SetStatusPanel(int panel, const std::string& text) override {
    if (panel == qel::InfoPanel && !quiet_ && text != info_) std::printf("[%s]\n", text.c_str());
    if (panel == qel::InfoPanel) info_ = text;
  }
  void AppendLog(const std::string& line) override {
    if (!quiet_) std::printf("%s\n", line.c_str());
  }
  void ShowError(const std::string& text) override { std::fprintf(stderr, "qel-monitor: %s\n", text.c_str()); }
  void PlotPoint(std::uint16_t) override { ++points; }

  long long points = 0;

 private:
  bool quiet_;
  std::string info_;
};

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  qel::Settings s;
  qel::SetDefaults(s);
  double seconds = 0;
  bool quiet = false;
  bool stuckCts = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "qel-monitor: %s needs a value\n", a.c_str());
        std::exit(1);
      }
      return argv[++i];
    };
    if (a == "--port") {
      s.Port = value();
    } else if (a == "--baud") {
      s.BitRate = std::atoi(value());
    } else if (a == "--speed-index") {
      s.Rapid = static_cast<std::uint8_t>(std::atoi(value()));
    } else if (a == "--seconds") {
      seconds = std::atof(value());
    } else if (a == "--quiet") {
      quiet = true;
    } else if (a == "--stuck-cts") {
      stuckCts = true;
    } else {
      std::printf(
          "qel-monitor --port NAME [--baud N] [--speed-index I] [--seconds S] [--quiet] [--stuck-cts]\n"
          "Runs the instrument link on the port and prints its message log.\n"
          "--stuck-cts: a port without modem lines (a pseudo-terminal) behaves as one\n"
          "whose clear-to-send line never moves, so every command waits for ever.\n");
      return a == "--help" ? 0 : 1;
    }
  }
  qel::SpectrumStore store;
  qel::RunValues run;
  ConsoleView view(quiet);
  qel::QtSerialPort port;
  port.SetStuckCts(stuckCts);
  qel::QtLinkDriver driver(port);
  qel::Link link(port, s, store, run, view, driver, nullptr, ",");
  driver.Attach(link);
  link.Controls.Initialise();
  link.Acq.SetReceiveMode(true);
  if (seconds > 0) {
    const double cpuStart = CpuSeconds();
    QTimer::singleShot(static_cast<int>(seconds * 1000), &app, [&] {
      const double cpu = CpuSeconds() - cpuStart;
      std::printf("seconds %.1f cpu %.3f (%.2f%% of one core), points %lld\n", seconds, cpu, 100 * cpu / seconds,
                  view.points);
      app.quit();
    });
  }
  return app.exec();
}
