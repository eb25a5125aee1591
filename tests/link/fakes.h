#pragma once
// A scripted serial port and recorders of what the link shows and switches.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "link/link.h"
#include "link/telegram.h"
#include "model/units.h"

namespace qel::test {

class FakePort : public SerialPort {
 public:
  bool Open(const std::string& name, std::int32_t baud) override {
    ++opens;
    openedName = name;
    openedBaud = baud;
    open = openSucceeds;
    if (open) lost = false;
    return open;
  }
  void Close() override {
    if (open) ++closes;
    open = false;
  }
  bool IsOpen() const override { return open; }
  LineStatus FetchLineStatus() override {
    LineStatus s{lineErrors, input.size()};
    lineErrors = false;
    return s;
  }
  std::size_t Read(std::uint8_t* buffer, std::size_t n) override {
    std::size_t k = 0;
    for (; k < n && !input.empty(); ++k) {
      buffer[k] = input.front();
      input.pop_front();
    }
    return k;
  }
  void Write(const std::uint8_t* data, std::size_t n) override {
    writes.emplace_back(data, data + n);
    ctsAtWrite.push_back(ctsOn);
  }
  CtsReport CtsSupport() const override { return cts; }
  bool CtsOn() override {
    StepLine();
    return ctsOn;
  }
  std::uint64_t CtsChanges() override {
    StepLine();
    return ctsChanges;
  }
  bool Lost() const override { return lost; }

  // A line that moves while the link looks at it: each modem call takes the
  // next level of `ctsScript` (the last one stays), so a change can fall
  // between any two calls; changes are counted one at a time.
  void StepLine() {
    ++ctsCalls;
    if (ctsScript.empty()) return;
    const bool level = ctsScript[std::min(ctsStep++, ctsScript.size() - 1)];
    if (level != ctsOn) ++ctsChanges;
    ctsOn = level;
  }

  void Feed(const std::vector<std::uint8_t>& bytes) { input.insert(input.end(), bytes.begin(), bytes.end()); }
  void FeedTelegram(std::uint8_t type, std::array<std::uint8_t, 6> d = {}) {
    Telegram t;
    t.Type = type;
    t.D = d;
    const auto b = EncodeTelegram(t);
    input.insert(input.end(), b.begin(), b.end());
  }
  // The codes of the commands written, in order.
  std::vector<int> Codes() const {
    std::vector<int> c;
    for (const auto& w : writes) c.push_back(w.size() > 2 ? w[2] : -1);
    return c;
  }

  bool openSucceeds = true;
  bool open = false;
  bool lineErrors = false;
  bool lost = false;
  CtsReport cts = CtsReport::None;
  bool ctsOn = false;
  std::uint64_t ctsChanges = 0;
  int ctsCalls = 0;
  std::vector<bool> ctsScript;
  std::size_t ctsStep = 0;
  std::vector<bool> ctsAtWrite;  // the line's level when each write was made
  int opens = 0, closes = 0;
  std::string openedName;
  std::int32_t openedBaud = 0;
  std::deque<std::uint8_t> input;
  std::vector<std::vector<std::uint8_t>> writes;
};

class Recorder : public LinkView, public LinkDriver {
 public:
  void SetStatusPanel(int panel, const std::string& text) override { panels[panel] = text; }
  void AppendLog(const std::string& line) override { log.push_back(line); }
  void ClearLog() override {
    log.clear();
    ++logClears;
  }
  void ShowError(const std::string& text) override { errors.push_back(text); }
  void SetGroupEnabled(ControlGroup group, bool enabled) override { groups[group] = enabled; }
  void SetSourceLabel(ControlGroup group, const std::string& text) override { labels[group] = text; }
  void SetBoundLabelsEnabled(bool enabled) override { boundLabels = enabled; }
  void SelectGain(int index) override { gain = index; }
  void SelectSpeed(int index) override { speed = index; }
  void SetBoundText(bool upper, const std::string& text) override { (upper ? topText : botText) = text; }
  void SetViewBound(bool upper, int code) override { (upper ? maxView : minView) = code; }
  void SetCorrection(int editValue, int barPosition, const std::string& text) override {
    corrEdit = editValue;
    corrBar = barPosition;
    corrText = text;
  }
  void SetCorrectionHidden(bool hidden) override { corrHidden = hidden; }
  void SetActionEnabled(LinkAction action, bool enabled) override { actions[action] = enabled; }
  void SetActionChecked(LinkAction action, bool checked) override { checked_[action] = checked; }
  void SetToggleImages(int lpf, int sum) override {
    lpfImage = lpf;
    sumImage = sum;
    if (onToggleImages) onToggleImages();
  }
  void PlotPoint(std::uint16_t code) override { plotted.push_back(code); }
  void ShowSweepMark(std::uint16_t code) override {
    ++sweepMarks;
    lastSweep = code;
  }
  void PlotPixel(std::uint16_t code, int value) override { pixels.emplace_back(code, value); }
  void FullRepaint() override { ++repaints; }
  void SetVisirText(int visir, const std::string& text) override { visirs[visir] = text; }
  void SetAdcText(const std::string& text) override { adcText = text; }
  void SetAdcWindowVisible(bool visible) override { adcVisible = visible; }
  void PassEnded() override {
    if (onPassEnded) onPassEnded();
  }

