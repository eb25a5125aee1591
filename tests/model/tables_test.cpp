#include <gtest/gtest.h>

#include "model/tables.h"

namespace qel {

TEST(Tables, SearchByCodeKeepsTheLastMatch) {
  EXPECT_EQ(FindSpeedByCode(15), 11);  // entries 0 and 11 share code 15
  EXPECT_EQ(FindSpeedByCode(1), 2);    // " СТОП"
  EXPECT_EQ(FindSpeedByCode(8), 10);
  EXPECT_EQ(FindSpeedByCode(10), -1);
  EXPECT_EQ(FindGainByCode(7), -1);  // gain code 7 is not used
  EXPECT_EQ(FindGainByCode(0), -1);
  EXPECT_EQ(FindGainByCode(9), 7);
  EXPECT_EQ(FindGainByCode(8), 6);
}

TEST(Tables, IndexToCodeAndFactor) {
  EXPECT_EQ(GainTable[3].Code, 4);
  EXPECT_EQ(GainTable[3].Factor, 10);
  EXPECT_EQ(SpeedTable[2].Code, 1);
  EXPECT_EQ(SpeedTable[2].Caption, " СТОП");
  EXPECT_EQ(SpeedTable[10].Caption, " 1 мин");
  EXPECT_EQ(SpeedTable[6].Step, 2);
}

TEST(Tables, OutOfRangeIndicesAreClampedIntoTheTable) {
  EXPECT_EQ(ClampGainIndex(255), 7);
  EXPECT_EQ(ClampGainIndex(-1), 0);
  EXPECT_EQ(ClampSpeedIndex(12), 11);
  EXPECT_EQ(ClampSpeedIndex(5), 5);
}

}  // namespace qel
