// qel-monitor: the instrument link without the window. Runs the receive loop
// on a port and prints the message log and the link's state; with --seconds
// it stops after that time and reports the CPU time it used.

#include <QCoreApplication>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "common/cli_ru.h"
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
  qel::Settings s;
  qel::SetDefaults(s);
  double seconds = 0;
  bool quiet = false;
  bool stuckCts = false;
  int rapid = s.Rapid;
  CLI::App app("qel-monitor: связь с прибором без окна. Ведёт цикл приёма на порту и печатает\n"
               "журнал сообщений и состояние связи.",
               "qel-monitor");
  qel::cli::UseRussian(app);
  app.footer("\nКод выхода: 0 — после --seconds или показана справка; 1 — ошибка в командной строке.");
  app.add_option("--port", s.Port, "порт (путь псевдотерминала или устройства)")->type_name("ИМЯ");
  app.add_option("--baud", s.BitRate, "скорость линии, бод")->type_name("N");
  app.add_option("--speed-index", rapid, "индекс скорости развёртки в таблице, 0..11")
      ->check(CLI::Range(0, 11).description(""))
      ->type_name("I");
  app.add_option("--seconds", seconds, "остановиться через S секунд и сообщить затраченное время процессора")
      ->type_name("S");
  app.add_flag("--quiet", quiet, "не печатать журнал");
  app.add_flag("--stuck-cts", stuckCts,
               "порт без линий модема (псевдотерминал) ведёт себя как порт, чья линия CTS\n"
               "не меняется никогда: каждая команда ждёт без конца");
  if (const int status = qel::cli::Parse(app, qel::cli::Arguments(argc, argv), std::cout, std::cerr, "qel-monitor");
      status >= 0)
    return status;
  s.Rapid = static_cast<std::uint8_t>(rapid);
  QCoreApplication qapp(argc, argv);
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
    QTimer::singleShot(static_cast<int>(seconds * 1000), &qapp, [&] {
      const double cpu = CpuSeconds() - cpuStart;
      std::printf("seconds %.1f cpu %.3f (%.2f%% of one core), points %lld\n", seconds, cpu, 100 * cpu / seconds,
                  view.points);
      qapp.quit();
    });
  }
  return qapp.exec();
}
