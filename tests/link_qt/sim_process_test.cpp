// The program's link (core, QSerialPort, Qt driver) against qel-sim on a
// pseudo-terminal, driven by this test's event loop; and the Qt driver alone
// over a scripted port.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include "../link/fakes.h"
#include "sim_process.h"
#include "instrument.h"
#include "link/qt/qt_link_driver.h"
#include "link/qt/qt_serial_port.h"

namespace qel {

namespace {

using test::RunUntil;
using test::SimProcess;

// How long a step that the program takes on its own (a handshake, a
// reconnection, a pass) may take before the case gives up: each wait ends as
// soon as the program has got there, so the bound only has to outlast a
// machine busy with other work.
constexpr int kProgramStepMs = 60000;

class SimLink : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    portPath = dir.filePath("ttyQEL");
    SetDefaults(s);
    s.Port = portPath.toStdString();
    s.Rapid = 11;  // "30 сек": code 15, 4 codes per telegram
    driver.Attach(link);
    link.Session.SetTelegramTap([this](const Telegram& t) {
      if (t.Type == 3) ++passStarts;
      if (onTelegram) onTelegram(t);
    });
  }
  void Receive() {
    link.Controls.Initialise();
    link.Acq.SetReceiveMode(true);
  }
  bool Settled() const {
    return link.Flags.Linked && link.Flags.BoundsAcked && link.Flags.GainSpeedAcked && link.Flags.CorrAcked;
  }
  int LogIndex(const std::string& prefix) const {
    for (std::size_t i = 0; i < ui.log.size(); ++i)
      if (ui.log[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
    return -1;
  }

  QTemporaryDir dir;
  QString portPath;
  Settings s;
  SpectrumStore store;
  RunValues run;
  test::Recorder ui;
  QtSerialPort port;
  QtLinkDriver driver{port};
  Link link{port, s, store, run, ui, driver, nullptr, ","};
  int passStarts = 0;
  std::function<void(const Telegram&)> onTelegram;
};

// The instrument's own idea of the signal, for the same settings.
int Expected(int x) {
  qelsim::Options o;
  o.StartSpeedCode = 15;
  qelsim::Instrument reference(o);
  return reference.SignalAt(x);
}

}  // namespace

TEST_F(SimLink, HandshakeSweepAndRestart) {
  SimProcess sim({"--time-scale", "20", "--speed", "15"});
  ASSERT_TRUE(sim.Start(portPath));
  Receive();
  ASSERT_TRUE(RunUntil([&] { return Settled(); }, kProgramStepMs)) << "handshake";
  EXPECT_EQ(ui.panels[0], s.Port);
  // Each setting was echoed, in order.
  const int t11 = LogIndex("Tm11."), t22 = LogIndex("Tm22."), t33 = LogIndex("Tm33.");
  EXPECT_TRUE(t11 >= 0 && t11 < t22 && t22 < t33) << t11 << " " << t22 << " " << t33;

  // A whole pass: check it when the next one starts, before it is cleared.
  std::vector<int> expected(65520);
  for (int x = 0; x < 65520; x += 4) expected[static_cast<std::size_t>(x)] = Expected(x);
  int mismatches = -1;
  const int startedBefore = passStarts;
  onTelegram = [&](const Telegram& t) {
    if (t.Type != 3 || passStarts < startedBefore + 2 || mismatches >= 0) return;
    mismatches = 0;
    for (int x = 0; x < 65520; ++x) {
      const SpectrumPoint p = store.CurrentSpectrum[static_cast<std::size_t>(x)];
      if (p.Value != expected[static_cast<std::size_t>(x - x % 4)] || p.Code != x) ++mismatches;
    }
  };
  ASSERT_TRUE(RunUntil([&] { return mismatches >= 0; }, 30000)) << "two pass starts";
  EXPECT_EQ(mismatches, 0);

  // The instrument resets: Tm01 restarts the handshake.
  ui.log.clear();
  sim.Signal(SIGUSR1);
  ASSERT_TRUE(RunUntil([&] { return LogIndex("Tm01.") >= 0; }, kProgramStepMs));
  ASSERT_TRUE(RunUntil([&] { return Settled() && LogIndex("Tm33.") > LogIndex("Tm01."); }, kProgramStepMs));
  EXPECT_EQ(ui.panels[6], "S/N: 42");
  EXPECT_EQ(ui.panels[5], "PR: 7");
  EXPECT_TRUE(ui.errors.empty());
}

TEST_F(SimLink, GarbageAndBadChecksumsAreSurvived) {
  SimProcess sim({"--time-scale", "20", "--speed", "15", "--garbage", "0.02", "--bad-checksum", "0.02"});
  ASSERT_TRUE(sim.Start(portPath));
  Receive();
  ASSERT_TRUE(RunUntil([&] { return Settled(); }, kProgramStepMs));
  const int target = passStarts + 3;
  ASSERT_TRUE(RunUntil([&] { return passStarts >= target; }, 30000));
  EXPECT_GE(LogIndex("Неверная контрольная сумма"), 0);
  // What arrived is right; what was lost is missing, not wrong.
  int present = 0, wrong = 0;
  const int last = link.Flags.CurrentCode;
  for (int x = 0; x < std::min(last, 65520); ++x) {
    const SpectrumPoint p = store.CurrentSpectrum[static_cast<std::size_t>(x)];
    if (!IsValid(p)) continue;
    ++present;
    if (p.Value != Expected(x - x % 4)) ++wrong;
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_TRUE(link.Flags.Receiving);
  (void)present;
}

// At line rate the port wakes the program about once a batch, not once for
// every chunk the terminal delivers (one telegram, or two or three), and
// every telegram still arrives: the field codes of a pass come without a gap.
// While telegrams stream in at the instrument's rate, the line is read once
// a frame (every 40 ms), its notification paused, and the toggles blink in
// those batches; ten times faster, sooner (every 20 ms), so that the
// terminal never fills; far faster (60 times), the window is behind the
// line: the notification stays on and the batches come as fast as they may
// (there the simulator, behind its own clock, writes hundreds of kilobytes
// at once now and then, past the port's bound: bytes may be given up).
// Polled, every telegram is taken, in order.
TEST_F(SimLink, LineIsReadOnceAFrame) {
  struct Row {
    const char* timeScale;
    int slowestMs, fastestMs;  // the batches' period; 0: not polled
  };
  for (const Row row : {Row{"1", QtLinkDriver::PollMs, QtLinkDriver::PollMs},
                        Row{"10", QtLinkDriver::PollMs / 2 + 10, QtLinkDriver::MinPollMs}, Row{"60", 0, 0}}) {
    SCOPED_TRACE(row.timeScale);
    ui = test::Recorder();
    SimProcess sim({"--speed", "8", "--time-scale", row.timeScale});  // " 1 мин": about 1,100 telegrams a second
    ASSERT_TRUE(sim.Start(portPath));
    s.Rapid = 10;
    s.EnableRTLPF = true;  // its toggle blinks
    Receive();
    ASSERT_TRUE(RunUntil([&] { return Settled(); }, kProgramStepMs));
    int telegrams = 0, gaps = 0, last = -1;
    onTelegram = [&](const Telegram& t) {
      if (t.Type != 2) return;
      ++telegrams;
      const int x = t.Word(1);
      if (last >= 0 && x != last + 1 && x > last) ++gaps;
      last = x;
    };
    bool inBatch = false;
    int blinks = 0, blinksInBatches = 0, looks = 0, paused = 0;
    QObject::connect(&driver, &QtLinkDriver::BatchStarted, [&] { inBatch = true; });
    QObject::connect(&driver, &QtLinkDriver::BatchEnded, [&] {
      inBatch = false;
      ++looks;
      if (port.ReadPaused()) ++paused;
    });
    ui.onToggleImages = [&] {
      ++blinks;
      if (inBatch) ++blinksInBatches;
    };
    const long long batches = driver.Batches();
    QElapsedTimer clock;
    clock.start();
    RunUntil([&] { return clock.elapsed() >= 1500; }, 3000);
    QObject::disconnect(&driver, nullptr, nullptr, nullptr);
    const long long n = driver.Batches() - batches;
    EXPECT_GT(telegrams, 1000);
    if (row.slowestMs > 0) {
      EXPECT_EQ(gaps, 0);
      EXPECT_GE(n, clock.elapsed() / row.slowestMs - 5) << n << " batches in " << clock.elapsed() << " ms";
      EXPECT_LE(n, clock.elapsed() / row.fastestMs + 5) << n << " batches in " << clock.elapsed() << " ms";
      EXPECT_GE(paused, looks * 3 / 4) << "of " << looks;
      EXPECT_GE(blinks, 3);
      // In step with the polls while the line is polled the whole time.
      if (row.slowestMs == QtLinkDriver::PollMs) {
        EXPECT_EQ(blinksInBatches, blinks);
      }
    } else {
      EXPECT_LE(paused, looks / 4) << "of " << looks;
    }
    link.Acq.SetReceiveMode(false);
    RunUntil([&] { return !link.Session.Running(); }, 5000);
  }
}

// The instrument stopped answers the program's queries now and then: each
// lone answer is read on the line's own notification, and the line is not
// then polled as if telegrams streamed in (a wake-up more for nothing).
TEST_F(SimLink, QuietLineIsNotPolled) {
  SimProcess sim({"--speed", "1"});  // " СТОП"
  ASSERT_TRUE(sim.Start(portPath));
  s.Rapid = 2;
  Receive();
  ASSERT_TRUE(RunUntil([&] { return Settled(); }, kProgramStepMs));
  int samples = 0, paused = 0;
  QTimer sampler;
  sampler.setTimerType(Qt::PreciseTimer);
  QObject::connect(&sampler, &QTimer::timeout, [&] {
    ++samples;
    if (port.ReadPaused()) ++paused;
  });
  sampler.start(2);
  const long long batches = driver.Batches();
  RunUntil([] { return false; }, 3000);
  EXPECT_GE(driver.Batches() - batches, 3) << "the instrument was asked and answered";
  EXPECT_GT(samples, 200);
  EXPECT_EQ(paused, 0) << "of " << samples << " looks";
}

// Telegrams stream in, stop for a quarter of a second, stream again: once
// the line has gone quiet its own notification is back on, and the first
// telegram after the silence is read at once (not at the watchdog's next
// look, a second later).
TEST_F(SimLink, LineGoneQuietIsNotifiedAgain) {
  SimProcess sim({"--speed", "8", "--silence-every", "1", "--silence-for", "0.25"});
  ASSERT_TRUE(sim.Start(portPath));
  s.Rapid = 10;
  Receive();
  ASSERT_TRUE(RunUntil([&] { return Settled(); }, kProgramStepMs));
  QElapsedTimer clock;
  clock.start();
  qint64 last = -1, longest = 0;
  int telegrams = 0;
  onTelegram = [&](const Telegram& t) {
    if (t.Type != 2) return;
    ++telegrams;
    const qint64 now = clock.elapsed();
    if (last >= 0) longest = std::max(longest, now - last);
    last = now;
  };
  RunUntil([&] { return clock.elapsed() >= 4000; }, 6000);
  EXPECT_GT(telegrams, 2000);
  EXPECT_GE(longest, 200) << "the silences came";
  EXPECT_LT(longest, 450) << "a telegram after a silence waited for something else to wake the program";
}

TEST_F(SimLink, VanishedDeviceReconnects) {
  auto sim = std::make_unique<SimProcess>(QStringList{"--time-scale", "60", "--speed", "15"});
  ASSERT_TRUE(sim->Start(portPath));
  Receive();
  ASSERT_TRUE(RunUntil([&] { return Settled(); }, kProgramStepMs));
  sim->Stop(SIGKILL);
  // A killed simulator leaves its link behind, pointing at a terminal number
  // that another test's simulator may be given next: take it away, as the
  // device node of an unplugged adapter goes away.
  QFile::remove(portPath);
  ASSERT_TRUE(RunUntil([&] { return ui.panels[7] == "Ошибка обмена RS232"; }, kProgramStepMs));
  EXPECT_EQ(ui.panels[0], "");
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(std::count(ui.log.begin(), ui.log.end(), "Ошибка обмена RS232"), 1);
  // Tries go on silently while the device is away, and nothing spins.
  const std::uint64_t notifications = port.Notifications();
  RunUntil([] { return false; }, 2500);
  EXPECT_LT(port.Notifications() - notifications, 10u);
  EXPECT_TRUE(ui.errors.empty());
  EXPECT_TRUE(link.Flags.Receiving);
  ui.log.push_back("kept");
  sim = std::make_unique<SimProcess>(QStringList{"--time-scale", "60", "--speed", "15"});
  ASSERT_TRUE(sim->Start(portPath));
  ASSERT_TRUE(RunUntil([&] { return ui.panels[0] == s.Port && Settled(); }, kProgramStepMs));
  EXPECT_NE(std::find(ui.log.begin(), ui.log.end(), "kept"), ui.log.end());
  const int target = passStarts + 1;
  EXPECT_TRUE(RunUntil([&] { return passStarts >= target; }, kProgramStepMs));
}

// The Qt driver over a scripted port (the real port object stays closed).
class QtDriver : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDefaults(s);
    s.Port = "/dev/ttyUSB0";
    driver.Attach(link);
  }
  // Receive mode; the starter's timer opens the port and the handshake's
  // first command is asked for.
  void OpenPort() {
    link.Controls.Initialise();
    link.Acq.SetReceiveMode(true);
    link.Session.QelTimerTimer();
    QCoreApplication::processEvents();
  }
  Settings s;
  SpectrumStore store;
  RunValues run;
  test::Recorder ui;
  test::FakePort port;
  QtSerialPort unused;
  QtLinkDriver driver{unused};
  Link link{port, s, store, run, ui, driver, nullptr, ","};
};

