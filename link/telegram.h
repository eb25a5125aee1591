#pragma once
// The wire formats. Instrument telegrams are 10 bytes: 7F AA, type, D1..D6,
// checksum (low 8 bits of type + D1..D6). Commands are 81 58, code, payload,
// checksum (low 8 bits of code + payload); command 144 has neither payload
// nor checksum. 16-bit values travel high byte first.

#include <array>
#include <cstdint>
#include <optional>

#include "model/settings.h"

namespace qel {

inline constexpr std::uint8_t SyncByte1 = 0x7F;
inline constexpr std::uint8_t SyncByte2 = 0xAA;
inline constexpr std::size_t TelegramSize = 10;

struct Telegram {
  std::uint8_t Type = 0;
  std::array<std::uint8_t, 6> D{};  // D1..D6

  // D(n)D(n+1) as one value, n counted from 1.
  std::uint16_t Word(int n) const {
    return static_cast<std::uint16_t>((D[static_cast<std::size_t>(n - 1)] << 8) | D[static_cast<std::size_t>(n)]);
  }
};

std::uint8_t TelegramChecksum(const Telegram& t);
// The ten bytes of a telegram with its checksum.
std::array<std::uint8_t, TelegramSize> EncodeTelegram(const Telegram& t);

enum CommandCode : std::uint8_t {
  CmdIdentify = 150,
  CmdBounds = 111,
  CmdGainSpeed = 122,
  CmdCorrection = 133,
  CmdAdc = 144,
};

struct Command {
  std::array<std::uint8_t, 8> Bytes{};
  std::uint8_t Size = 0;
  std::uint8_t Code = 0;
};

// The command telegram for one of the five codes, built from the settings;
// nothing for any other code.
std::optional<Command> BuildCommand(std::uint8_t code, const Settings& s);

}  // namespace qel
