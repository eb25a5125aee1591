#pragma once
// The instrument's eight gain steps and twelve sweep speeds.

#include <array>
#include <cstdint>
#include <string_view>

namespace qel {

struct GainEntry {
  std::string_view Caption;
  std::uint8_t Code;   // gain code on the wire
  std::int32_t Factor; // amplification
};

struct SpeedEntry {
  std::string_view Caption;
  std::uint8_t Code;  // speed code on the wire
  std::uint8_t Step;  // field codes one data telegram fills at this speed
};

inline constexpr std::array<GainEntry, 8> GainTable{{
    {"1", 1, 1},   {"2", 2, 2},   {"5", 3, 5},     {"10", 4, 10},
    {"20", 5, 20}, {"50", 6, 50}, {"100", 8, 100}, {"200", 9, 200},
}};

inline constexpr std::array<SpeedEntry, 12> SpeedTable{{
    {"30 сек", 15, 4},
    {"-4 мин", 0, 4},
    {" СТОП", 1, 4},
    {"128 мин", 9, 1},
    {"64 мин", 2, 1},
    {"32 мин", 4, 1},
    {"16 мин", 5, 2},
    {" 8 мин", 6, 4},
    {" 4 мин", 3, 4},
    {" 2 мин", 7, 4},
    {" 1 мин", 8, 1},
    {"30 сек", 15, 4},
}};

inline constexpr int StopSpeedIndex = 2;  // " СТОП", speed code 1

// Index of the entry with the given code; the last match wins. -1 when none.
int FindGainByCode(int code);
int FindSpeedByCode(int code);

// A table index taken from the settings store is used clamped into the table,
// so a bad stored value never reads past it.
int ClampGainIndex(int index);
int ClampSpeedIndex(int index);

}  // namespace qel
