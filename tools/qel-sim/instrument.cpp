#include "instrument.h"

#include <algorithm>
#include <cmath>

namespace qelsim {

SpeedInfo SpeedOf(int code) {
  switch (code) {
    case 15: return {30, 4};
    case 0: return {240, 4};
    case 1: return {0, 4};  // stopped
    case 9: return {128 * 60, 1};
    case 2: return {64 * 60, 1};
    case 4: return {32 * 60, 1};
    case 5: return {16 * 60, 2};
    case 6: return {8 * 60, 4};
    case 3: return {4 * 60, 4};
    case 7: return {2 * 60, 4};
    case 8: return {60, 1};
    default: return {0, 4};  // a code the instrument does not know: it stands still
  }
}

int GainFactorOf(int code) {
  switch (code) {
    case 1: return 1;
    case 2: return 2;
    case 3: return 5;
    case 4: return 10;
    case 5: return 20;
    case 6: return 50;
    case 8: return 100;
    case 9: return 200;
    default: return 1;
  }
}

std::vector<std::uint8_t> Frame(std::uint8_t type, std::uint8_t d1, std::uint8_t d2, std::uint8_t d3,
                                std::uint8_t d4, std::uint8_t d5, std::uint8_t d6) {
  const std::uint8_t sum = static_cast<std::uint8_t>(type + d1 + d2 + d3 + d4 + d5 + d6);
  return {0x7F, 0xAA, type, d1, d2, d3, d4, d5, d6, sum};
}

namespace {
std::uint8_t Hi(int v) { return static_cast<std::uint8_t>((v >> 8) & 0xFF); }
std::uint8_t Lo(int v) { return static_cast<std::uint8_t>(v & 0xFF); }
constexpr double kReturnInterval = 0.02;  // seconds between two return positions, unscaled
constexpr int kReturnStep = 4096;
}  // namespace

Instrument::Instrument(Options options)
    : o_(options), rng_(options.NoiseStream), gainCode_(options.StartGainCode), speedCode_(options.StartSpeedCode) {}

void Instrument::Start(double now) {
  EndPass(true);
  Send(Frame(1, ProgramNumber, SerialNumber));
  phase_ = Phase::Return;
  position_ = poleMin_ - 1;  // the first event starts a forward pass
  nextEvent_ = now;
  lastReport_ = now;
  randomSince_ = now;
}

std::uint8_t Instrument::GainStatus() const {
  const int code = o_.ManualGainCode >= 0 ? (0x80 | (o_.ManualGainCode & 0x0F)) : gainCode_;
  return static_cast<std::uint8_t>(code | (o_.ManualCorrection ? 0x40 : 0));
}

std::uint8_t Instrument::SpeedStatus() const {
  return static_cast<std::uint8_t>(o_.ManualSpeedCode >= 0 ? (0x80 | (o_.ManualSpeedCode & 0x0F)) : speedCode_);
}

double Instrument::PointInterval() const {
  const SpeedInfo s = SpeedOf(o_.ManualSpeedCode >= 0 ? o_.ManualSpeedCode : speedCode_);
  return s.FullSweepSeconds * s.Step / 65520.0 / o_.TimeScale;
}

double Instrument::SilenceEnd(double now) const {
  return std::floor(now / o_.SilenceEvery) * o_.SilenceEvery + o_.SilenceFor;
}

bool Instrument::Silent(double now) const {
  if (o_.SilenceEvery <= 0 || now < o_.SilenceEvery) return false;
  // The same sum as the end that Advance resumes at: fmod's exact remainder
  // (2.3 mod 2 is a hair under 0.3) kept a silence from ever ending.
  return now < SilenceEnd(now);
}

int Instrument::SignalAt(int x) const {
  const int gain = GainFactorOf(o_.ManualGainCode >= 0 ? o_.ManualGainCode : gainCode_);
  const double gamma = o_.LineWidth * std::sqrt(3.0) / 2.0;
  double y = 0;
  for (int k = 0; k < o_.Lines; ++k) {
    const double centre = 32760.0 + (k - (o_.Lines - 1) / 2.0) * 12000.0;
    const double u = (x - centre) / gamma;
    y += -2.0 * u / ((1 + u * u) * (1 + u * u)) / 0.6495190528383290;
  }
  const double v = 2048.0 + gain * o_.Amplitude * y + correction_ / 16.0;
  return static_cast<int>(std::clamp(std::lround(v), 0L, 4095L));
}

void Instrument::Send(const std::vector<std::uint8_t>& frame) {
  out_.insert(out_.end(), frame.begin(), frame.end());
  ++telegramsSent_;
  if (markTm02_ && frame[2] == 2) marks_.push_back({out_.size(), static_cast<std::uint16_t>((frame[3] << 8) | frame[4])});
}

void Instrument::EndPass(bool cut) {
  if (!passOpen_) return;
  passOpen_ = false;
  pass_.Cut = cut;
  if (passReport_) passReport_(pass_);
}

std::vector<Tm02Mark> Instrument::TakeMarks() {
  std::vector<Tm02Mark> m;
  m.swap(marks_);
  return m;
}

void Instrument::Advance(double now) {
  if (o_.RandomBytesRate > 0) {
    const auto n = static_cast<long>((now - randomSince_) * o_.RandomBytesRate);
    for (long k = 0; k < n; ++k) out_.push_back(static_cast<std::uint8_t>(rng_()));
    randomSince_ += static_cast<double>(n) / o_.RandomBytesRate;
    return;
  }
  std::uniform_real_distribution<double> chance(0.0, 1.0);
  if (o_.ReportEvery > 0 && now - lastReport_ >= o_.ReportEvery && !Silent(now)) {
    lastReport_ = now;
    switch (reportKind_++ % 4) {
      case 0: Send(Frame(90, 0x12, 0x34)); break;
      case 1: Send(Frame(98)); break;
      case 2: Send(Frame(99)); break;
      default: Send(Frame(100, 5, 7)); break;
    }
  }
  int guard = 0;
  while (nextEvent_ <= now && guard++ < 200000) {
    if (Silent(nextEvent_)) {
      nextEvent_ = SilenceEnd(nextEvent_);
      continue;
    }
    const double interval = PointInterval();
    if (interval <= 0) {  // the sweep stands still
      nextEvent_ = now + 0.05;
      break;
    }
    std::vector<std::uint8_t> frame;
    if (phase_ == Phase::Forward) {
      if (position_ > poleMax_) {
        phase_ = Phase::Return;
        position_ = poleMax_;
        continue;
      }
      int value = SignalAt(position_);
      if (o_.Noise > 0) {
        std::normal_distribution<double> noise(0.0, o_.Noise);
        value = static_cast<int>(std::clamp(std::lround(value + noise(rng_)), 0L, 4095L));
      }
      frame = Frame(2, Hi(position_), Lo(position_), Hi(value), Lo(value), GainStatus(), SpeedStatus());
      position_ += SpeedOf(o_.ManualSpeedCode >= 0 ? o_.ManualSpeedCode : speedCode_).Step;
      nextEvent_ += interval;
    } else {
      if (position_ < poleMin_) {
        phase_ = Phase::Forward;
        position_ = poleMin_;
        frame = Frame(3, Hi(poleMax_), Lo(poleMax_), Hi(poleMin_), Lo(poleMin_), Hi(position_), Lo(position_));
        ++passesStarted_;
      } else {
        frame = Frame(14, 0, 0, 0, 0, Hi(position_), Lo(position_));
        position_ -= kReturnStep;
      }
      nextEvent_ += kReturnInterval / o_.TimeScale;
    }
    bool garbled = false, bad = false;
    if (o_.GarbageRate > 0 && chance(rng_) < o_.GarbageRate) {
      const int n = 1 + static_cast<int>(rng_() % 8);
      for (int k = 0; k < n; ++k) out_.push_back(rng_() % 4 == 0 ? 0x7F : static_cast<std::uint8_t>(rng_()));
      garbled = true;
    }
    if (o_.BadChecksumRate > 0 && chance(rng_) < o_.BadChecksumRate) {
      frame[9] = static_cast<std::uint8_t>(frame[9] ^ 0x5A);
      bad = true;
    }
    if (frame[2] == 3) {
      EndPass(false);
      pass_ = PassReport{};
      pass_.Number = static_cast<std::uint64_t>(passesStarted_);
      pass_.StartDamaged = garbled || bad;
      pass_.GainCode = o_.ManualGainCode >= 0 ? o_.ManualGainCode : gainCode_;
      pass_.Correction = correction_;
      passOpen_ = true;
    } else if (frame[2] == 2 && passOpen_) {
      const int code = (frame[3] << 8) | frame[4];
      ++pass_.Points;
      if (bad) pass_.BadChecksum.push_back(code);
      if (garbled) pass_.AfterGarbage.push_back(code);
      // A setting changed in the middle of a pass: the pass holds two signals.
      if (pass_.GainCode != (o_.ManualGainCode >= 0 ? o_.ManualGainCode : gainCode_) || pass_.Correction != correction_)
        pass_.GainCode = -1;
    }
    Send(frame);
  }
}

void Instrument::Receive(const std::uint8_t* data, std::size_t n, double now) {
  if (o_.RandomBytesRate > 0) return;
  in_.insert(in_.end(), data, data + n);
  std::size_t i = 0;
  while (i < in_.size()) {
    if (in_[i] != 0x81) {
      ++i;
      continue;
    }
    if (i + 1 >= in_.size()) break;
    if (in_[i + 1] != 0x58) {
      ++i;
      continue;
    }
    if (i + 2 >= in_.size()) break;
    const std::uint8_t code = in_[i + 2];
    int payload;
    switch (code) {
      case 150: case 122: case 133: payload = 2; break;
      case 111: payload = 4; break;
      case 144: payload = -1; break;
      default: payload = -2; break;
    }
    if (payload == -2) {  // not a command: look for the next lead byte
      ++i;
      continue;
    }
    if (payload == -1) {  // 144: no payload, no checksum
      i += 3;
      if (!Silent(now)) {
        Command(code, nullptr);
        const int adc = 2048 + static_cast<int>(std::lround(1000 * std::sin(now / 20.0 * 2 * 3.141592653589793)));
        Send(Frame(44, Hi(adc), Lo(adc)));
      }
      continue;
    }
    const std::size_t size = 3 + static_cast<std::size_t>(payload) + 1;
    if (i + size > in_.size()) break;
    unsigned sum = code;
    for (int k = 0; k < payload; ++k) sum += in_[i + 3 + static_cast<std::size_t>(k)];
    const std::uint8_t got = in_[i + size - 1];
    if ((sum & 0xFF) != got) {
      ++badCommands_;
      if (o_.ReportBadChecksums && !Silent(now)) Send(Frame(90, got, static_cast<std::uint8_t>(sum & 0xFF)));
      i += size;
      continue;
    }
    std::uint8_t p[4] = {0, 0, 0, 0};
    for (int k = 0; k < payload; ++k) p[k] = in_[i + 3 + static_cast<std::size_t>(k)];
    i += size;
    if (Silent(now)) continue;
    const bool wasStopped = PointInterval() <= 0;
    Command(code, p);
    if (wasStopped && PointInterval() > 0) nextEvent_ = now;
  }
  in_.erase(in_.begin(), in_.begin() + static_cast<long>(i));
}

void Instrument::Command(std::uint8_t code, const std::uint8_t* p) {
  ++commandsAccepted_;
  commandLog_.push_back(code);
  switch (code) {
    case 150:
      Send(Frame(50));
      break;
    case 111:
      poleMax_ = (p[0] << 8) | p[1];
      poleMin_ = (p[2] << 8) | p[3];
      Send(Frame(11, p[0], p[1], p[2], p[3]));
      break;
    case 122:
      if (o_.ManualGainCode < 0) gainCode_ = p[0] & 0x0F;
      if (o_.ManualSpeedCode < 0) speedCode_ = p[1] & 0x0F;
      Send(Frame(22, p[0], p[1]));
      break;
    case 133:
      if (!o_.ManualCorrection) correction_ = ((p[0] << 8) | p[1]) - 32768;
      Send(Frame(33, p[0], p[1]));
      break;
    default:  // 144 is answered by Receive, which knows the time
      break;
  }
}

std::vector<std::uint8_t> Instrument::TakeOutput() {
  std::vector<std::uint8_t> out;
  out.swap(out_);
  return out;
}

}  // namespace qelsim
