#include <gtest/gtest.h>

#include <random>

#include "fakes.h"

namespace qel {

using test::LinkRig;

namespace {

struct Seen {
  std::uint8_t type;
  std::array<std::uint8_t, 6> d;
  bool operator==(const Seen&) const = default;
};

// The loop's resynchronisation, byte by byte: an attempt starts only with 10
// bytes waiting; a byte other than 7F is dropped; 7F and a byte other than AA
// are dropped together; otherwise 8 bytes follow and the checksum decides.
// `attempts` counts the telegrams read whole, good or bad.
std::vector<Seen> Model(const std::vector<std::uint8_t>& bytes, std::size_t* attempts = nullptr) {
  std::vector<Seen> out;
  std::size_t i = 0;
  while (bytes.size() - i >= 10) {
    if (bytes[i++] != 0x7F) continue;
    if (bytes[i++] != 0xAA) continue;
    if (attempts) ++*attempts;
    Seen s{bytes[i], {}};
    unsigned sum = bytes[i];
    for (int k = 0; k < 6; ++k) {
      s.d[static_cast<std::size_t>(k)] = bytes[i + 1 + static_cast<std::size_t>(k)];
      sum += s.d[static_cast<std::size_t>(k)];
    }
    const std::uint8_t check = bytes[i + 7];
    i += 8;
    if ((sum & 0xFF) == check) out.push_back(s);
  }
  return out;
}

}  // namespace

TEST(Stream, RandomStreamYieldsExactlyTheModelsTelegrams) {
  LinkRig rig;
  rig.Start();
  std::vector<Seen> seen;
  rig.link.Session.SetTelegramTap([&](const Telegram& t) { seen.push_back({t.Type, t.D}); });

  std::mt19937 rng(20261207);
  std::vector<std::uint8_t> stream;
  const std::uint8_t types[] = {2, 2, 2, 2, 14, 14, 77, 11, 22, 33, 44, 50, 100, 90, 5, 3};
  while (stream.size() < 4'000'000) {
    Telegram t;
    t.Type = types[rng() % std::size(types)];
    for (auto& d : t.D) d = static_cast<std::uint8_t>(rng());
    auto b = EncodeTelegram(t);
    switch (rng() % 10) {
      case 0:  // garbage, often sync-like
        for (unsigned k = rng() % 12 + 1; k > 0; --k)
          stream.push_back(rng() % 3 == 0 ? 0x7F : rng() % 3 == 0 ? 0xAA : static_cast<std::uint8_t>(rng()));
        break;
      case 1:  // bad checksum
        b[9] = static_cast<std::uint8_t>(b[9] + 1 + rng() % 255);
        stream.insert(stream.end(), b.begin(), b.end());
        break;
      case 2:  // cut telegram
        stream.insert(stream.end(), b.begin(), b.begin() + 1 + rng() % 9);
        break;
      default:
        stream.insert(stream.end(), b.begin(), b.end());
    }
  }
  std::size_t fed = 0, chunks = 0, iterations = 0;
  while (fed < stream.size()) {
    const std::size_t chunk = std::min<std::size_t>(1 + rng() % 97, stream.size() - fed);
    rig.port.Feed(std::vector<std::uint8_t>(stream.begin() + static_cast<long>(fed),
                                            stream.begin() + static_cast<long>(fed + chunk)));
    fed += chunk;
    ++chunks;
    do ++iterations;
    while (rig.link.Session.Iterate() == ReceiveSession::Next::Again);
  }
  EXPECT_LT(rig.port.input.size(), 10u);
  std::size_t attempts = 0;
  const std::vector<Seen> expected = Model(stream, &attempts);
  EXPECT_GT(expected.size(), 100000u);
  ASSERT_EQ(seen.size(), expected.size());
  EXPECT_TRUE(seen == expected);
  // Garbage costs no iterations of its own: each one reads a telegram, or
  // drops what waits until fewer than 10 bytes are left.
  EXPECT_LE(iterations, attempts + chunks);
}

TEST(Stream, GarbageIsDroppedInBoundedBatches) {
  LinkRig rig;
  rig.Start();
  rig.Pump();
  const std::size_t batch = ReceiveSession::MaxDroppedPerIteration;
  rig.port.Feed(std::vector<std::uint8_t>(2 * batch + 100, 0x7F));  // 7F 7F: dropped in pairs
  rig.port.FeedTelegram(50);
  EXPECT_EQ(rig.link.Session.Iterate(), ReceiveSession::Next::Again);
  EXPECT_EQ(rig.port.input.size(), batch + 110);  // the window's events run between two batches
  EXPECT_EQ(rig.link.Session.Iterate(), ReceiveSession::Next::Again);
  EXPECT_FALSE(rig.link.Flags.Linked);
  rig.link.Session.Iterate();  // the rest of the garbage and the telegram
  EXPECT_TRUE(rig.link.Flags.Linked);
  EXPECT_TRUE(rig.port.input.empty());
}

TEST(Stream, StrayByteBeforeAGoodTelegramCostsThatTelegram) {
  Telegram t;
  t.Type = 50;
  auto b = EncodeTelegram(t);
  std::vector<std::uint8_t> bytes{0x7F};
  bytes.insert(bytes.end(), b.begin(), b.end());
  bytes.insert(bytes.end(), b.begin(), b.end());
  EXPECT_EQ(Model(bytes).size(), 1u);  // 7F 7F dropped, then AA ... resync finds the second
  LinkRig rig;
  rig.Start();
  int count = 0;
  rig.link.Session.SetTelegramTap([&](const Telegram&) { ++count; });
  rig.port.Feed(bytes);
  rig.Pump();
  EXPECT_EQ(count, 1);
}

}  // namespace qel
