#include "tables.h"

#include <algorithm>

namespace qel {

namespace {
template <typename Table>
int FindLast(const Table& table, int code) {
  for (int i = static_cast<int>(table.size()) - 1; i >= 0; --i)
    if (table[static_cast<std::size_t>(i)].Code == code) return i;
  return -1;
}
}  // namespace

int FindGainByCode(int code) { return FindLast(GainTable, code); }
int FindSpeedByCode(int code) { return FindLast(SpeedTable, code); }

int ClampGainIndex(int index) {
  return std::clamp(index, 0, static_cast<int>(GainTable.size()) - 1);
}
int ClampSpeedIndex(int index) {
  return std::clamp(index, 0, static_cast<int>(SpeedTable.size()) - 1);
}

}  // namespace qel
