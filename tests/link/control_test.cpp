#include <gtest/gtest.h>

#include "fakes.h"

namespace qel {

using test::LinkRig;

class Controls : public ::testing::Test, public LinkRig {
 protected:
  void SetUp() override {
    Start();
    CompleteHandshake();
  }
};

TEST_F(Controls, ManualGainIsAdoptedAndEchoed) {
  const int repaints = ui.repaints;
  link.Controls.GainStatus(0x84);
  EXPECT_EQ(ui.gain, 3);  // "10"
  EXPECT_EQ(s.Amplifying, 3);
  EXPECT_EQ(ui.repaints, repaints + 1);
  EXPECT_EQ(ui.labels[ControlGroup::Amp], "РУЧН. УПР.");
  EXPECT_FALSE(ui.groups[ControlGroup::Amp]);
  EXPECT_FALSE(link.Flags.GainSpeedAcked);
  port.writes.clear();
  Pump();
  ASSERT_EQ(port.Codes(), (std::vector<int>{122}));
  EXPECT_EQ(port.writes[0][3], 4);  // gain code 4
  // The same status again: nothing happens.
  link.Flags.GainSpeedAcked = true;
  link.Controls.GainStatus(0x84);
  EXPECT_TRUE(link.Flags.GainSpeedAcked);
}

TEST_F(Controls, ManualCorrectionHidesItsNumbers) {
  link.Controls.GainStatus(0x44);
  EXPECT_TRUE(ui.groups[ControlGroup::Amp]);
  EXPECT_EQ(ui.labels[ControlGroup::Amp], "ПЭВМ");
  EXPECT_FALSE(ui.groups[ControlGroup::Corr]);
  EXPECT_EQ(ui.labels[ControlGroup::Corr], "РУЧН. УПР.");
  EXPECT_TRUE(ui.corrHidden);
  link.Controls.GainStatus(0x04);
  EXPECT_TRUE(ui.groups[ControlGroup::Corr]);
  EXPECT_FALSE(ui.corrHidden);
}

TEST_F(Controls, UnknownGainCodeLeavesTheSelection) {
  link.Controls.AmpBoxChange(5);
  link.Controls.GainStatus(0x87);  // code 7: no entry
  EXPECT_EQ(ui.gain, 5);
  EXPECT_EQ(s.Amplifying, 5);
}

TEST_F(Controls, StopAndStart) {
  link.Controls.SpeedStatus(0x08);  // program control, " 1 мин"
  EXPECT_TRUE(ui.groups[ControlGroup::Speed]);
  link.Flags.GainSpeedAcked = true;
  link.Controls.AStopExecute();
  EXPECT_EQ(ui.speed, 2);
  EXPECT_EQ(s.Rapid, 2);
  EXPECT_FALSE(ui.actions[LinkAction::Stop]);
  EXPECT_TRUE(ui.actions[LinkAction::Start]);
  port.writes.clear();
  Pump();
  ASSERT_EQ(port.Codes(), (std::vector<int>{122}));
  EXPECT_EQ(port.writes[0][4], 1);  // speed code 1
  port.FeedTelegram(22, {1, 1});
  Pump();
  link.Session.SendTimerTimer();
  link.Session.SendTimerTimer();
  // The instrument reports the stop: the selection stays, 122 goes once more.
  link.Controls.SpeedStatus(0x01);
  EXPECT_EQ(ui.speed, 2);
  port.writes.clear();
  Pump();
  EXPECT_EQ(port.Codes(), (std::vector<int>{122}));
  link.Controls.AStartExecute();
  EXPECT_EQ(ui.speed, 10);
  EXPECT_EQ(s.Rapid, 10);
  EXPECT_TRUE(ui.actions[LinkAction::Stop]);
  EXPECT_FALSE(ui.actions[LinkAction::Start]);
}

TEST_F(Controls, ManualSpeedDisablesThePanelUntilTheBitClears) {
  link.Controls.SpeedStatus(0x8F);
  EXPECT_FALSE(ui.groups[ControlGroup::Speed]);
  EXPECT_EQ(ui.labels[ControlGroup::Speed], "РУЧН. УПР.");
  EXPECT_EQ(ui.speed, 11);  // code 15: the last entry
  link.Controls.SpeedStatus(0x0F);
  EXPECT_TRUE(ui.groups[ControlGroup::Speed]);
  EXPECT_EQ(ui.labels[ControlGroup::Speed], "ПЭВМ");
}

TEST_F(Controls, PointsPerTelegramFollowTheReportedSpeed) {
  EXPECT_EQ(link.Controls.PointsPerTelegram(), 1);
  link.Controls.SpeedStatus(0x05);  // "16 мин": 2
  EXPECT_EQ(link.Controls.PointsPerTelegram(), 2);
  link.Controls.SpeedStatus(0x06);  // " 8 мин": 4
  EXPECT_EQ(link.Controls.PointsPerTelegram(), 4);
  link.Controls.SpeedStatus(0x0A);  // no entry: unchanged
  EXPECT_EQ(link.Controls.PointsPerTelegram(), 4);
  link.Controls.SpeedStatus(0x08);  // " 1 мин": 1
  EXPECT_EQ(link.Controls.PointsPerTelegram(), 1);
}

TEST_F(Controls, UpDownButtonsStopAtTheEnds) {
  link.Controls.AmpBoxChange(7);
  link.Controls.UpDnAmpUpClick();
  EXPECT_EQ(ui.gain, 7);
  link.Controls.AmpBoxChange(0);
  link.Controls.UpDnAmpDownClick();
  EXPECT_EQ(ui.gain, 0);
  link.Controls.SpeedBoxChange(11);
  link.Controls.UpDnRazvUpClick();
  EXPECT_EQ(s.Rapid, 11);
  link.Controls.UpDnRazvDownClick();
  EXPECT_EQ(s.Rapid, 10);
}

TEST_F(Controls, CorrectionBarIsTheInverseOfTheEdit) {
  link.Controls.GainStatus(0x01);  // correction under program control
  link.Flags.CorrAcked = true;
  link.Controls.CorrBarChange(0);  // the top
  EXPECT_EQ(ui.corrEdit, 32767);
  EXPECT_EQ(ui.corrBar, 0);
  EXPECT_EQ(s.Correction, 32767);
  EXPECT_FALSE(link.Flags.CorrAcked);
  port.writes.clear();
  Pump();
  ASSERT_EQ(port.Codes(), (std::vector<int>{133}));
  EXPECT_EQ(port.writes[0][3], 0xFF);
  EXPECT_EQ(port.writes[0][4], 0xFF);
  link.Controls.CorrBarChange(65535);  // -32768 clamps to -32767
  EXPECT_EQ(ui.corrEdit, -32767);
  EXPECT_EQ(ui.corrBar, 65534);
  link.Controls.CorrEditChange(100);
  EXPECT_EQ(ui.corrBar, 32667);
  EXPECT_EQ(ui.corrText, "100");
}

TEST_F(Controls, CorrectionUnderManualControlIsNotStored) {
  link.Controls.GainStatus(0x41);
  link.Flags.CorrAcked = true;
  link.Controls.CorrEditChange(500);
  EXPECT_EQ(s.Correction, 0);
  EXPECT_TRUE(link.Flags.CorrAcked);
  EXPECT_EQ(ui.corrText, "500");
}

TEST_F(Controls, BoundsWhileReceivingAndInAnalyseMode) {
  EXPECT_TRUE(link.Controls.GroupEnabled(ControlGroup::Razv));  // receive mode enabled the bounds
  link.Controls.BotFieldChange(1000);
  link.Flags.BoundsAcked = true;
  link.Controls.BotFieldChange(1010);
  EXPECT_EQ(s.PoleMin, 1010);
  EXPECT_EQ(ui.minView, 1010);
  EXPECT_EQ(ui.botText, "1010");
  EXPECT_FALSE(link.Flags.BoundsAcked);
  port.writes.clear();
  Pump();
  ASSERT_EQ(port.Codes(), (std::vector<int>{111}));
  EXPECT_EQ(port.writes[0][5], 1010 >> 8);
  EXPECT_EQ(port.writes[0][6], 1010 & 0xFF);
  // Analyse mode: neither the setting nor the instrument changes.
  link.Acq.SetReceiveMode(false);
  EXPECT_FALSE(ui.groups[ControlGroup::Razv]);
  link.Flags.BoundsAcked = true;
  link.Controls.BotFieldChange(2000);
  EXPECT_EQ(s.PoleMin, 1010);
  EXPECT_EQ(ui.botText, "1010");
  EXPECT_TRUE(link.Flags.BoundsAcked);
  link.Controls.SetGroupEnabled(ControlGroup::Razv, true);
  s.RazvUnit = 3;
  link.Controls.TopFieldChange(65519);
  EXPECT_EQ(ui.topText, "3300 Э");
  EXPECT_EQ(ui.maxView, 65519);
}

}  // namespace qel
