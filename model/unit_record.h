#pragma once

#include <string>

namespace qel {

// A straight-line calibration from a code to a physical value: KoeffK*code+KoeffB.
struct UnitRecord {
  double X1 = 0;  // value at the first anchor code
  double X2 = 0;  // value at the second anchor code
  double KoeffK = 0;
  double KoeffB = 0;
  std::string Name;  // at most 5 characters (UTF-8)

  bool operator==(const UnitRecord&) const = default;
};

// Derives KoeffK and KoeffB so that c1 maps to X1 and c2 to X2. The anchors are
// float32 (an anchor taken from another unit is narrowed first). Returns false
// and leaves the unit as it was when the anchors are equal or not finite.
bool Calibrate(UnitRecord& unit, float c1, float c2);

// The first `maxChars` characters of a UTF-8 text.
std::string Utf8Prefix(const std::string& text, std::size_t maxChars);

}  // namespace qel
