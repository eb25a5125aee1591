// qel-sim: a simulated spectrometer on a pseudo-terminal.
//
//   qel-sim [options]     prints the port's path on its first line, then serves
//
// The program under test opens that path (or the --link path) as its port.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <iostream>
#include <string>

#include "common/cli_ru.h"
#include "instrument.h"

namespace {

volatile sig_atomic_t stopRequested = 0;
volatile sig_atomic_t resetRequested = 0;

void OnStop(int) { stopRequested = 1; }
void OnReset(int) { resetRequested = 1; }

std::string Codes(const std::vector<int>& codes) {
  if (codes.empty()) return "-";
  std::string s;
  for (int c : codes) {
    if (!s.empty()) s += ',';
    s += std::to_string(c);
  }
  return s;
}

long long MonotonicNs() {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

double Now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

int main(int argc, char** argv) {
  qelsim::Options o;
  std::string link, passLogPath, timesPath;
  CLI::App app(
      "qel-sim: имитатор спектрометра ЭПР на псевдотерминале.\n"
      "Печатает путь порта первой строкой и работает до остановки (SIGTERM, SIGINT).\n"
      "SIGUSR1 сбрасывает прибор: он снова посылает Tm01.",
      "qel-sim");
  qel::cli::UseRussian(app);
  app.footer("\nКод выхода: 0 — остановлен сигналом или показана справка; 1 — ошибка в\n"
             "командной строке или псевдотерминал не открыт.");
  auto real = [&](const char* name, double& v, const char* what) { app.add_option(name, v, what)->type_name("X"); };
  auto whole = [&](const char* name, int& v, const char* what) { app.add_option(name, v, what)->type_name("N"); };
  app.add_option("--link", link, "держать по ПУТИ символическую ссылку на порт")->type_name("ПУТЬ");
  real("--time-scale", o.TimeScale, "развёртка в X раз быстрее реального времени (по умолчанию 1)");
  whole("--speed", o.StartSpeedCode, "код скорости при включении (по умолчанию 8, \" 1 мин\")");
  whole("--lines", o.Lines, "число линий спектра (по умолчанию 3, триплет нитроксила)");
  real("--width", o.LineWidth, "ширина линии от пика до пика в кодах поля (по умолчанию 300)");
  real("--amplitude", o.Amplitude, "амплитуда линии при усилении 1, в кодах (по умолчанию 400)");
  real("--noise", o.Noise, "стандартное отклонение шума в кодах (по умолчанию 0)");
  app.add_option("--noise-stream", o.NoiseStream, "какой псевдослучайной последовательности следуют шум и сбои (по умолчанию 1)")
      ->type_name("N");
  real("--garbage", o.GarbageRate, "вероятность случайных байтов перед телеграммой");
  real("--bad-checksum", o.BadChecksumRate, "вероятность неверной контрольной суммы телеграммы");
  real("--random-bytes", o.RandomBytesRate,
       "только случайные байты, X в секунду, как при неверной скорости линии (11520 заполняют линию 115200 бод)");
  real("--silence-every", o.SilenceEvery, "молчание каждые X секунд ...");
  real("--silence-for", o.SilenceFor, "... длительностью X секунд");
  app.add_flag("--report-checksums", o.ReportBadChecksums, "отвечать Tm90 на команду с неверной контрольной суммой");
  real("--reports-every", o.ReportEvery, "посылать по очереди Tm90, Tm98, Tm99, Tm100 каждые X секунд");
  whole("--manual-gain", o.ManualGainCode, "усиление, установленное вручную на приборе (код)");
  whole("--manual-speed", o.ManualSpeedCode, "скорость, установленная вручную на приборе (код)");
  app.add_flag("--manual-correction", o.ManualCorrection, "напряжение коррекции, установленное вручную на приборе");
  // For checking and measuring the program.
  app.add_option("--pass-log", passLogPath,
                 "строка на каждый законченный рабочий ход: номер, испорчен ли его Tm03 (0/1), прерван ли он "
                 "сбросом (0/1), число Tm02, код усиления (-1: менялся), коррекция, коды поля с неверной "
                 "контрольной суммой и после случайных байтов (через запятую, - если нет)")
      ->type_name("ФАЙЛ");
  app.add_option("--tm02-times", timesPath,
                 "строка на каждую Tm02: код поля и время CLOCK_MONOTONIC в наносекундах, когда её последний "
                 "байт записан в порт")
      ->type_name("ФАЙЛ");
  if (const int status = qel::cli::Parse(app, qel::cli::Arguments(argc, argv), std::cout, std::cerr, "qel-sim");
      status >= 0)
    return status;
  if (!(o.TimeScale > 0)) {
    std::fprintf(stderr, "qel-sim: --time-scale должен быть больше нуля\n");
    return 1;
  }

  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
    std::perror("qel-sim: pseudo-terminal");
    return 1;
  }
  const std::string slavePath = ::ptsname(master);
  // Keep the other end open in raw mode, so that nothing is echoed back and
  // the line does not hang up between two openings by the program.
  const int slave = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY);
  if (slave < 0) {
    std::perror("qel-sim: open");
    return 1;
  }
  termios t{};
  ::tcgetattr(slave, &t);
  ::cfmakeraw(&t);
  ::tcsetattr(slave, TCSANOW, &t);
  ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);

  if (!link.empty()) {
    ::unlink(link.c_str());
    if (::symlink(slavePath.c_str(), link.c_str()) != 0) {
      std::perror("qel-sim: --link");
      return 1;
    }
  }
  std::printf("%s\n", slavePath.c_str());
  std::fflush(stdout);

  struct sigaction sa{};
  sa.sa_handler = OnStop;
  ::sigaction(SIGTERM, &sa, nullptr);
  ::sigaction(SIGINT, &sa, nullptr);
  sa.sa_handler = OnReset;
  ::sigaction(SIGUSR1, &sa, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  auto openLog = [](const std::string& path) -> std::FILE* {
    if (path.empty()) return nullptr;
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f) {
      std::perror(("qel-sim: " + path).c_str());
      std::exit(1);
    }
    return f;
  };
  std::FILE* passLog = openLog(passLogPath);
  std::FILE* times = openLog(timesPath);

  const double start = Now();
  qelsim::Instrument instrument(o);
  if (passLog)
    instrument.SetPassReport([passLog](const qelsim::PassReport& r) {
      std::fprintf(passLog, "%llu %d %d %d %d %d %s %s\n", static_cast<unsigned long long>(r.Number),
                   r.StartDamaged ? 1 : 0, r.Cut ? 1 : 0, r.Points, r.GainCode, r.Correction,
                   Codes(r.BadChecksum).c_str(), Codes(r.AfterGarbage).c_str());
      std::fflush(passLog);
    });
  instrument.SetMarkTm02(times != nullptr);
  // Tm02 ends as offsets into everything produced; bytes produced and written.
  std::deque<qelsim::Tm02Mark> marks;
  std::uint64_t produced = 0, written = 0;
  instrument.Start(0);
  std::vector<std::uint8_t> pending;
  double lastProgress = 0;
  while (!stopRequested) {
    pollfd p{master, POLLIN, 0};
    ::poll(&p, 1, 2);
    const double now = Now() - start;
    if (resetRequested) {
      resetRequested = 0;
      instrument.Start(now);
    }
    std::uint8_t buf[4096];
    for (;;) {
      const ssize_t n = ::read(master, buf, sizeof buf);
      if (n <= 0) break;
      instrument.Receive(buf, static_cast<std::size_t>(n), now);
    }
    instrument.Advance(now);
    const auto out = instrument.TakeOutput();
    if (times)
      for (qelsim::Tm02Mark m : instrument.TakeMarks()) marks.push_back({static_cast<std::size_t>(produced + m.End), m.Code});
    produced += out.size();
    pending.insert(pending.end(), out.begin(), out.end());
    while (!pending.empty()) {
      const ssize_t n = ::write(master, pending.data(), pending.size());
      if (n <= 0) break;
      pending.erase(pending.begin(), pending.begin() + n);
      lastProgress = now;
      written += static_cast<std::uint64_t>(n);
      if (times && !marks.empty() && marks.front().End <= written) {
        const long long t = MonotonicNs();
        for (; !marks.empty() && marks.front().End <= written; marks.pop_front())
          std::fprintf(times, "%u %lld\n", marks.front().Code, t);
      }
    }
    if (pending.empty()) lastProgress = now;
    // Nobody reading for a second: the line drops what it cannot carry, as a
    // real one would. A reader that is only slow loses nothing.
    if (now - lastProgress > 1.0 || pending.size() > (64u << 20)) {
      pending.clear();
      written = produced;
      marks.clear();
    }
  }
  if (times) std::fclose(times);
  if (passLog) std::fclose(passLog);
  if (!link.empty()) ::unlink(link.c_str());
  ::close(slave);
  ::close(master);
  return 0;
}