// A command waits for a pulse that does not come (the instrument is off):
// the driver looks at the line as seldom as the wait allows, up to every
// 20 ms, not every 1 ms.
TEST_F(QtDriver, StuckLineIsPolledAtTheIntervalTheWaitAsks) {
  port.cts = CtsReport::LevelAndCount;
  OpenPort();  // the first command waits
  ASSERT_TRUE(link.Sender.Waiting());
  std::vector<int> intervals;
  // Each look when the poll's timer fires: the next one is due at the
  // interval the wait asks for (1 ms, 20 ms once the line has been still).
  for (int i = 0; i < 400 && link.Sender.PollInterval() < CommandSender::SlowPollMs; ++i) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    ASSERT_EQ(driver.CtsPollInterval(), link.Sender.PollInterval());
    intervals.push_back(driver.CtsPollInterval());
  }
  EXPECT_EQ(intervals.front(), 1);
  EXPECT_EQ(intervals.back(), CommandSender::SlowPollMs);
  EXPECT_TRUE(port.writes.empty());
}

// However fast telegrams come (the port's notifier fires for each), the
// receive loop runs in batches at most every 10 ms, each over all that
// waits; nothing is lost, and a command asked for meanwhile goes out with
// the next batch.
TEST_F(QtDriver, TelegramsAreTakenInBatchesAtMostEveryTenMilliseconds) {
  OpenPort();  // no modem lines: commands go out at once
  ASSERT_TRUE(port.open);
  port.FeedTelegram(1, {7, 9});  // Tm01: the instrument is there
  const auto drain = [&] {
    for (int i = 0; i < 1000 && !port.input.empty(); ++i) {
      driver.RequestIteration();
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
  };
  drain();
  ui.plotted.clear();
  const long long before = driver.Batches();
  QElapsedTimer clock;
  clock.start();
  constexpr int Telegrams = 3000;
  for (int i = 0; i < Telegrams; ++i) {
    const int x = 1000 + i;
    port.FeedTelegram(2, {static_cast<std::uint8_t>(x >> 8), static_cast<std::uint8_t>(x & 0xFF), 0x08, 0x00});
    emit unused.Activity();  // as readyRead does for every telegram
    QCoreApplication::processEvents();
  }
  drain();
  const long long batches = driver.Batches() - before;
  EXPECT_TRUE(port.input.empty());
  EXPECT_EQ(ui.plotted.size(), std::size_t{Telegrams});
  EXPECT_EQ(ui.plotted.front(), 1000);
  EXPECT_EQ(ui.plotted.back(), 1000 + Telegrams - 1);
  EXPECT_LE(batches, clock.elapsed() / QtLinkDriver::BatchMs + 2) << batches << " batches in " << clock.elapsed() << " ms";
  // A command asked for between two batches (an ADC reading) goes out
  // with the next one.
  const std::size_t written = port.writes.size();
  const long long atAsk = driver.Batches();
  link.Adc.ADCTimerTimer();
  EXPECT_EQ(port.writes.size(), written);  // never from inside the handler
  for (int i = 0; i < 100 && driver.Batches() == atAsk; ++i)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  EXPECT_EQ(driver.Batches(), atAsk + 1);
  ASSERT_EQ(port.writes.size(), written + 1);
  EXPECT_EQ(port.Codes().back(), CmdAdc);
  // A quiet line: a batch that only sends a command does not hold back the
  // answer to it by another 10 ms; the answer is taken when it comes.
  QEventLoop quiet;
  QTimer::singleShot(QtLinkDriver::BatchMs + 5, &quiet, &QEventLoop::quit);
  quiet.exec();
  link.Adc.ADCTimerTimer();
  for (int i = 0; i < 100 && port.writes.size() == written + 1; ++i)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  ASSERT_EQ(port.writes.size(), written + 2);
  const long long atAnswer = driver.Batches();
  port.FeedTelegram(2, {0x10, 0x00, 0x08, 0x00});
  emit unused.Activity();
  QCoreApplication::processEvents();
  EXPECT_EQ(driver.Batches(), atAnswer + 1);
  EXPECT_EQ(ui.plotted.back(), 0x1000);
}

// A pseudo-terminal for a port: the port opens ptsname(master).
struct Pty {
  Pty() : master(::posix_openpt(O_RDWR | O_NOCTTY)) {
    if (master >= 0 && (::grantpt(master) != 0 || ::unlockpt(master) != 0)) {
      ::close(master);
      master = -1;
    }
  }
  ~Pty() {
    if (master >= 0) ::close(master);
  }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;
  int master;
};

// A loop that has fallen far behind: the port's queue keeps the newest
// bytes up to its bound and reports the rest as a line error.
TEST(QtPort, QueueBehindTheLineStaysBounded) {
  const Pty pty;
  const int master = pty.master;
  ASSERT_GE(master, 0);
  QtSerialPort port;
  // A driver that counts line errors, none of them meanwhile: the bytes
  // given up are a line error of their own.
  std::uint64_t driverErrors = 5;
  port.SetCounterSource([&](std::uint64_t& errors, std::uint64_t& cts) {
    errors = driverErrors;
    cts = 0;
    return true;
  });
  ASSERT_TRUE(port.Open(::ptsname(master), 115200));
  const std::size_t total = static_cast<std::size_t>(QtSerialPort::ReadQueueBytes) + 100000;
  std::vector<char> chunk(4096, 'x');
  chunk.back() = 'y';  // the newest byte of each chunk
  std::size_t sent = 0;
  while (sent < total) {
    // The terminal takes a few kilobytes at a time: the port reads them off.
    const ssize_t n = ::write(master, chunk.data(), chunk.size());
    if (n > 0) sent += static_cast<std::size_t>(n);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  for (int i = 0; i < 200 && port.Notifications() == 0; ++i) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
  SerialPort::LineStatus status{};
  for (int i = 0; i < 200; ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    status = port.FetchLineStatus();
    if (status.Errors) break;
  }
  EXPECT_TRUE(status.Errors);
  EXPECT_LE(status.Waiting, static_cast<std::size_t>(QtSerialPort::ReadQueueBytes));
  EXPECT_GT(port.Overruns(), 0);
  // The oldest bytes were given up: the last kept is the newest written.
  std::vector<std::uint8_t> kept(status.Waiting);
  ASSERT_EQ(port.Read(kept.data(), kept.size()), kept.size());
  EXPECT_EQ(kept.back(), 'y');
  // Within the bound, only the driver's count says whether the line erred.
  EXPECT_FALSE(port.FetchLineStatus().Errors);
  ++driverErrors;
  EXPECT_TRUE(port.FetchLineStatus().Errors);
  EXPECT_FALSE(port.FetchLineStatus().Errors);
  port.Close();
}

// A port closed and opened again at once (a reconnect) pauses and resumes
// the new port's reading: the notifier kept from the first opening is gone.
TEST(QtPort, PauseFollowsAPortOpenedAgain) {
  Pty pty;
  const int master = pty.master;
  ASSERT_GE(master, 0);
  QtSerialPort port;
  int activity = 0;
  QObject::connect(&port, &QtSerialPort::Activity, [&] { ++activity; });
  ASSERT_TRUE(port.Open(::ptsname(master), 115200));
  port.SetReadPaused(true);
  EXPECT_TRUE(port.ReadPaused());
  port.Close();
  ASSERT_TRUE(port.Open(::ptsname(master), 115200));
  EXPECT_FALSE(port.ReadPaused());
  port.SetReadPaused(true);
  EXPECT_TRUE(port.ReadPaused());
  ASSERT_EQ(::write(master, "abc", 3), 3);
  for (int i = 0; i < 10; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  EXPECT_EQ(activity, 0);
  EXPECT_TRUE(port.PullWaiting());
  EXPECT_EQ(port.BytesWaiting(), 3u);
  port.SetReadPaused(false);
  EXPECT_FALSE(port.ReadPaused());
  ASSERT_EQ(::write(master, "d", 1), 1);
  for (int i = 0; i < 100 && activity == 0; ++i) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
  EXPECT_GT(activity, 0);
  // The bytes pulled and those notified, in the order they came.
  std::uint8_t got[8] = {};
  ASSERT_EQ(port.Read(got, sizeof got), 4u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(got), 4), "abcd");
  // What a closed port had not given the loop is not the next one's.
  ASSERT_EQ(::write(master, "ef", 2), 2);
  for (int i = 0; i < 100 && port.BytesWaiting() == 0; ++i) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
  ASSERT_EQ(port.BytesWaiting(), 2u);
  port.Close();
  ASSERT_TRUE(port.Open(::ptsname(master), 115200));
  EXPECT_EQ(port.BytesWaiting(), 0u);
  // The other end gone while the port is paused: the batch's pull says so.
  port.SetReadPaused(true);
  ::close(pty.master);
  pty.master = -1;
  port.PullWaiting();
  EXPECT_TRUE(port.Lost());
  port.Close();
}

}  // namespace qel

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
