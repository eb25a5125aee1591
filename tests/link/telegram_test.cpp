#include <gtest/gtest.h>

#include <vector>

#include "link/telegram.h"
#include "model/units.h"

namespace qel {

namespace {
std::vector<int> Bytes(const std::optional<Command>& c) {
  std::vector<int> v;
  for (std::size_t i = 0; c && i < c->Size; ++i) v.push_back(c->Bytes[i]);
  return v;
}
}  // namespace

TEST(Commands, ByteExactFromTheSettings) {
  Settings s;
  SetDefaults(s);
  EXPECT_EQ(Bytes(BuildCommand(150, s)), (std::vector<int>{0x81, 0x58, 0x96, 0xFF, 0xFF, 0x94}));
  EXPECT_EQ(Bytes(BuildCommand(111, s)), (std::vector<int>{0x81, 0x58, 0x6F, 0xFF, 0xEF, 0x00, 0x00, 0x5D}));
  s.Amplifying = 3;  // gain code 4
  s.Rapid = 11;      // speed code 15
  EXPECT_EQ(Bytes(BuildCommand(122, s)), (std::vector<int>{0x81, 0x58, 0x7A, 0x04, 0x0F, 0x8D}));
  s.Correction = 0;
  EXPECT_EQ(Bytes(BuildCommand(133, s)), (std::vector<int>{0x81, 0x58, 0x85, 0x80, 0x00, 0x05}));
  s.Correction = -32767;
  EXPECT_EQ(Bytes(BuildCommand(133, s)), (std::vector<int>{0x81, 0x58, 0x85, 0x00, 0x01, 0x86}));
  s.Correction = 32767;
  EXPECT_EQ(Bytes(BuildCommand(133, s)), (std::vector<int>{0x81, 0x58, 0x85, 0xFF, 0xFF, 0x83}));
  EXPECT_EQ(Bytes(BuildCommand(144, s)), (std::vector<int>{0x81, 0x58, 0x90}));
  s.Rapid = 2;  // " СТОП" sends speed code 1
  EXPECT_EQ(Bytes(BuildCommand(122, s))[4], 1);
  for (int code : {0, 1, 110, 145, 255}) EXPECT_FALSE(BuildCommand(static_cast<std::uint8_t>(code), s)) << code;
}

TEST(Commands, BoundsTravelAsTheirLow16Bits) {
  Settings s;
  SetDefaults(s);
  s.PoleMax = 70000;  // 0x11170
  s.PoleMin = -1;
  EXPECT_EQ(Bytes(BuildCommand(111, s)),
            (std::vector<int>{0x81, 0x58, 0x6F, 0x11, 0x70, 0xFF, 0xFF, (0x6F + 0x11 + 0x70 + 0xFF + 0xFF) & 0xFF}));
}

TEST(Commands, OutOfTableIndicesNeverReadPastTheTables) {
  Settings s;
  SetDefaults(s);
  s.Amplifying = 200;
  s.Rapid = 99;
  EXPECT_EQ(Bytes(BuildCommand(122, s)), (std::vector<int>{0x81, 0x58, 0x7A, 0x09, 0x0F, (0x7A + 9 + 15) & 0xFF}));
}

TEST(Telegrams, ExamplesDecode) {
  Telegram t;
  t.Type = 2;
  t.D = {0x12, 0x34, 0x08, 0x00, 0x03, 0x8F};
  EXPECT_EQ(TelegramChecksum(t), 0xE2);
  EXPECT_EQ(t.Word(1), 4660);
  EXPECT_EQ(t.Word(3), 2048);
  const auto b = EncodeTelegram(t);
  EXPECT_EQ(b[0], 0x7F);
  EXPECT_EQ(b[1], 0xAA);
  EXPECT_EQ(b[9], 0xE2);
  t.Type = 3;
  t.D = {0xFF, 0xEF, 0, 0, 0, 0};
  EXPECT_EQ(TelegramChecksum(t), 0xF1);
}

}  // namespace qel
