#include <gtest/gtest.h>

#include "fakes.h"
#include "sim_port.h"

namespace qel {

namespace {

struct SimRig {
  SimRig(CtsReport report, std::vector<double> widths) : port(Options(), report, 0.0047, std::move(widths)) {
    SetDefaults(s);
    s.Rapid = 11;  // "30 сек": 4 codes per telegram
    link.Controls.Initialise();
    link.Acq.SetReceiveMode(true);
    link.Session.QelTimerTimer();
  }
  static qelsim::Options Options() {
    qelsim::Options o;
    o.TimeScale = 60;  // a full sweep in half a second
    o.StartSpeedCode = 15;
    return o;
  }
  // Moves the clock in steps of 1 ms, running the timers and the loop as the
  // driver would.
  void Run(int milliseconds) {
    for (int k = 0; k < milliseconds; ++k, ++ms) {
      port.SetTime(ms / 1000.0);
      if (ms % 100 == 0) link.Session.SendTimerTimer();
      if (ms % 1000 == 0) link.Session.WDTimerTimer();
      while (link.Session.Iterate() == ReceiveSession::Next::Again) {
      }
    }
  }
  bool Settled() const {
    return link.Flags.Linked && link.Flags.BoundsAcked && link.Flags.GainSpeedAcked && link.Flags.CorrAcked;
  }

  Settings s;
  SpectrumStore store;
  RunValues run;
  test::Recorder ui;
  qelsim::SimPort port;
  Link link{port, s, store, run, ui, ui, nullptr, ","};
  int ms = 0;
};

}  // namespace

TEST(SimulatedInstrument, CommandsGoOutOnlyAfterAPulseEvenAShortOne) {
  SimRig rig(CtsReport::LevelAndCount, {0.0003, 0.002, 0.0005});
  rig.Run(3000);
  EXPECT_EQ(rig.port.Refused(), 0);
  EXPECT_TRUE(rig.Settled());
  const std::vector<int> log = rig.port.Device().CommandLog();
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(std::vector<int>(log.begin(), log.begin() + 4), (std::vector<int>{150, 111, 122, 133}));
  EXPECT_EQ(rig.port.Device().SpeedCode(), 15);
  EXPECT_GE(rig.port.Device().PassesStarted(), 2);
}

TEST(SimulatedInstrument, OnlyShortPulsesAreCaughtByTheCounter) {
  SimRig rig(CtsReport::LevelAndCount, {0.0002});
  rig.Run(2000);
  EXPECT_EQ(rig.port.Refused(), 0);
  EXPECT_TRUE(rig.Settled());
}

TEST(SimulatedInstrument, UnpacedWritesAreRefused) {
  // A port that claims it cannot report the line writes at once; this
  // instrument then refuses what comes without a pulse, so the check is real.
  SimRig rig(CtsReport::None, {0.0003});
  rig.Run(500);
  EXPECT_GT(rig.port.Refused(), 0);
}

TEST(SimulatedInstrument, SweepFillsTheSpectrumWithTheSimulatedValues) {
  SimRig rig(CtsReport::LevelAndCount, {0.001});
  int passes = 0;
  bool checked = false;
  rig.link.Session.SetTelegramTap([&](const Telegram& t) {
    if (t.Type != 3) return;
    if (++passes == 3) {
      // The pass that has just ended was received whole: check it before the
      // pass start clears it.
      int compared = 0;
      for (int x = 0; x <= 65519; x += 4) {
        const int expected = rig.port.Device().SignalAt(x);
        for (int k = 0; k < 4 && x + k <= 65522; ++k) {
          const SpectrumPoint p = rig.store.CurrentSpectrum[static_cast<std::size_t>(x + k)];
          ASSERT_EQ(p.Value, expected) << x + k;
          ASSERT_EQ(p.Code, x + k);
          ++compared;
        }
      }
      EXPECT_EQ(compared, 65520);
      checked = true;
    }
  });
  rig.Run(4000);
  EXPECT_TRUE(checked);
}

}  // namespace qel

namespace qelsim {

// Silences of any length, not only lengths a double holds exactly: 2.3 s
// is a hair over 2 + 0.3, and the sweep must go on after each silence.
TEST(SimulatedInstrument, SweepGoesOnAfterEachSilence) {
  Options o;
  o.SilenceEvery = 2;
  o.SilenceFor = 0.3;
  Instrument device(o);
  std::vector<int> sentIn(60, 0);  // bytes sent in each 100 ms
  for (int ms = 1; ms <= 6000; ++ms) {
    device.Advance(ms / 1000.0);
    sentIn[static_cast<std::size_t>((ms - 1) / 100)] += static_cast<int>(device.TakeOutput().size());
  }
  for (int k : {0, 5, 10, 15, 19, 24, 30, 39, 44, 50, 59}) EXPECT_GT(sentIn[static_cast<std::size_t>(k)], 0) << k;
  for (int k : {20, 21, 40, 41}) EXPECT_EQ(sentIn[static_cast<std::size_t>(k)], 0) << k;
}

}  // namespace qelsim
