#pragma once
// The spectrometer as seen from its own side of the serial line. Written
// apart from the program's link code (its own framing, parsing and tables),
// so that a mistake shared by both sides cannot hide.
//
// Time is given by the caller in seconds; the instrument produces the bytes
// that are due by then.

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace qelsim {

struct Options {
  double TimeScale = 1.0;      // how much faster than real time the sweep runs
  int Lines = 3;               // spectrum lines (a nitroxide triplet by default)
  double LineWidth = 300.0;    // peak-to-peak width, in field codes
  double Amplitude = 400.0;    // peak amplitude at gain factor 1, in ADC codes
  double Noise = 0.0;          // standard deviation of the noise, in ADC codes
  std::uint32_t NoiseStream = 1;  // which pseudo-random sequence the noise and faults follow
  // Faults.
  double GarbageRate = 0.0;      // chance per telegram of a burst of random bytes before it
  double BadChecksumRate = 0.0;  // chance per telegram of a wrong checksum
  // Random bytes per second in place of every telegram, as a reader set to
  // the wrong baud rate sees the line (0: off). Commands are not understood then.
  double RandomBytesRate = 0.0;
  double SilenceEvery = 0.0;     // seconds between silences (0: none)
  double SilenceFor = 0.0;       // seconds a silence lasts
  bool ReportBadChecksums = false;  // Tm90 for a command with a wrong checksum
  double ReportEvery = 0.0;         // seconds between Tm90/Tm98/Tm99/Tm100 reports (0: none)
  int ManualGainCode = -1;    // gain set at the instrument: status bit 7 and this code
  int ManualSpeedCode = -1;   // speed set at the instrument
  bool ManualCorrection = false;
  int StartSpeedCode = 8;     // " 1 мин"
  int StartGainCode = 1;
};

// The instrument's own tables: sweep time over the full range and codes per point.
struct SpeedInfo {
  double FullSweepSeconds;  // 0: the sweep stands still
  int Step;
};
SpeedInfo SpeedOf(int speedCode);
int GainFactorOf(int gainCode);

// The 10-byte telegram the instrument sends.
std::vector<std::uint8_t> Frame(std::uint8_t type, std::uint8_t d1 = 0, std::uint8_t d2 = 0, std::uint8_t d3 = 0,
                                std::uint8_t d4 = 0, std::uint8_t d5 = 0, std::uint8_t d6 = 0);

// What the instrument sent in one forward pass, and which of its telegrams
// it damaged on the way: for checking what the program saved.
struct PassReport {
  std::uint64_t Number = 0;   // passes started since power-on, from 1
  bool StartDamaged = false;  // its Tm03 carried a wrong checksum or followed random bytes
  bool Cut = false;           // ended by a reset, not by the next pass
  int Points = 0;             // Tm02 telegrams sent
  int GainCode = 0;
  int Correction = 0;
  std::vector<int> BadChecksum;    // field codes of Tm02 sent with a wrong checksum
  std::vector<int> AfterGarbage;   // field codes of Tm02 that followed random bytes
};

// Where a Tm02 telegram ends in the output taken by TakeOutput.
struct Tm02Mark {
  std::size_t End;     // offset just past its last byte
  std::uint16_t Code;  // its field code
};

class Instrument {
 public:
  explicit Instrument(Options options);

  // Powered on (or reset): sends Tm01.
  void Start(double now);
  // Command bytes from the program.
  void Receive(const std::uint8_t* data, std::size_t n, double now);
  // Produces what is due by `now`.
  void Advance(double now);
  // Takes the bytes produced so far.
  std::vector<std::uint8_t> TakeOutput();

  // Each pass, once the next one starts (or a reset cuts it).
  void SetPassReport(std::function<void(const PassReport&)> report) { passReport_ = std::move(report); }
  // Marks of the Tm02 telegrams in the output (off by default: no cost).
  void SetMarkTm02(bool on) { markTm02_ = on; }
  std::vector<Tm02Mark> TakeMarks();

  // The amplitude code the instrument measures at a field code (without noise).
  int SignalAt(int fieldCode) const;

  int PoleMin() const { return poleMin_; }
  int PoleMax() const { return poleMax_; }
  int GainCode() const { return gainCode_; }
  int SpeedCode() const { return speedCode_; }
  int Correction() const { return correction_; }
  int CommandsAccepted() const { return commandsAccepted_; }
  int BadCommands() const { return badCommands_; }
  std::uint64_t TelegramsSent() const { return telegramsSent_; }
  int PassesStarted() const { return passesStarted_; }
  std::vector<int> CommandLog() const { return commandLog_; }

  static constexpr std::uint8_t SerialNumber = 42;
  static constexpr std::uint8_t ProgramNumber = 7;

 private:
  void Send(const std::vector<std::uint8_t>& frame);
  void EndPass(bool cut);
  void Command(std::uint8_t code, const std::uint8_t* payload);
  std::uint8_t GainStatus() const;
  std::uint8_t SpeedStatus() const;
  double PointInterval() const;
  bool Silent(double now) const;
  double SilenceEnd(double now) const;  // the end of the silence now falls in

  Options o_;
  std::mt19937 rng_;
  std::vector<std::uint8_t> out_;
  std::vector<std::uint8_t> in_;
  int poleMin_ = 0, poleMax_ = 65519;
  int gainCode_, speedCode_;
  int correction_ = 0;
  // The sweep.
  enum class Phase { Forward, Return } phase_ = Phase::Return;
  int position_ = 0;
  double nextEvent_ = 0;
  double lastReport_ = 0;
  double randomSince_ = 0;
  int reportKind_ = 0;
  int commandsAccepted_ = 0, badCommands_ = 0, passesStarted_ = 0;
  std::uint64_t telegramsSent_ = 0;
  std::vector<int> commandLog_;
  std::function<void(const PassReport&)> passReport_;
  PassReport pass_;
  bool passOpen_ = false;
  bool markTm02_ = false;
  std::vector<Tm02Mark> marks_;
};

}  // namespace qelsim
