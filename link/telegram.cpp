#include "telegram.h"

#include "model/tables.h"

namespace qel {

std::uint8_t TelegramChecksum(const Telegram& t) {
  unsigned sum = t.Type;
  for (std::uint8_t d : t.D) sum += d;
  return static_cast<std::uint8_t>(sum & 0xFF);
}

std::array<std::uint8_t, TelegramSize> EncodeTelegram(const Telegram& t) {
  return {SyncByte1, SyncByte2, t.Type, t.D[0], t.D[1], t.D[2], t.D[3], t.D[4], t.D[5], TelegramChecksum(t)};
}

std::optional<Command> BuildCommand(std::uint8_t code, const Settings& s) {
  Command c;
  c.Code = code;
  c.Bytes[0] = 0x81;
  c.Bytes[1] = 0x58;
  c.Bytes[2] = code;
  std::uint8_t payload[4];
  std::size_t n = 0;
  auto word = [&](std::int32_t v) {
    const auto u = static_cast<std::uint16_t>(v);
    payload[n++] = static_cast<std::uint8_t>(u >> 8);
    payload[n++] = static_cast<std::uint8_t>(u & 0xFF);
  };
  switch (code) {
    case CmdIdentify:
      payload[n++] = 0xFF;
      payload[n++] = 0xFF;
      break;
    case CmdBounds:
      word(s.PoleMax);
      word(s.PoleMin);
      break;
    case CmdGainSpeed:
      payload[n++] = GainTable[static_cast<std::size_t>(UsedAmplifying(s))].Code;
      payload[n++] = SpeedTable[static_cast<std::size_t>(UsedRapid(s))].Code;
      break;
    case CmdCorrection:
      word(s.Correction + 32768);
      break;
    case CmdAdc:
      c.Size = 3;
      return c;
    default:
      return std::nullopt;
  }
  unsigned sum = code;
  for (std::size_t i = 0; i < n; ++i) {
    c.Bytes[3 + i] = payload[i];
    sum += payload[i];
  }
  c.Bytes[3 + n] = static_cast<std::uint8_t>(sum & 0xFF);
  c.Size = static_cast<std::uint8_t>(4 + n);
  return c;
}

}  // namespace qel
