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
#include <string>

#include "instrument.h"

namespace {

volatile sig_atomic_t stopRequested = 0;
volatile sig_atomic_t resetRequested = 0;

void OnStop(int) { stopRequested = 1; }
void OnReset(int) { resetRequested = 1; }

const char* kHelp =
    "qel-sim: a simulated ESR spectrometer on a pseudo-terminal.\n"
    "Prints the port's path on the first line and serves until stopped (SIGTERM, SIGINT).\n"
    "SIGUSR1 resets the instrument: it sends Tm01 again.\n"
    "\n"
    "  --link PATH          keep a symbolic link at PATH to the port\n"
    "  --time-scale X       run the sweep X times faster than real time (default 1)\n"
    "  --speed CODE         speed code at power-on (default 8, \" 1 мин\")\n"
    "  --lines N            spectrum lines (default 3, a nitroxide triplet)\n"
    "  --width CODES        peak-to-peak line width in field codes (default 300)\n"
    "  --amplitude CODES    line amplitude at gain 1 (default 400)\n"
    "  --noise CODES        noise standard deviation (default 0)\n"
    "  --noise-stream N     which pseudo-random sequence noise and faults follow (default 1)\n"
    "  --garbage P          chance per telegram of random bytes before it\n"
    "  --bad-checksum P     chance per telegram of a wrong checksum\n"
    "  --random-bytes R     only random bytes, R a second, as at a wrong baud rate\n"
    "                       (11520 fills a 115200 baud line)\n"
    "  --silence-every S    a silence every S seconds ...\n"
    "  --silence-for S      ... lasting S seconds\n"
    "  --report-checksums   answer a command with a wrong checksum with Tm90\n"
    "  --reports-every S    send Tm90, Tm98, Tm99, Tm100 in turn every S seconds\n"
    "  --manual-gain CODE   gain set by hand at the instrument\n"
    "  --manual-speed CODE  speed set by hand at the instrument\n"
    "  --manual-correction  correction voltage set by hand at the instrument\n"
    "\n"
    "For checking and measuring the program:\n"
    "  --pass-log FILE      a line per forward pass once it has ended: its number, whether\n"
    "                       its Tm03 was damaged (0/1), whether a reset cut it (0/1), the\n"
    "                       Tm02 sent, gain code (-1: changed within the pass), correction,\n"
    "                       the field codes sent with a wrong checksum and those that\n"
    "                       followed random bytes (comma-separated, - for none)\n"
    "  --tm02-times FILE    a line per Tm02: its field code and the CLOCK_MONOTONIC time in\n"
    "                       nanoseconds at which its last byte was written to the port\n";

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
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "qel-sim: %s needs a value\n", a.c_str());
        std::exit(1);
      }
      return argv[++i];
    };
    if (a == "--help" || a == "-h") {
      std::fputs(kHelp, stdout);
      return 0;
    }
    if (a == "--link") {
      link = value();
      continue;
    }
    if (a == "--pass-log" || a == "--tm02-times") {
      (a == "--pass-log" ? passLogPath : timesPath) = value();
      continue;
    }
    if (a == "--report-checksums" || a == "--manual-correction") {
      (a == "--report-checksums" ? o.ReportBadChecksums : o.ManualCorrection) = true;
      continue;
    }
    const struct {
      const char* name;
      double* real;
      int* whole;
    } numbers[] = {
        {"--time-scale", &o.TimeScale, nullptr},   {"--width", &o.LineWidth, nullptr},
        {"--amplitude", &o.Amplitude, nullptr},    {"--noise", &o.Noise, nullptr},
        {"--garbage", &o.GarbageRate, nullptr},    {"--bad-checksum", &o.BadChecksumRate, nullptr},
        {"--random-bytes", &o.RandomBytesRate, nullptr},
        {"--silence-every", &o.SilenceEvery, nullptr}, {"--silence-for", &o.SilenceFor, nullptr},
        {"--reports-every", &o.ReportEvery, nullptr},  {"--speed", nullptr, &o.StartSpeedCode},
        {"--lines", nullptr, &o.Lines},            {"--manual-gain", nullptr, &o.ManualGainCode},
        {"--manual-speed", nullptr, &o.ManualSpeedCode},
    };
    bool known = false;
    for (const auto& n : numbers) {
      if (a != n.name) continue;
      const char* v = value();
      if (n.real) *n.real = std::atof(v);
      if (n.whole) *n.whole = std::atoi(v);
      known = true;
    }
    if (a == "--noise-stream") {
      o.NoiseStream = static_cast<std::uint32_t>(std::strtoul(value(), nullptr, 10));
      known = true;
    }
    if (!known) {
      std::fprintf(stderr, "qel-sim: unknown option %s (see --help)\n", a.c_str());
      return 1;
    }
  }
  if (!(o.TimeScale > 0)) {
    std::fprintf(stderr, "qel-sim: --time-scale must be positive\n");
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