  void SetTimerEnabled(LinkTimer timer, bool enabled) override { timers[timer] = enabled; }
  void SetTimerInterval(LinkTimer timer, int milliseconds) override { intervals[timer] = milliseconds; }
  void RequestIteration() override { ++iterationRequests; }

  std::function<void()> onPassEnded;
  std::function<void()> onToggleImages;
  std::map<int, std::string> panels;
  std::vector<std::string> log;
  int logClears = 0;
  std::vector<std::string> errors;
  std::map<ControlGroup, bool> groups;
  std::map<ControlGroup, std::string> labels;
  bool boundLabels = false;
  int gain = -1, speed = -1;
  std::string botText, topText;
  int minView = -1, maxView = -1;
  int corrEdit = 0, corrBar = 0;
  std::string corrText;
  bool corrHidden = false;
  std::map<LinkAction, bool> actions, checked_;
  int lpfImage = 0, sumImage = 0;
  std::vector<std::uint16_t> plotted;
  int sweepMarks = 0;
  std::uint16_t lastSweep = 0;
  std::vector<std::pair<std::uint16_t, int>> pixels;
  int repaints = 0;
  std::map<int, std::string> visirs;
  std::string adcText;
  bool adcVisible = false;
  std::map<LinkTimer, bool> timers;
  std::map<LinkTimer, int> intervals;
  int iterationRequests = 0;
};

// One link with its fakes, as the window would own it.
struct LinkRig {
  LinkRig() {
    SetDefaults(s);
    s.Port = "/dev/ttyUSB0";
  }
  // Iterates while the session asks for it at once; returns the last answer.
  ReceiveSession::Next Pump(int limit = 100000) {
    ReceiveSession::Next n = ReceiveSession::Next::Nothing;
    for (int i = 0; i < limit; ++i) {
      n = link.Session.Iterate();
      if (n != ReceiveSession::Next::Again) break;
    }
    return n;
  }
  // Receive mode entered and the loop started.
  void Start() {
    link.Controls.Initialise();
    link.Acq.SetReceiveMode(true);
    link.Session.QelTimerTimer();
  }
  // The handshake answered: 150, 111, 122, 133 each echoed.
  void CompleteHandshake() {
    for (std::uint8_t echo : {50, 11, 22, 33}) {
      Pump();
      port.FeedTelegram(echo);
      Pump();
      link.Session.SendTimerTimer();
      link.Session.SendTimerTimer();
    }
    Pump();
  }
  static std::array<std::uint8_t, 6> Point(std::uint16_t x, std::uint16_t y, std::uint8_t gain = 0x01,
                                           std::uint8_t speed = 0x08) {
    return {static_cast<std::uint8_t>(x >> 8), static_cast<std::uint8_t>(x & 0xFF), static_cast<std::uint8_t>(y >> 8),
            static_cast<std::uint8_t>(y & 0xFF), gain, speed};
  }

  Settings s;
  SpectrumStore store;
  RunValues run;
  FakePort port;
  Recorder ui;
  RegistryStore* settingsStore = nullptr;
  Link link{port, s, store, run, ui, ui, settingsStore, ","};
};

}  // namespace qel::test
