#include <gtest/gtest.h>

#include <cmath>

#include "model/number_format.h"
#include "model/units.h"

namespace qel {

class Units : public ::testing::Test {
 protected:
  void SetUp() override { SetDefaults(s); }
  Settings s;
};

TEST_F(Units, DefaultsAreCalibratedOverTheirAnchors) {
  EXPECT_DOUBLE_EQ(s.RazvUnits[0].KoeffK, 1.0);
  EXPECT_DOUBLE_EQ(s.RazvUnits[0].KoeffB, 0.0);
  EXPECT_DOUBLE_EQ(s.RazvUnits[3].KoeffK * 65519 + s.RazvUnits[3].KoeffB, 3300.0);
  EXPECT_DOUBLE_EQ(s.RazvUnits[3].KoeffB, 3000.0);
  EXPECT_DOUBLE_EQ(s.AmpUnits[0].KoeffK, 1.0);
  EXPECT_DOUBLE_EQ(s.AmpUnits[1].KoeffK, 20.0 / 4094.0);
  EXPECT_NEAR(s.CorrUnits[1].KoeffK * 32767 + s.CorrUnits[1].KoeffB, 1000.0, 1e-9);
  EXPECT_DOUBLE_EQ(s.ADCUnits[4].KoeffK * 4095 + s.ADCUnits[4].KoeffB, 9000.0);
  EXPECT_EQ(s.RazvUnits[1].Name, "А");
  EXPECT_EQ(s.CorrUnits[1].Name, "мВ");
  // The stored copy starts equal to the working tables.
  EXPECT_EQ(s.RazvUnits[7], s.RazvUnits[3]);
  EXPECT_EQ(s.ADCUnits[9], s.ADCUnits[4]);
}

TEST_F(Units, FieldInTheFourSweepUnits) {
  const char* expected[] = {"65519", "5,000 А", "300 Э", "3300 Э"};
  for (int u = 0; u < 4; ++u) {
    s.RazvUnit = static_cast<std::uint8_t>(u);
    EXPECT_EQ(FormatField(s, 65519, ","), expected[u]) << "unit " << u;
  }
  s.RazvUnit = 3;
  EXPECT_EQ(FormatField(s, 0, ","), "3000 Э");
  EXPECT_EQ(FormatField(s, 32760, "."), "3150 Э");
  s.RazvUnit = 4;
  EXPECT_EQ(FormatField(s, 100, ","), "");
}

TEST_F(Units, AmplitudeReferredToTheInputOfTheAmplifier) {
  s.AmpUnit = 1;
  EXPECT_EQ(FormatAmplitude(s, 2047, ","), "10 В");
  EXPECT_EQ(FormatAmplitude(s, 1, ","), "4,89 мВ");
  EXPECT_EQ(FormatAmplitude(s, 0, ","), "0 В");
  EXPECT_EQ(FormatAmplitude(s, -2047, ","), "-10 В");
  s.Amplifying = 7;  // factor 200: 1 code is 24.4 µV
  EXPECT_EQ(FormatAmplitude(s, 1, ","), "24,4 мкВ");
  s.Amplifying = 3;  // factor 10: the full 10 V at the output is exactly 1 V at the input
  EXPECT_EQ(FormatAmplitude(s, 2047, ","), "1 В");
  EXPECT_EQ(FormatAmplitude(s, -2047, ","), "-1 В");
  s.Amplifying = 3;  // factor 10
  s.AmpUnit = 0;
  EXPECT_EQ(FormatAmplitude(s, 2047, ","), "204,7");
  s.Amplifying = 200;  // out of the table: used as the last entry, never read past it
  EXPECT_EQ(FormatAmplitude(s, 2000, ","), "10");
  s.AmpUnit = 2;
  EXPECT_EQ(FormatAmplitude(s, 5, ","), "");
}

TEST_F(Units, IntegralTextsForEachUnitPair) {
  EXPECT_EQ(FormatIntegral(s, 1234.0, ","), "1,234E+003 отсч^3");
  s.AmpUnit = 1;
  EXPECT_EQ(FormatIntegral(s, 1.0, ","), FormatExponent(20.0 / 4094.0, 4, 3, ",") + " В*отсч^2");
  s.RazvUnit = 2;
  s.AmpUnit = 0;
  const double k = s.RazvUnits[2].KoeffK;
  EXPECT_EQ(FormatIntegral(s, 1000.0, ","), FormatExponent(k * k * 1000.0, 4, 3, ",") + " отсч*Э^2");
  s.AmpUnit = 1;
  EXPECT_EQ(FormatIntegral(s, 1000.0, ",").substr(10), " В*Э^2");
  s.RazvUnit = 5;
  EXPECT_EQ(FormatIntegral(s, 1.0, ","), "");
}

TEST_F(Units, CorrectionAndAdc) {
  EXPECT_EQ(FormatCorrection(s, -32767, ","), "-32767");
  s.CorrUnit = 1;
  EXPECT_EQ(FormatCorrection(s, 32767, ","), "1000 мВ");
  EXPECT_EQ(FormatCorrection(s, 0, ","), "0 мВ");
  EXPECT_EQ(FormatAdc(s, 4095, ","), "4095");
  s.ADCUnit = 1;
  EXPECT_EQ(FormatAdc(s, 4095, ","), "10,00 В");
  EXPECT_EQ(FormatAdc(s, 2048, ","), "5,00 В");
  s.ADCUnit = 3;
  EXPECT_EQ(FormatAdc(s, 2048, ","), "5,00 Э");
  EXPECT_EQ(FormatAdc(s, 409, ","), "1,00 Э");  // 0.9988 -> 2 significant digits
  s.ADCUnit = 4;
  EXPECT_EQ(FormatAdc(s, 4095, ","), "9000 Э");
  s.ADCUnit = 9;
  EXPECT_EQ(FormatAdc(s, 1, ","), "");
}

TEST_F(Units, RoundingToIntegerIsHalvesToEven) {
  // Correction code 0.5 cannot arise, but the ADC unit 0 can be recalibrated.
  s.ADCUnits[0].KoeffK = 0.5;
  s.ADCUnits[0].KoeffB = 0;
  EXPECT_EQ(FormatAdc(s, 5, ","), "2");  // 2.5 -> 2
  EXPECT_EQ(FormatAdc(s, 7, ","), "4");  // 3.5 -> 4
}

TEST_F(Units, CalibrateRefusesCoincidingAnchors) {
  UnitRecord u = s.RazvUnits[1];
  const UnitRecord before = u;
  EXPECT_FALSE(Calibrate(u, 1.0f, 1.0f));
  EXPECT_EQ(u, before);
  // 65519 and 65519.0001 are the same float32.
  EXPECT_FALSE(Calibrate(u, static_cast<float>(65519.0), static_cast<float>(65519.0001)));
  EXPECT_FALSE(Calibrate(u, 0.0f, NAN));
  EXPECT_TRUE(Calibrate(u, 0.0f, 10.0f));
  EXPECT_DOUBLE_EQ(u.KoeffK, 0.5);
}

TEST_F(Units, AnchorsAreNarrowedToFloat32) {
  s.RazvUnits[0].X2 = 65519.3;  // not a float32 value
  UnitRecord u = s.RazvUnits[2];
  ASSERT_TRUE(Calibrate(u, static_cast<float>(s.RazvUnits[0].X1), static_cast<float>(s.RazvUnits[0].X2)));
  const double c2 = static_cast<double>(static_cast<float>(65519.3));
  EXPECT_NEAR(u.KoeffK, 300.0 / c2, 1e-15);
}

TEST_F(Units, StoreAndRestoreCopyWholeRecords) {
  s.RazvUnits[3].X1 = 3400;
  StoreUnits(s);
  s.RazvUnits[3].X1 = 1;
  s.ADCUnits[4].Name = "x";
  RestoreUnits(s);
  EXPECT_EQ(s.RazvUnits[3].X1, 3400);
  EXPECT_EQ(s.ADCUnits[4].Name, "Э");
}

TEST_F(Units, ConfirmingTheDialogUnchangedRecalibratesOverTheFullDacRange) {
  const UnitDialogTexts t = UnitDialogTextsFrom(s, ",");
  EXPECT_EQ(t.RazvMax[0], "65519");
  EXPECT_EQ(t.AmpMin[0], "-2047");
  ApplyUnitDialog(s, t, ",");
  EXPECT_DOUBLE_EQ(s.RazvUnits[0].KoeffK, 65519.0 / 65535.0);
  EXPECT_EQ(FormatField(s, 65519, ","), "65519");  // index 0 shows codes
  const double k = 65519.0 / 65535.0;
  EXPECT_EQ(FormatIntegral(s, 1000.0, ","), FormatExponent(k * k * 1000.0, 4, 3, ",") + " отсч^3");
}

TEST_F(Units, DialogTextThatIsNotANumberKeepsWhatCameBefore) {
  UnitDialogTexts t = UnitDialogTextsFrom(s, ",");
  t.RazvMax[2] = "400";
  t.CorrMax[1] = "1,2,3";
  t.ADCMax[4] = "10000";
  t.RazvUnit = 3;
  try {
    ApplyUnitDialog(s, t, ",");
    FAIL() << "no error";
  } catch (const ConvertError& e) {
    EXPECT_STREQ(e.what(), "'1,2,3' is not a valid floating point value");
  }
  EXPECT_EQ(s.RazvUnits[2].X2, 400);      // handled before: new value
  EXPECT_EQ(s.CorrUnits[1].X2, 1000);     // the bad unit: old value
  EXPECT_EQ(s.ADCUnits[4].X2, 9000);      // after it: old value
  EXPECT_EQ(s.RazvUnit, 0);               // the choices come last
}

TEST_F(Units, DialogWithCoincidingAnchorsChangesNothing) {
  UnitDialogTexts t = UnitDialogTextsFrom(s, ",");
  t.RazvMax[2] = "400";
  t.AmpMin[0] = "5";
  t.AmpMax[0] = "5";
  const Settings before = s;
  EXPECT_THROW(ApplyUnitDialog(s, t, ","), CalibrationError);
  EXPECT_EQ(s, before);
}

}  // namespace qel
