#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "model/spectrum.h"
#include "model/units.h"
#include "recorder.h"

namespace qel {

class Store : public ::testing::Test {
 protected:
  void SetUp() override { SetDefaults(s); }
  Settings s;
  RunValues run;
  SpectrumStore store;
  test::ViewRecorder view;
};

TEST(SpectrumPointLayout, CodeIsTheLowHalfOfALittleEndianWord) {
  const SpectrumPoint p{0x1234, 0xABCD};
  unsigned char b[4];
  std::memcpy(b, &p, 4);
  EXPECT_EQ(b[0], 0x34);
  EXPECT_EQ(b[1], 0x12);
  EXPECT_EQ(b[2], 0xCD);
  EXPECT_EQ(b[3], 0xAB);
}

TEST_F(Store, StartsClearedWithZeroedCopies) {
  for (std::size_t i : {0u, 100u, 65535u}) {
    EXPECT_EQ(store.CurrentSpectrum[i], EmptyPoint);
    EXPECT_EQ(store.BackupSpectrum[i], (SpectrumPoint{0, 0}));
    EXPECT_EQ(store.AccumSpectrum[i], 0.0f);
    EXPECT_EQ(store.RawSpectrum[i], 0);
  }
  EXPECT_EQ(run.SerialNumber, 0);
  EXPECT_EQ(run.ProgramNumber, 0);
  EXPECT_EQ(run.AccumCount, 1);
  EXPECT_EQ(run.MaxIndex, -1);
  EXPECT_EQ(run.IntegralS, -1);
}

TEST_F(Store, SearchesOnAClearedStoreStopAtTheEnds) {
  EXPECT_EQ(store.FindFirstValid(0, 65535), 65535);
  EXPECT_EQ(store.FindLastValid(0, 65535), 0);
  EXPECT_FALSE(IsValid(store.CurrentSpectrum[65535]));
  EXPECT_FALSE(IsValid(store.CurrentSpectrum[0]));
}

TEST_F(Store, SearchesStartAtTheLowerOrUpperArgument) {
  store.CurrentSpectrum[50] = {50, 1000};
  store.CurrentSpectrum[300] = {300, 1000};
  store.CurrentSpectrum[600] = {600, 1000};
  EXPECT_EQ(store.FindFirstValid(500, 100), 300);
  EXPECT_EQ(store.FindLastValid(100, 500), 300);
  EXPECT_EQ(store.FindFirstValid(601, 700), 65535);
  EXPECT_EQ(store.FindLastValid(49, 10), 0);
}

TEST_F(Store, ValidityEndsAt65519) {
  store.CurrentSpectrum[10] = {10, 65520};
  store.CurrentSpectrum[20] = {20, 65519};
  EXPECT_EQ(store.FindFirstValid(0, 0), 20);
  EXPECT_TRUE(IsValid({0, 65519}));
  EXPECT_FALSE(IsValid({0, 65520}));
  EXPECT_FALSE(IsValid({0, 0xFFF5}));
}

TEST_F(Store, UndoCopiesTheWholeStore) {
  store.CurrentSpectrum[7] = {7, 300};
  store.SaveUndo();
  store.CurrentSpectrum[7] = {7, 400};
  store.CurrentSpectrum[65535] = {1, TagGain};
  store.RestoreUndo();
  EXPECT_EQ(store.CurrentSpectrum[7], (SpectrumPoint{7, 300}));
  EXPECT_EQ(store.CurrentSpectrum[65535], EmptyPoint);
}

TEST_F(Store, StampWritesTheTenRecordsWithRoundingAndTruncation) {
  s.Amplifying = 3;
  s.Rapid = 8;
  run.SerialNumber = 17;
  run.ProgramNumber = 4;
  s.RazvUnits[3].X1 = 3123.25;  // 31232.5, exact in binary -> 31232 (halves to even)
  s.RazvUnits[3].X2 = 7000;     // 70000 -> 4464
  run.AdcCode = 2048;
  run.PassesAveraged = 65536 + 9;
  run.AccumCount = 4;  // the running count is not what a spectrum records
  s.EnableRTLPF = true;
  s.RTLPFConst = 25;
  s.ADCUnit = 3;
  StampParameters(store, s, run);
  const SpectrumBuffer& c = store.CurrentSpectrum;
  EXPECT_EQ(c[65535], (SpectrumPoint{3, 0xFFFE}));
  EXPECT_EQ(c[65534], (SpectrumPoint{8, 0xFFFD}));
  EXPECT_EQ(c[65533], (SpectrumPoint{17, 0xFFFC}));
  EXPECT_EQ(c[65532], (SpectrumPoint{4, 0xFFFB}));
  EXPECT_EQ(c[65531], (SpectrumPoint{31232, 0xFFFA}));
  EXPECT_EQ(c[65530], (SpectrumPoint{4464, 0xFFF9}));
  EXPECT_EQ(c[65529], (SpectrumPoint{2048, 0xFFF8}));
  EXPECT_EQ(c[65528], (SpectrumPoint{9, 0xFFF7}));
  EXPECT_EQ(c[65527], (SpectrumPoint{25, 0xFFF6}));
  // 2048 * 10/4095 = 5.0012 -> 500.12 hundredths -> 500
  EXPECT_EQ(c[65526], (SpectrumPoint{500, 0xFFF5}));
  EXPECT_EQ(c[65525], EmptyPoint);

  s.EnableRTLPF = false;
  StampParameters(store, s, run);
  EXPECT_EQ(c[65527], (SpectrumPoint{0, 0xFFF6}));

  // Out-of-range settings are stamped as the program uses them; the other
  // halves round up to the even neighbour.
  s.Amplifying = 9;
  s.Rapid = 200;
  s.EnableRTLPF = true;
  s.RTLPFConst = 5000;
  s.RazvUnits[3].X1 = 3123.75;  // 31237.5 -> 31238
  s.ADCUnits[3].KoeffK = 0;
  s.ADCUnits[3].KoeffB = 1.125;  // 112.5 hundredths -> 112
  StampParameters(store, s, run);
  EXPECT_EQ(c[65535], (SpectrumPoint{7, 0xFFFE}));
  EXPECT_EQ(c[65534], (SpectrumPoint{11, 0xFFFD}));
  EXPECT_EQ(c[65531], (SpectrumPoint{31238, 0xFFFA}));
  EXPECT_EQ(c[65527], (SpectrumPoint{2000, 0xFFF6}));
  EXPECT_EQ(c[65526], (SpectrumPoint{112, 0xFFF5}));
}

TEST_F(Store, ApplyReadsTheRecordsBack) {
  s.Amplifying = 5;
  s.Rapid = 4;
  run.SerialNumber = 12;
  run.ProgramNumber = 3;
  s.RazvUnits[3].X1 = 3100;
  s.RazvUnits[3].X2 = 3250.5;
  run.AdcCode = 1000;
  run.PassesAveraged = 9;
  s.EnableRTLPF = true;
  s.RTLPFConst = 30;
  StampParameters(store, s, run);

  Settings t;
  SetDefaults(t);
  t.ViewMin = 100;
  t.RazvUnit = 3;
  RunValues r2;
  ApplyParameters(store, t, r2, view, ",");
  EXPECT_EQ(view.gain, 5);
  EXPECT_EQ(t.Amplifying, 5);
  EXPECT_EQ(view.speed, 4);
  EXPECT_EQ(t.Rapid, 4);
  EXPECT_EQ(view.selectorTextsCleared, 1);
  EXPECT_EQ(view.panels[6], "S/N: 12");
  EXPECT_EQ(view.panels[5], "PR: 3");
  EXPECT_EQ(view.panels[10], "НАКОПЛ: 9");
  EXPECT_EQ(r2.PassesAveraged, 9);  // saved again, the spectrum records its own count
  EXPECT_EQ(view.panels[9], "ФИЛЬТР [30]");
  EXPECT_EQ(r2.AdcCode, 1000);
  EXPECT_EQ(view.adcText, "1000");
  EXPECT_DOUBLE_EQ(r2.ModAmplitude, 2.44);  // 1000*10/4095 = 2.442 -> 244 hundredths
  EXPECT_EQ(r2.SerialNumber, 0);  // the panel shows it; the run value is the instrument's
  // The sweep axis reads in the recorded range.
  EXPECT_EQ(t.RazvUnits[3].X1, 3100);
  EXPECT_EQ(t.RazvUnits[3].X2, 3250.5);
  EXPECT_EQ(t.RazvUnits[2].X2, 150.5);
  EXPECT_EQ(FormatField(t, 0, ","), "3100 Э");
  EXPECT_EQ(FormatField(t, 65519, ","), "3250,5 Э");
  t.RazvUnit = 2;
  EXPECT_EQ(FormatField(t, 65519, ","), "150,5 Э");
  EXPECT_EQ(view.viewMin, "3100,23 Э");  // 3100 + 150.5 * 100 / 65519
  EXPECT_EQ(view.viewMax, "3250,5 Э");
}

TEST_F(Store, ApplyWithoutRecordsSelectsTheFirstGainAndTheLastSpeed) {
  s.Amplifying = 4;
  s.Rapid = 3;
  ApplyParameters(store, s, run, view, ",");
  EXPECT_EQ(view.gain, 0);
  EXPECT_EQ(s.Amplifying, 0);
  EXPECT_EQ(view.speed, 11);
  EXPECT_EQ(s.Rapid, 11);
  EXPECT_TRUE(view.panels.empty());
  EXPECT_EQ(run.ModAmplitude, -1);
}

TEST_F(Store, ApplySkipsGainAndSpeedOutsideTheirTables) {
  store.CurrentSpectrum[65535] = {8, TagGain};
  store.CurrentSpectrum[65534] = {12, TagSpeed};
  ApplyParameters(store, s, run, view, ",");
  EXPECT_EQ(s.Amplifying, 0);
  EXPECT_EQ(s.Rapid, 11);
  store.CurrentSpectrum[65534] = {2, TagSpeed};
  store.CurrentSpectrum[65533] = {200, TagSpeed};  // a later bad record does not undo the good one
  ApplyParameters(store, s, run, view, ",");
  EXPECT_EQ(s.Rapid, 2);
}

TEST_F(Store, FieldRecordsWithoutACalibrationChangeOnlyTheirValues) {
  const UnitRecord r2 = s.RazvUnits[2];
  const UnitRecord r3 = s.RazvUnits[3];
  store.CurrentSpectrum[65531] = {34000, TagFieldLow};
  ApplyParameters(store, s, run, view, ",");
  EXPECT_EQ(s.RazvUnits[2], r2);
  EXPECT_EQ(s.RazvUnits[3].X1, 3400);
  EXPECT_EQ(s.RazvUnits[3].X2, r3.X2);
  EXPECT_EQ(s.RazvUnits[3].KoeffK, r3.KoeffK);
  EXPECT_EQ(s.RazvUnits[3].KoeffB, r3.KoeffB);
  // Both records, but sweep anchors that coincide: the calibration is refused
  // and changes nothing.
  store.CurrentSpectrum[65530] = {35000, TagFieldHigh};
  s.RazvUnits[0].X2 = s.RazvUnits[0].X1;
  ApplyParameters(store, s, run, view, ",");
  EXPECT_EQ(s.RazvUnits[2], r2);
  EXPECT_EQ(s.RazvUnits[3].X2, 3500);
  EXPECT_EQ(s.RazvUnits[3].KoeffK, r3.KoeffK);
  EXPECT_EQ(s.RazvUnits[3].KoeffB, r3.KoeffB);
  EXPECT_EQ(s.RazvUnits[3].Name, r3.Name);
}

TEST_F(Store, FilterRecordZeroLeavesPanelNine) {
  store.CurrentSpectrum[65527] = {0, TagFilterConst};
  ApplyParameters(store, s, run, view, ",");
  EXPECT_EQ(view.panels.count(9), 0u);
}

TEST_F(Store, LaterRecordOfATagWins) {
  // A loaded file leaves its records at their tags (65525..65534); a new stamp
  // writes 65526..65535, so both copies of a tag are present.
  store.CurrentSpectrum[0xFFFE] = {6, TagGain};       // loaded, at 65534
  store.CurrentSpectrum[0xFFF5] = {777, TagModAmplitude};  // loaded, at 65525
  s.Amplifying = 2;
  StampParameters(store, s, run);  // overwrites 65534 with the speed record
  EXPECT_EQ(store.CurrentSpectrum[65525], (SpectrumPoint{777, TagModAmplitude}));
  EXPECT_EQ(store.CurrentSpectrum[65526].Value, TagModAmplitude);
  ApplyParameters(store, s, run, view, ",");
  EXPECT_EQ(s.Amplifying, 2);
  // The stamped 0xFFF5 at 65526 lies above the loaded one at 65525.
  EXPECT_NE(run.ModAmplitude, 7.77);
}

TEST(Low16OfRound, RoundsHalvesToEvenAndKeepsLowBits) {
  EXPECT_EQ(Low16OfRound(70000.0L), 4464);
  EXPECT_EQ(Low16OfRound(2.5L), 2);
  EXPECT_EQ(Low16OfRound(3.5L), 4);
  EXPECT_EQ(Low16OfRound(-1.0L), 0xFFFF);
  EXPECT_EQ(Low16OfRound(1e30L), Low16OfRound(1e30L));  // defined for huge values
  EXPECT_EQ(Low16OfRound(static_cast<long double>(NAN)), 0);
}

}  // namespace qel
