#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "model/atomic_file.h"
#include "model/pass_archive.h"

namespace qel {
namespace {

PassRecord Pass(std::uint32_t number, std::uint16_t value) {
  PassRecord p;
  p.Number = number;
  p.StartMs = 1765300000000 + number;
  p.RTNumb = 4;
  p.AccumCount = static_cast<std::int32_t>(std::min<std::uint32_t>(number, 4));
  p.FilterConst = 25;
  p.Cut = number == 2;
  for (std::uint16_t i = 0; i < 10; ++i) p.Records[i] = SpectrumPoint{static_cast<std::uint16_t>(i * 3), static_cast<std::uint16_t>(0xFFF5 + i)};
  p.Entries = {{100, value, 1}, {101, PassRejected, 4}, {0, PassCleared, 0}, {102, value, 4}};
  return p;
}

std::string Archive(int passes) {
  std::string a = PassArchiveHeader(1765300000);
  for (int n = 1; n <= passes; ++n) a += PassArchiveChunk(Pass(static_cast<std::uint32_t>(n), static_cast<std::uint16_t>(2000 + n)));
  return a;
}

TEST(PassArchiveFile, EveryPassReadsBackAsWritten) {
  const PassArchive a = ParsePassArchive(Archive(3), "a.qelpass");
  EXPECT_EQ(a.SeriesStart, 1765300000);
  ASSERT_EQ(a.Passes.size(), 3u);
  for (std::uint32_t n = 1; n <= 3; ++n) EXPECT_TRUE(a.Passes[n - 1] == Pass(n, static_cast<std::uint16_t>(2000 + n))) << n;
  EXPECT_EQ(a.Problem, "");
  // The layout is fixed: a 32-byte header, 12 bytes before each payload of
  // 70 bytes and 5 per entry.
  EXPECT_EQ(Archive(1).size(), 32u + 12 + 70 + 4 * 5);
  EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);
  // A pass missing between two (given up while it could not be written):
  // what follows it is not replayed.
  const std::string gap = PassArchiveHeader(0) + PassArchiveChunk(Pass(1, 2000)) + PassArchiveChunk(Pass(3, 2000));
  const PassArchive g = ParsePassArchive(gap, "a.qelpass");
  EXPECT_EQ(g.Passes.size(), 1u);
  EXPECT_TRUE(g.Damaged);
  EXPECT_NE(g.Problem.find("нет проходов 2–2"), std::string::npos) << g.Problem;
  // Whole chunks of what the acquisition never logs: a field code past
  // 65519, a value in the records' range, 5 codes a telegram.
  for (const PassEntry bad : {PassEntry{65530, 2000, 1}, PassEntry{100, 65530, 1}, PassEntry{100, 2000, 5}}) {
    PassRecord p = Pass(2, 2000);
    p.Entries.push_back(bad);
    const PassArchive b = ParsePassArchive(PassArchiveHeader(0) + PassArchiveChunk(Pass(1, 2000)) + PassArchiveChunk(p), "a.qelpass");
    EXPECT_EQ(b.Passes.size(), 1u) << bad.Code;
    EXPECT_TRUE(b.Damaged);
    EXPECT_NE(b.Problem.find("вне диапазона"), std::string::npos) << b.Problem;
  }
  // An end the writer never writes.
  PassRecord ended = Pass(2, 2000);
  ended.End = static_cast<PassEnd>(3);
  const PassArchive e = ParsePassArchive(PassArchiveHeader(0) + PassArchiveChunk(Pass(1, 2000)) + PassArchiveChunk(ended), "a.qelpass");
  EXPECT_EQ(e.Passes.size(), 1u);
  EXPECT_TRUE(e.Damaged);
}

TEST(PassArchiveFile, APassCodesReadWholeOrABlockAtATime) {
  PassRecord p = Pass(1, 2001);
  p.Entries.push_back({65517, 3000, 4});  // its copies stop at the last code
  std::vector<std::uint16_t> map(65520);
  EXPECT_TRUE(PassCodeBlock(p, 0, map));
  const std::vector<std::pair<std::size_t, int>> held = {{100, 2001}, {102, 2001}, {103, 2001}, {104, 2001},
                                                         {105, 2001}, {65517, 3000}, {65518, 3000}, {65519, 3000}};
  EXPECT_EQ(static_cast<std::size_t>(std::count_if(map.begin(), map.end(), [](std::uint16_t v) { return v != PassNoValue; })),
            held.size());
  for (const auto& [code, value] : held) EXPECT_EQ(map[code], value) << code;
  EXPECT_EQ(PassCodeSpan(p), (std::pair<std::size_t, std::size_t>{100, 65519}));
  EXPECT_GT(PassCodeSpan(PassRecord{}).first, PassCodeSpan(PassRecord{}).second);
  // Blocks that cut a telegram's codes and the end of the codes.
  // A block the pass never wrote into says so (its reader skips the pass).
  const std::vector<std::tuple<std::size_t, std::size_t, std::vector<std::uint16_t>, bool>> blocks = {
      {99, 4, {PassNoValue, 2001, PassNoValue, 2001}, true},
      {104, 3, {2001, 2001, PassNoValue}, true},
      {65518, 5, {3000, 3000, PassNoValue, PassNoValue, PassNoValue}, true},
      {101, 1, {PassNoValue}, false},
      {0, 100, std::vector<std::uint16_t>(100, PassNoValue), false},
  };
  for (const auto& [first, size, expected, any] : blocks) {
    std::vector<std::uint16_t> block(size, 7);
    EXPECT_EQ(PassCodeBlock(p, first, block), any) << first;
    EXPECT_EQ(block, expected) << first;
  }
}

TEST(PassArchiveFile, ACutAtEveryByteOfTheLastPassKeepsTheOthersAndSaysSo) {
  const std::string whole = Archive(3);
  const std::size_t last = Archive(2).size();
  for (std::size_t size = last + 1; size < whole.size(); ++size) {
    const PassArchive a = ParsePassArchive(std::string_view(whole).substr(0, size), "a.qelpass");
    ASSERT_EQ(a.Passes.size(), 2u) << size;
    EXPECT_NE(a.Problem.find("после прохода 2 оборвана"), std::string::npos) << size << a.Problem;
    EXPECT_NE(a.Problem.find("a.qelpass"), std::string::npos);
    EXPECT_FALSE(a.Damaged);
  }
}

TEST(PassArchiveFile, AFlippedBitStopsTheReadingAtThatPass) {
  const std::string whole = Archive(3);
  const std::size_t second = Archive(1).size(), third = Archive(2).size();
  // Every bit of the second pass's chunk, its head included.
  for (std::size_t at = second; at < third; ++at) {
    for (int bit = 0; bit < 8; ++bit) {
      std::string bad = whole;
      bad[at] = static_cast<char>(bad[at] ^ (1 << bit));
      const PassArchive a = ParsePassArchive(bad, "a.qelpass");
      ASSERT_EQ(a.Passes.size(), 1u) << at << " " << bit;
      // Never taken for a torn end: the passes after it would be dropped
      // without a word.
      EXPECT_TRUE(a.Damaged) << at << " " << bit << a.Problem;
      EXPECT_NE(a.Problem.find("после прохода 1"), std::string::npos) << at << " " << bit << a.Problem;
    }
  }
}

TEST(PassArchiveFile, NoArchiveIsAClearError) {
  struct Case {
    std::string Bytes, Says;
  };
  std::string future = PassArchiveHeader(0);
  future[8] = 2;
  // (the header's checksum made again for the version it now names)
  const std::uint32_t crc = Crc32(std::string_view(future).substr(0, 28));
  for (int i = 0; i < 4; ++i) future[28 + i] = static_cast<char>((crc >> (8 * i)) & 0xFF);
  std::string flipped = Archive(1);
  flipped[17] ^= 1;
  for (const Case& c : {Case{"", "пуст"}, Case{"QEL SPECTRUM", "не является архивом проходов"},
                        Case{future, "версии 2 записан более новой программой"},
                        Case{flipped, "заголовок архива проходов повреждён"}}) {
    try {
      ParsePassArchive(c.Bytes, "b.qelpass");
      ADD_FAILURE() << c.Says;
    } catch (const FileError& e) {
      EXPECT_NE(std::string(e.what()).find(c.Says), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("\"b.qelpass\""), std::string::npos) << e.what();
    }
  }
}

TEST(PassArchiveFile, NamesFollowTheMaskAndTheSeriesStart) {
  // 2025-12-09 17:06:40 UTC; the name takes local time.
#ifdef _WIN32
  _putenv_s("TZ", "UTC");
  _tzset();
#else
  setenv("TZ", "UTC", 1);
  tzset();
#endif
  EXPECT_EQ(PassArchiveName("Проба 1.a", 1765300000), "Проба_1_a-20251209-170640.qelpass");
  EXPECT_EQ(PassArchiveName("s", 1765300000, 3), "s-20251209-170640_3.qelpass");
}

}  // namespace
}  // namespace qel
