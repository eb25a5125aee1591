#include <benchmark/benchmark.h>

#include <filesystem>
#include <vector>

#include <stdlib.h>

#include "link/link.h"
#include "model/pass_archive_writer.h"
#include "model/units.h"

namespace {

// Telegrams served from memory.
class MemoryPort : public qel::SerialPort {
 public:
  bool Open(const std::string&, std::int32_t) override { return open = true; }
  void Close() override { open = false; }
  bool IsOpen() const override { return open; }
  LineStatus FetchLineStatus() override { return {false, bytes.size() - pos}; }
  std::size_t Read(std::uint8_t* b, std::size_t n) override {
    for (std::size_t i = 0; i < n; ++i) b[i] = bytes[pos++];
    return n;
  }
  void Write(const std::uint8_t*, std::size_t) override {}
  qel::CtsReport CtsSupport() const override { return qel::CtsReport::None; }
  bool CtsOn() override { return false; }
  std::uint64_t CtsChanges() override { return 0; }

  std::vector<std::uint8_t> bytes;
  std::size_t pos = 0;
  bool open = false;
};

// A window that draws nothing, and a driver with no timers.
class NullView : public qel::NullLinkView, public qel::LinkDriver {
 public:
  void SetTimerEnabled(qel::LinkTimer, bool) override {}
  void SetTimerInterval(qel::LinkTimer, int) override {}
  void RequestIteration() override {}
};

void BM_Tm02(benchmark::State& state) {
  qel::Settings s;
  qel::SetDefaults(s);
  s.EnableRTLPF = true;
  s.EnableRTSum = true;
  s.ShowFirst = true;
  qel::SpectrumStore store;
  qel::RunValues run;
  MemoryPort port;
  NullView view;
  qel::Link link(port, s, store, run, view, view, nullptr, ",");
  link.Acq.SetReceiveMode(true);
  link.Session.QelTimerTimer();
  link.Flags.Linked = link.Flags.BoundsAcked = link.Flags.GainSpeedAcked = link.Flags.CorrAcked = true;
  link.Acq.ForwardPassStart();

  constexpr int kTelegrams = 65520;
  for (int i = 0; i < kTelegrams; ++i) {
    qel::Telegram t;
    t.Type = 2;
    const auto x = static_cast<std::uint16_t>(i);
    const auto y = static_cast<std::uint16_t>(2048 + (i * 37) % 600);
    t.D = {static_cast<std::uint8_t>(x >> 8), static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y >> 8),
           static_cast<std::uint8_t>(y), 0x01, 0x08};
    const auto b = qel::EncodeTelegram(t);
    port.bytes.insert(port.bytes.end(), b.begin(), b.end());
  }
  for (auto _ : state) {
    port.pos = 0;
    while (link.Session.Iterate() == qel::ReceiveSession::Next::Again) {
    }
  }
  state.SetItemsProcessed(state.iterations() * kTelegrams);
}
BENCHMARK(BM_Tm02)->Name("Tm02")->Unit(benchmark::kMillisecond);

// One pass at the fastest sweep (16,380 telegrams) and the pass start that
// ends it, with the filter and accumulation on: the window thread's cost,
// without (0) and with (1) the archive of passes, whose writer thread
// serialises and writes each pass to a temporary folder meanwhile.
void BM_PassArchive(benchmark::State& state) {
  qel::Settings s;
  qel::SetDefaults(s);
  s.EnableRTLPF = true;
  s.EnableRTSum = true;
  s.PassArchive = true;
  char folder[] = "/tmp/qel-bench-XXXXXX";
  s.WorkDir = mkdtemp(folder);
  qel::SpectrumStore store;
  qel::RunValues run;
  MemoryPort port;
  NullView view;
  qel::Link link(port, s, store, run, view, view, nullptr, ",");
  qel::PassArchiveWriter writer(s);
  if (state.range(0)) link.Acq.SetPassSink(&writer, [] { return std::int64_t{1765300000000}; });
  link.Acq.SetReceiveMode(true);
  link.Session.QelTimerTimer();
  link.Flags.Linked = link.Flags.BoundsAcked = link.Flags.GainSpeedAcked = link.Flags.CorrAcked = true;
  link.Acq.ForwardPassStart();

  constexpr int kTelegrams = 16380;
  for (int i = 0; i <= kTelegrams; ++i) {
    qel::Telegram t;
    t.Type = i < kTelegrams ? 2 : 3;
    const auto x = static_cast<std::uint16_t>(4 * i);
    const auto y = static_cast<std::uint16_t>(2048 + (i * 37) % 600);
    t.D = {static_cast<std::uint8_t>(x >> 8), static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y >> 8),
           static_cast<std::uint8_t>(y), 0x01, 0x08};
    const auto b = qel::EncodeTelegram(t);
    port.bytes.insert(port.bytes.end(), b.begin(), b.end());
  }
  for (auto _ : state) {
    port.pos = 0;
    while (link.Session.Iterate() == qel::ReceiveSession::Next::Again) {
    }
  }
  writer.Flush();
  state.SetItemsProcessed(state.iterations());
  std::filesystem::remove_all(s.WorkDir);
}
BENCHMARK(BM_PassArchive)->Name("pass_with_archive")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
