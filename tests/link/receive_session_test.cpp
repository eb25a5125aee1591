#include <gtest/gtest.h>

#include "fakes.h"

namespace qel {

using test::LinkRig;
using Next = ReceiveSession::Next;

class Session : public ::testing::Test, public LinkRig {};

TEST_F(Session, StartOpensThePortAndShowsIt) {
  ui.log.push_back("old line");
  Start();
  EXPECT_TRUE(link.Flags.Receiving);
  EXPECT_EQ(port.openedName, "/dev/ttyUSB0");
  EXPECT_EQ(port.openedBaud, 115200);
  EXPECT_EQ(ui.panels[0], "/dev/ttyUSB0");
  EXPECT_EQ(ui.panels[1], "115200 бод");
  EXPECT_TRUE(ui.log.empty());
  EXPECT_FALSE(ui.timers[LinkTimer::QelTimer]);
  EXPECT_TRUE(ui.timers[LinkTimer::WDTimer]);
  EXPECT_EQ(ui.panels[7], "");
}

TEST_F(Session, PortThatCannotOpenIsReportedAndTheLoopDoesNotRun) {
  port.openSucceeds = false;
  s.Port = "COM7";
  Start();
  EXPECT_FALSE(link.Flags.Receiving);
  EXPECT_FALSE(link.Session.Running());
  EXPECT_EQ(ui.errors, (std::vector<std::string>{"Невозможно инициализировать порт COM7"}));
  EXPECT_EQ(ui.panels[0], "");
  EXPECT_EQ(ui.panels[1], "");
  EXPECT_FALSE(ui.timers[LinkTimer::WDTimer]);
  EXPECT_EQ(link.Session.Iterate(), Next::Nothing);
  EXPECT_TRUE(port.writes.empty());
}

TEST_F(Session, HandshakeGoesOutInOrderEachAfterItsEcho) {
  Start();
  Pump();
  EXPECT_EQ(port.Codes(), (std::vector<int>{150}));
  EXPECT_TRUE(ui.timers[LinkTimer::SendTimer]);
  // Unanswered: repeated only after two SendTimer ticks.
  Pump();
  link.Session.SendTimerTimer();
  Pump();
  EXPECT_EQ(port.Codes(), (std::vector<int>{150}));
  link.Session.SendTimerTimer();
  EXPECT_FALSE(ui.timers[LinkTimer::SendTimer]);
  Pump();
  EXPECT_EQ(port.Codes(), (std::vector<int>{150, 150}));
  port.writes.clear();
  link.Session.SendTimerTimer();
  link.Session.SendTimerTimer();
  CompleteHandshake();
  EXPECT_EQ(port.Codes(), (std::vector<int>{150, 111, 122, 133}));
  EXPECT_TRUE(link.Flags.Linked && link.Flags.BoundsAcked && link.Flags.GainSpeedAcked && link.Flags.CorrAcked);
  // Settled: nothing more is sent.
  link.Session.SendTimerTimer();
  link.Session.SendTimerTimer();
  Pump();
  EXPECT_EQ(port.writes.size(), 4u);
  EXPECT_EQ(port.writes[1], (std::vector<std::uint8_t>{0x81, 0x58, 0x6F, 0xFF, 0xEF, 0x00, 0x00, 0x5D}));
  // Tm01 restarts it, at once.
  port.writes.clear();
  port.FeedTelegram(1, {3, 17});
  Pump();
  EXPECT_EQ(port.Codes(), (std::vector<int>{150}));
  EXPECT_EQ(ui.panels[6], "S/N: 17");
  EXPECT_EQ(ui.panels[5], "PR: 3");
  EXPECT_EQ(run.SerialNumber, 17);
  EXPECT_EQ(ui.log, (std::vector<std::string>{"Tm11. POLEmaxP=0", "      POLEminP=0", "Tm22. KodAmpl=0",
                                              "      KodRapid=0", "Tm33. Ukorr=0", "Tm01. PROGRAMMA=3",
                                              "      SPnomer=17"}));
  link.Session.SendTimerTimer();
  link.Session.SendTimerTimer();
  port.writes.clear();
  CompleteHandshake();
  EXPECT_EQ(port.Codes(), (std::vector<int>{150, 111, 122, 133}));
}

TEST_F(Session, NineBytesWaitForTheTenth) {
  Start();
  CompleteHandshake();
  port.FeedTelegram(50);
  port.FeedTelegram(1, {1, 2});
  port.input.pop_back();
  Pump();
  EXPECT_EQ(port.input.size(), 9u);  // the Tm50 was read, the rest waits
  port.Feed({static_cast<std::uint8_t>(1 + 1 + 2)});
  Pump();
  EXPECT_EQ(ui.panels[6], "S/N: 2");
}

TEST_F(Session, DoubleSyncByteCostsTheTelegram) {
  Start();
  CompleteHandshake();
  port.Feed({0x7F});
  port.FeedTelegram(1, {5, 6});   // 7F 7F AA ...: both 7F dropped, then AA
  port.FeedTelegram(77, {0x04, 0xD2, 0x02, 0x37});
  Pump();
  EXPECT_EQ(ui.panels.count(6), 0u);
  EXPECT_EQ(ui.log.back(), "Tm77. Поле:1234  X=567");
  EXPECT_EQ(link.Flags.CurrentCode, 1234);
}

TEST_F(Session, ChecksumErrorsAreLoggedOnceWhileTheyLast) {
  Start();
  CompleteHandshake();
  ui.log.clear();
  auto bad = [&] {
    port.FeedTelegram(22, {1, 2});
    port.input.back() ^= 0x55;
  };
  bad();
  bad();
  Pump();
  EXPECT_EQ(ui.log, (std::vector<std::string>{"Неверная контрольная сумма"}));
  EXPECT_EQ(ui.panels[7], "Неверная контрольная сумма");
  EXPECT_EQ(link.Flags.LinkState, LinkStatus::ChecksumError);
  port.FeedTelegram(50);
  Pump();
  EXPECT_EQ(ui.panels[7], "");
  EXPECT_EQ(link.Flags.LinkState, LinkStatus::Ok);
  bad();
  Pump();
  EXPECT_EQ(ui.log.size(), 2u);
}

TEST_F(Session, LineErrorShowsOnceAndTheBytesStayQueued) {
  Start();
  CompleteHandshake();
  ui.log.clear();
  port.FeedTelegram(1, {9, 9});
  port.lineErrors = true;
  EXPECT_EQ(link.Session.Iterate(), Next::Again);
  EXPECT_EQ(ui.log, (std::vector<std::string>{"Ошибка обмена RS232"}));
  EXPECT_EQ(ui.panels[7], "Ошибка обмена RS232");
  EXPECT_EQ(port.input.size(), 10u);
  port.lineErrors = true;
  link.Session.Iterate();
  EXPECT_EQ(ui.log.size(), 1u);
  Pump();
  EXPECT_EQ(ui.panels[7], "");
  EXPECT_EQ(ui.panels[6], "S/N: 9");
}

TEST_F(Session, WatchdogAtExactlyTwoTicks) {
  Start();
  CompleteHandshake();
  ui.log.clear();
  link.Session.WDTimerTimer();
  EXPECT_EQ(link.Flags.LinkState, LinkStatus::Ok);
  link.Session.WDTimerTimer();
  EXPECT_EQ(link.Flags.LinkState, LinkStatus::NoSignal);
  EXPECT_EQ(ui.panels[7], "Нет сигнала от блока");
  EXPECT_TRUE(ui.log.empty());  // not logged
  EXPECT_FALSE(link.Flags.Linked || link.Flags.BoundsAcked || link.Flags.GainSpeedAcked || link.Flags.CorrAcked);
  ui.panels[7] = "x";
  link.Session.WDTimerTimer();
  EXPECT_EQ(ui.panels[7], "x");  // rising further has no effect
  // 150 goes out again; no ADC request while silent.
  port.writes.clear();
  link.Adc.SetAdcMonitor(true);
  link.Adc.ADCTimerTimer();
  link.Session.SendTimerTimer();
  link.Session.SendTimerTimer();
  Pump();
  EXPECT_EQ(port.Codes(), (std::vector<int>{150}));
  // Other telegrams leave the state; a Tm02 ends it.
  port.FeedTelegram(50);
  Pump();
  EXPECT_EQ(link.Flags.LinkState, LinkStatus::NoSignal);
  port.FeedTelegram(2, LinkRig::Point(100, 2048));
  Pump();
  EXPECT_EQ(link.Flags.LinkState, LinkStatus::Ok);
  EXPECT_EQ(ui.panels[7], "");
  EXPECT_EQ(link.Flags.SilenceTicks, 0);
}

TEST_F(Session, ReportsOfTheInstrumentAreLogged) {
  Start();
  CompleteHandshake();
  ui.log.clear();
  port.FeedTelegram(100, {5, 7});
  port.FeedTelegram(90, {5, 7});
  port.FeedTelegram(98);
  port.FeedTelegram(99);
  port.FeedTelegram(4, {0x80, 0x00, 3, 200, 0x04, 0x08});
  Pump();
  EXPECT_EQ(ui.log, (std::vector<std::string>{
                        "Несоответствие принятого байта ожидаемому (5<>7)",
                        "Несовпадение КС принятой блоком",
                        "  (5<>7)",
                        "Отсутствие приема байта в теченние 10 мсек",
                        "Отсутствие прерывания по UART в течение 5 сек",
                        "Tm04. Ukorr=32768",
                        "      dPOLE=3",
                        "      Nmax=200",
                        "      KodAmpl=4",
                        "      KodRapid=8",
                    }));
}

TEST_F(Session, UnknownTypeChangesNothing) {
  Start();
  CompleteHandshake();
  const auto panels = ui.panels;
  const auto log = ui.log;
  port.FeedTelegram(5, {1, 2, 3, 4, 5, 6});
  Pump();
  EXPECT_EQ(ui.panels, panels);
  EXPECT_EQ(ui.log, log);
  EXPECT_TRUE(port.input.empty());
}

TEST_F(Session, ClearedReceivingEndsTheLoopAndClosesThePort) {
  Start();
  CompleteHandshake();
  link.Acq.SetReceiveMode(false);
  EXPECT_FALSE(link.Flags.Receiving);
  link.Session.Iterate();
  EXPECT_FALSE(port.open);
  EXPECT_FALSE(link.Session.Running());
  EXPECT_EQ(ui.panels[0], "");
  EXPECT_EQ(ui.panels[1], "");
  EXPECT_FALSE(ui.timers[LinkTimer::WDTimer]);
  EXPECT_EQ(ui.panels[8], "");
  link.Session.Iterate();
  EXPECT_EQ(port.closes, 1);  // closing twice is harmless and not repeated
}

// Analyse mode chosen within the 500 ms before QelTimer fires: the timer is
// stopped, and a tick already on its way opens nothing.
TEST_F(Session, AnalyseModeBeforeTheLoopStartsStopsQelTimer) {
  link.Controls.Initialise();
  link.Acq.SetReceiveMode(true);
  EXPECT_TRUE(ui.timers[LinkTimer::QelTimer]);
  link.Acq.SetReceiveMode(false);
  EXPECT_FALSE(ui.timers[LinkTimer::QelTimer]);
  link.Session.QelTimerTimer();
  EXPECT_EQ(port.opens, 0);
  EXPECT_FALSE(link.Session.Running());
  EXPECT_FALSE(link.Flags.Receiving);
}

// A line error fetched in an iteration that then waits for the clear-to-send
// pulse is not lost: it is shown once the command is out, and that iteration
// reads nothing.
TEST_F(Session, LineErrorIsCarriedAcrossACtsWait) {
  port.cts = CtsReport::Level;
  Start();
  port.FeedTelegram(50);
  port.lineErrors = true;
  EXPECT_EQ(link.Session.Iterate(), Next::PollCts);  // the error is fetched, 150 waits
  EXPECT_FALSE(port.lineErrors);
  port.ctsOn = true;
  link.Session.Iterate();
  port.ctsOn = false;
  link.Session.Iterate();
  EXPECT_EQ(port.Codes(), (std::vector<int>{150}));
  EXPECT_EQ(ui.panels[7], "Ошибка обмена RS232");
  EXPECT_EQ(port.input.size(), 10u);
  Pump();
  EXPECT_TRUE(link.Flags.Linked);
  EXPECT_EQ(ui.panels[7], "");
}

TEST_F(Session, CommandsWaitForTheirPulseAndNoTelegramIsReadMeanwhile) {
  port.cts = CtsReport::Level;
  Start();
  port.FeedTelegram(50);
  EXPECT_EQ(link.Session.Iterate(), Next::PollCts);
  EXPECT_TRUE(port.writes.empty());
  port.ctsOn = true;
  EXPECT_EQ(link.Session.Iterate(), Next::PollCts);
  EXPECT_EQ(link.Session.Iterate(), Next::PollCts);
  EXPECT_EQ(port.input.size(), 10u);  // nothing read while the command waits
  port.ctsOn = false;
  link.Session.Iterate();
  EXPECT_EQ(port.Codes(), (std::vector<int>{150}));  // written right after the falling edge
  EXPECT_TRUE(port.input.empty());                 // and the telegram read in the same iteration
  EXPECT_TRUE(link.Flags.Linked);
}

TEST_F(Session, ShortPulsesAreCountedNotMissed) {
  port.cts = CtsReport::LevelAndCount;
  Start();
  EXPECT_EQ(link.Session.Iterate(), Next::PollCts);
  port.ctsChanges += 2;  // on and off between two polls; the level reads off throughout
  link.Session.Iterate();
  EXPECT_EQ(port.Codes(), (std::vector<int>{150}));
}

// The line moves between any two modem calls, one change at a time: wherever
// the wait begins, a command goes out only once the line has fallen after
// the wait began, never on a rising edge.
TEST(CtsWait, CommandGoesOutOnTheFallingEdgeWhereverTheWaitBegins) {
  for (CtsReport report : {CtsReport::Level, CtsReport::LevelAndCount}) {
    for (std::size_t lead = 0; lead < 8; ++lead) {
      SCOPED_TRACE(::testing::Message() << "counter " << (report == CtsReport::LevelAndCount) << ", lead " << lead);
      LinkRig rig;
      rig.port.cts = report;
      // Off for `lead` calls, then pulses four calls wide.
      rig.port.ctsScript.assign(lead, false);
      for (int pulse = 0; pulse < 3; ++pulse)
        for (int k = 0; k < 8; ++k) rig.port.ctsScript.push_back(k < 4);
      rig.Start();
      for (int i = 0; i < 100 && rig.port.writes.empty(); ++i) rig.link.Session.Iterate();
      ASSERT_EQ(rig.port.Codes(), (std::vector<int>{150}));
      EXPECT_FALSE(rig.port.ctsAtWrite[0]);
      EXPECT_GT(rig.port.ctsStep, lead + 4);  // after a fall, not before the first rise
    }
  }
}

// The instrument is off and the line never moves: after 100 ms the command
// wait looks at it at most every 20 ms; a change brings 1 ms back for 100 ms,
// and so does a new wait.
TEST(CtsWait, StuckLineIsPolledAtMostFiftyTimesASecond) {
  LinkRig rig;
  rig.port.cts = CtsReport::LevelAndCount;
  rig.Start();
  int ms = 0, polls = 0;
  auto runUntil = [&](int until) {  // the next iteration when the driver's timer fires
    for (polls = 0; ms < until; ++polls) {
      ASSERT_EQ(rig.link.Session.Iterate(), Next::PollCts);
      ms += rig.link.Sender.PollInterval();
    }
  };
  // Every 1 ms until the look 100 ms after the wait began or the line last
  // moved, which slows down.
  auto expectSlowerFrom100Ms = [&](int since) {
    runUntil(since + 100);
    EXPECT_EQ(rig.link.Sender.PollInterval(), 1);
    runUntil(since + 101);
    EXPECT_EQ(rig.link.Sender.PollInterval(), 2);
  };
  expectSlowerFrom100Ms(0);
  runUntil(1000);
  runUntil(2000);
  EXPECT_EQ(polls, 50);  // wake-ups in the second second
  EXPECT_EQ(rig.link.Sender.PollInterval(), CommandSender::SlowPollMs);
  // The device went away and is back: its command waits afresh, from 1 ms.
  rig.port.lost = true;
  ASSERT_EQ(rig.link.Session.Iterate(), Next::Reconnect);
  ASSERT_TRUE(rig.link.Session.TryReconnect());
  ASSERT_EQ(rig.link.Session.Iterate(), Next::PollCts);
  EXPECT_EQ(rig.link.Sender.PollInterval(), 1);
  runUntil(ms + 1000);
  EXPECT_EQ(rig.link.Sender.PollInterval(), CommandSender::SlowPollMs);
  // The instrument is back: the line rises, and then stays up.
  const int risen = ms;
  rig.port.ctsChanges += 1;
  runUntil(ms + 1);
  EXPECT_EQ(rig.link.Sender.PollInterval(), 1);
  expectSlowerFrom100Ms(risen);
  EXPECT_TRUE(rig.port.writes.empty());
  rig.port.ctsChanges += 1;
  rig.link.Session.Iterate();
  EXPECT_EQ(rig.port.Codes(), (std::vector<int>{150}));
}

// Half a pulse seen before the device vanished does not count for the
// command sent to the reopened port.
TEST(CtsWait, AWaitCutShortByTheLossOfTheDeviceStartsAfresh) {
  LinkRig rig;
  rig.port.cts = CtsReport::Level;
  rig.Start();
  rig.link.Session.Iterate();  // 150 waits
  rig.port.ctsOn = true;
  rig.link.Session.Iterate();
  rig.port.lost = true;
  rig.link.Session.Iterate();
  ASSERT_TRUE(rig.link.Session.TryReconnect());
  rig.port.ctsOn = false;
  rig.link.Session.Iterate();
  EXPECT_TRUE(rig.port.writes.empty());
}

TEST_F(Session, AdcRequestsQueueBehindTheHandshakeEachWithItsPulse) {
  port.cts = CtsReport::Level;
  Start();
  link.Adc.SetAdcMonitor(true);
  EXPECT_EQ(link.Session.Iterate(), Next::PollCts);  // 150 waits
  link.Adc.ADCTimerTimer();
  link.Adc.ADCTimerTimer();  // one request at a time
  auto pulse = [&] {
    port.ctsOn = true;
    link.Session.Iterate();
    port.ctsOn = false;
    link.Session.Iterate();
  };
  pulse();
  EXPECT_EQ(port.Codes(), (std::vector<int>{150}));
  pulse();
  EXPECT_EQ(port.Codes(), (std::vector<int>{150, 144}));
  EXPECT_EQ(link.Session.Iterate(), Next::Nothing);
}

TEST_F(Session, NoRequestToAClosedPort) {
  s.ADCFreq = 250;
  link.Adc.SetAdcMonitor(true);
  EXPECT_TRUE(ui.timers[LinkTimer::ADCTimer]);
  EXPECT_EQ(ui.intervals[LinkTimer::ADCTimer], 250);
  link.Adc.ADCTimerTimer();
  EXPECT_FALSE(link.Sender.Waiting());
  EXPECT_TRUE(port.writes.empty());
  s.ADCFreq = 0;  // an interval of 0 runs no timer
  link.Adc.SetAdcMonitor(true);
  EXPECT_FALSE(ui.timers[LinkTimer::ADCTimer]);
}

TEST_F(Session, AdcReadingIsShownAndPlottedAtTheSweepPosition) {
  Start();
  CompleteHandshake();
  port.FeedTelegram(44, {0x0F, 0xFF});
  Pump();
  EXPECT_EQ(run.AdcCode, 0);  // monitor off: nothing
  EXPECT_TRUE(ui.pixels.empty());
  link.Adc.SetAdcMonitor(true);
  port.FeedTelegram(14, {0, 0, 0, 0, 0x01, 0x00});
  port.FeedTelegram(44, {0x0F, 0xFF});
  port.FeedTelegram(44, {0x00, 0x00});
  Pump();
  EXPECT_EQ(run.AdcCode, 0);
  EXPECT_EQ(ui.pixels, (std::vector<std::pair<std::uint16_t, int>>{{256, 4095}, {256, 2048}}));
  EXPECT_EQ(ui.adcText, "0");
}

TEST_F(Session, VanishedDeviceIsReopenedSilentlyAndTheLogKept) {
  Start();
  CompleteHandshake();
  ui.log.push_back("before");
  // An adapter being pulled out often raises a line error first; its loss
  // is logged all the same.
  port.FeedTelegram(50);
  port.lineErrors = true;
  link.Session.Iterate();
  ASSERT_EQ(link.Flags.LinkState, LinkStatus::PortError);
  port.input.clear();
  port.lost = true;
  EXPECT_EQ(link.Session.Iterate(), Next::Reconnect);
  EXPECT_EQ(ui.panels[7], "Ошибка обмена RS232");
  EXPECT_EQ(ui.log.back(), "Ошибка обмена RS232");
  EXPECT_EQ(ui.panels[0], "");
  EXPECT_FALSE(port.open);
  port.openSucceeds = false;
  EXPECT_FALSE(link.Session.TryReconnect());
  EXPECT_FALSE(link.Session.TryReconnect());
  EXPECT_TRUE(ui.errors.empty());  // no box for these tries
  EXPECT_EQ(std::count(ui.log.begin(), ui.log.end(), "Ошибка обмена RS232"), 2);  // the error and the loss
  port.openSucceeds = true;
  EXPECT_TRUE(link.Session.TryReconnect());
  EXPECT_EQ(ui.panels[0], "/dev/ttyUSB0");
  EXPECT_EQ(ui.panels[7], "");
  EXPECT_NE(std::find(ui.log.begin(), ui.log.end(), "before"), ui.log.end());
  EXPECT_EQ(link.Controls.LastGainStatus(), -1);
  port.writes.clear();
  Pump();
  EXPECT_EQ(port.Codes(), (std::vector<int>{150}));  // the handshake starts again
}

TEST_F(Session, ReconnectStopsWhenReceivingIsCleared) {
  Start();
  port.lost = true;
  link.Session.Iterate();
  link.Acq.SetReceiveMode(false);
  port.openSucceeds = true;
  EXPECT_FALSE(link.Session.TryReconnect());
  EXPECT_FALSE(link.Session.Running());
  EXPECT_FALSE(port.open);
}

}  // namespace qel
