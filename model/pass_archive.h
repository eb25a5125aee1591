#pragma once
// The passes behind an accumulated spectrum: every data point that reached the
// acquisition, pass by pass, and the one replay that turns them into the
// spectrum the window shows and saves. The acquisition stores its points with
// the same steps (AccumulatePoint, StorePoint, RejectPoint), so that a replay
// of the passes gives, value for value, what the window saved.
//
// The archive file (.qelpass), all numbers little-endian:
//   header, 32 bytes: "QELPASS" 0x1A, u32 version (1), u32 header length (32),
//     i64 series start (seconds since 1970, UTC), u32 flags (0), u32 CRC-32 of
//     the 28 bytes before it;
//   then one chunk per finished pass, appended as the pass ends:
//     "PASS", u32 payload length, u32 CRC-32 of the payload, the payload:
//       u32 pass number (1 = the series' first), i64 start (ms since 1970,
//       UTC), u8 end (PassEnd), u8 cut (1: the pass was interrupted), i32
//       RTNumb, i32 AccumCount the pass was divided by, i32 filter constant
//       (0: the filter was off), 10 x (u16 code, u16 value): the parameter
//       records of slots 65526..65535, u32 entries, then each entry u16 field
//       code, u16 value after the real-time filter (0xFFFF: rejected as above
//       the valid range; 0xFFFE: the spectrum on screen was cleared, the
//       running mean kept), u8 codes the telegram covered.
// A file cut by a crash reads back every whole pass before the cut.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "spectrum.h"

namespace qel {

// The accumulation step of a data point: the running mean of the field code
// moves by (y - mean) / count, kept as float32, and the value shown is that
// mean rounded halves to even, within 0..MaxValidValue.
std::uint16_t AccumulatePoint(float& mean, std::uint16_t y, std::int32_t count);

// A Tm02 value that the acquisition stores: point x := y, and `points` codes
// from `currentCode` on (which the dispatcher set to x) := y, each passed to
// `onCode` (the visirs). `currentCode` moves past them; nothing beyond 65522.
void StorePoint(SpectrumBuffer& spectrum, std::uint16_t x, std::uint16_t y, std::uint8_t points,
                std::uint16_t& currentCode, const std::function<void(std::uint16_t code)>& onCode = {});
// A value above the valid range: the codes it covers are emptied.
void RejectPoint(SpectrumBuffer& spectrum, std::uint8_t points, std::uint16_t& currentCode);

inline constexpr std::uint16_t PassRejected = 0xFFFF;
inline constexpr std::uint16_t PassCleared = 0xFFFE;

struct PassEntry {
  std::uint16_t Code;
  std::uint16_t Value;  // after the filter, or PassRejected / PassCleared
  std::uint8_t Points;
  bool operator==(const PassEntry&) const = default;
};

enum class PassEnd : std::uint8_t {
  NextPass = 0,  // the next pass start ended it
  Closed = 1,    // the program closed during it
  SeriesEnd = 2, // accumulation was switched off or restarted at its end
};

struct PassRecord {
  std::uint32_t Number = 0;
  std::int64_t StartMs = 0;
  PassEnd End = PassEnd::NextPass;
  bool Cut = false;  // stopped, reset or interrupted by analyse mode
  std::int32_t RTNumb = 0;
  std::int32_t AccumCount = 0;
  std::int32_t FilterConst = 0;
  std::array<SpectrumPoint, 10> Records{};  // slots 65526..65535
  std::vector<PassEntry> Entries;
  bool operator==(const PassRecord&) const = default;
};

// The count a pass is divided by, as the window moves it at a pass start:
// 0 at the series' start; past RTNumb the mean restarts (0); below it, one
// more. `restart` says the mean was zeroed.
std::int32_t NextAccumCount(std::int32_t count, std::int32_t rtNumb, bool& restart);

// Where the acquisition hands its passes: a series starts when accumulation
// starts and ends when it stops or its mean restarts; each pass is handed
// over when it ends, whole, as a copy of its own.
class PassSink {
 public:
  virtual ~PassSink() = default;
  // Whether to keep this series (read at its start only).
  virtual bool SeriesStarted(std::int64_t startSeconds) = 0;
  virtual void PassFinished(PassRecord pass) = 0;
  virtual void SeriesEnded() = 0;
};

// Replays the passes (leaving out those whose numbers are in `excluded`,
// the others counted as if those had never come): the spectrum after the
// last pass kept, with its records, as the window saved it at the pass start
// that ended it. Empty when no pass is left.
std::optional<SpectrumBuffer> ReplayPasses(const std::vector<PassRecord>& passes,
                                           const std::set<std::uint32_t>& excluded = {});

// Each pass's own values per field code (after the filter, before the
// mean; the last write of the pass wins), for the codes first ..
// first + block.size() - 1, written into `block`: PassNoValue for a code the
// pass never reached or whose value was rejected. False when the pass never
// wrote into the block.
inline constexpr std::uint16_t PassNoValue = 0xFFFF;
bool PassCodeBlock(const PassRecord& pass, std::size_t first, std::vector<std::uint16_t>& block);
// The least and greatest code the pass writes a value to (first > last
// when none).
std::pair<std::size_t, std::size_t> PassCodeSpan(const PassRecord& pass);

// The file.
inline constexpr std::uint32_t PassArchiveVersion = 1;
std::string PassArchiveHeader(std::int64_t seriesStart);
std::string PassArchiveChunk(const PassRecord& pass);

struct PassArchive {
  std::int64_t SeriesStart = 0;
  std::vector<PassRecord> Passes;
  // A torn or damaged end: what was wrong and where (empty when whole).
  std::string Problem;
  // The passes after a damaged chunk are not read: a replay past it would be
  // wrong. True when a whole chunk was damaged, not only a torn end.
  bool Damaged = false;
};
// Reads an archive's bytes; throws FileError naming `name` when it is no
// archive at all (empty, another file, a newer version).
PassArchive ParsePassArchive(std::string_view bytes, const std::string& name);
PassArchive ReadPassArchive(const std::string& path);

// The file name of a series: mask cleaned as automatic saving cleans it,
// "-YYYYMMDD-HHMMSS" of its start (local time), then "_2", "_3", ... for
// the n-th series started in the same second.
std::string PassArchiveName(std::string_view nameMask, std::int64_t seriesStart, int n = 1);

// A time (seconds since 1970) in local time, as strftime's `format` gives it.
std::string LocalTimeText(std::int64_t seconds, const char* format);

// CRC-32 (IEEE 802.3, as zip).
std::uint32_t Crc32(std::string_view bytes);

}  // namespace qel
