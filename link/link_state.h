#pragma once
// The state of the running link, shared by its parts.

#include <cstdint>

namespace qel {

enum class LinkStatus { Ok = 0, ChecksumError = 1, NoSignal = 2, PortError = 3 };

enum class PassDirection { None = 0, Forward = 1, Return = 2 };

// The link texts, in table order; entry 0 empties the info panel.
inline constexpr const char* LinkTexts[8] = {
    "",
    "Неверная контрольная сумма",
    "Нет сигнала от блока",
    "Ошибка обмена RS232",
    "Несовпадение КС принятой блоком",
    "Отсутствие приема байта в теченние 10 мсек",
    "Отсутствие прерывания по UART в течение 5 сек",
    "Несоответствие принятого байта ожидаемому",
};

inline constexpr int PortPanel = 0;
inline constexpr int BaudPanel = 1;
inline constexpr int ProgramPanel = 5;
inline constexpr int SerialPanel = 6;
inline constexpr int InfoPanel = 7;
inline constexpr int AutoPanel = 8;
inline constexpr int FilterPanel = 9;
inline constexpr int AccumPanel = 10;

struct LinkFlags {
  bool Receiving = false;
  bool Linked = false;
  bool BoundsAcked = false;
  bool GainSpeedAcked = false;
  bool CorrAcked = false;
  LinkStatus LinkState = LinkStatus::Ok;
  std::int32_t SilenceTicks = 0;
  std::int32_t SendTicks = 0;
  std::uint16_t CurrentCode = 0;
  bool SendTimerRunning = false;

  void ResetHandshake() { Linked = BoundsAcked = GainSpeedAcked = CorrAcked = false; }
};

}  // namespace qel
