#pragma once
// The simulated instrument as an in-process serial port, on a clock the
// caller moves. It raises its clear-to-send line in pulses and accepts a
// command only after a whole pulse (on, then off) since the one before;
// a command written without one is refused and counted.

#include <cstdint>
#include <deque>
#include <vector>

#include "instrument.h"
#include "link/serial_port.h"

namespace qelsim {

class SimPort : public qel::SerialPort {
 public:
  // Pulses start every `period` seconds; their widths cycle through `widths`.
  SimPort(Options options, qel::CtsReport report, double period, std::vector<double> widths)
      : instrument_(options), report_(report), period_(period), widths_(std::move(widths)) {}

  // Moves the clock; the instrument produces what is due.
  void SetTime(double t) {
    now_ = t;
    if (!open_) return;
    instrument_.Advance(now_);
    const auto out = instrument_.TakeOutput();
    input_.insert(input_.end(), out.begin(), out.end());
  }

  bool Open(const std::string&, std::int32_t) override {
    open_ = true;
    instrument_.Start(now_);
    edgesAtLastCommand_ = Edges();
    return true;
  }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  LineStatus FetchLineStatus() override { return {false, input_.size()}; }
  std::size_t Read(std::uint8_t* buffer, std::size_t n) override {
    std::size_t k = 0;
    for (; k < n && !input_.empty(); ++k) {
      buffer[k] = input_.front();
      input_.pop_front();
    }
    return k;
  }
  void Write(const std::uint8_t* data, std::size_t n) override {
    // A whole pulse must lie between the previous command and this one.
    const std::uint64_t edges = Edges();
    const bool pulsed = edges >= edgesAtLastCommand_ + 2 || (edges == edgesAtLastCommand_ + 1 && !On());
    edgesAtLastCommand_ = edges;
    if (!pulsed) {
      ++refused_;
      return;
    }
    instrument_.Receive(data, n, now_);
    const auto out = instrument_.TakeOutput();
    input_.insert(input_.end(), out.begin(), out.end());
  }
  qel::CtsReport CtsSupport() const override { return report_; }
  bool CtsOn() override { return On(); }
  std::uint64_t CtsChanges() override { return Edges(); }

  Instrument& Device() { return instrument_; }
  int Refused() const { return refused_; }

 private:
  // Pulse k occupies [k * period, k * period + width(k)).
  double Width(std::uint64_t k) const { return widths_[k % widths_.size()]; }
  bool On() const {
    const auto k = static_cast<std::uint64_t>(now_ / period_);
    return now_ - static_cast<double>(k) * period_ < Width(k);
  }
  std::uint64_t Edges() const {
    const auto k = static_cast<std::uint64_t>(now_ / period_);
    return 2 * k + (On() ? 1 : 2);
  }

  Instrument instrument_;
  qel::CtsReport report_;
  double period_;
  std::vector<double> widths_;
  double now_ = 0;
  bool open_ = false;
  std::deque<std::uint8_t> input_;
  std::uint64_t edgesAtLastCommand_ = 0;
  int refused_ = 0;
};

}  // namespace qelsim
