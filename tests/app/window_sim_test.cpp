// End to end: the program's real window (TQelMainForm with its link, its
// QSerialPort and its plot) against qel-sim on a pseudo-terminal, on the
// offscreen platform. Everything waits on the program's own state with a
// time-out; nothing sleeps.

#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <signal.h>

#include <memory>

#include "app/error_boxes.h"
#include "app/main_window.h"
#include "app/message_form.h"
#include "display/screen_box.h"
#include "display/view_window.h"
#include "instrument.h"
#include "tests/app/modal.h"
#include "tests/link_qt/sim_process.h"
#include "link/qt/qt_serial_port.h"
#include "model/auto_save.h"
#include "model/reg_file_store.h"
#include "model/spectrum_file.h"

using namespace qel;

namespace {

using test::RunUntil;

// "30 сек": speed code 15, 4 field codes per telegram; at --time-scale 20 a
// pass takes 1.5 s.
constexpr int kFastSpeedIndex = 11;
constexpr int kSpeedCode = 15;
constexpr int kStep = 4;
const QStringList kSimArgs = {"--time-scale", "20", "--speed", "15"};

// The simulator with this file's usual arguments.
struct SimProcess : test::SimProcess {
  explicit SimProcess(QStringList args = kSimArgs) : test::SimProcess(std::move(args)) {}
};

// The simulator's signal for its default gain and correction, which the
// program's default settings send.
std::vector<int> ExpectedPass(int lines = 3) {
  qelsim::Options o;
  o.StartSpeedCode = kSpeedCode;
  o.Lines = lines;
  qelsim::Instrument reference(o);
  std::vector<int> v(MaxFieldCode + 1);
  for (int x = 0; x <= MaxFieldCode; ++x) v[static_cast<std::size_t>(x)] = reference.SignalAt(x - x % kStep);
  return v;
}

int Mismatches(const SpectrumPoint* spectrum, const std::vector<int>& expected) {
  int wrong = 0;
  for (int x = 0; x <= MaxFieldCode; ++x) {
    const SpectrumPoint p = spectrum[static_cast<std::size_t>(x)];
    if (p.Code != x || p.Value != expected[static_cast<std::size_t>(x)]) ++wrong;
  }
  return wrong;
}

// The files of the process that lead to this path (the pseudo-terminal behind a link).
bool HoldsOpen(const QString& path) {
  const QString target = QFileInfo(path).canonicalFilePath();
  if (target.isEmpty()) return false;
  for (const QFileInfo& fd : QDir("/proc/self/fd").entryInfoList(QDir::Files | QDir::System))
    if (fd.symLinkTarget() == target) return true;
  return false;
}

// One run of the program: its own settings file, its window shown.
struct Program {
  Program(const QString& dir, const std::function<void(Settings&)>& change)
      : state(std::make_unique<ProgramState>()), store((dir + "/1.0.reg").toStdString()) {
    Settings s;
    SetDefaults(s);
    s.Rapid = kFastSpeedIndex;
    s.WorkDir = dir.toStdString();
    change(s);
    SaveSettings(s, {}, store);
    QObject::connect(&errors, &ErrorBoxes::BoxOpened, [this](const QString& text) { boxes << text; });
    window = std::make_unique<TQelMainForm>(*state, store, errors, ",");
    window->InstrumentLink().Session.SetTelegramTap([this](const Telegram& t) {
      types.push_back(t.Type);
      if (onTelegram) onTelegram(t);
    });
    window->show();
  }
  ~Program() {
    window->InstrumentLink().Session.SetTelegramTap(nullptr);
    if (window->isVisible()) window->close();
  }

  TQelMainForm& W() { return *window; }
  Link& L() { return window->InstrumentLink(); }
  ScreenBox& Plot() { return window->View().Plot(); }
  Settings& S() { return state->Settings; }
  QtSerialPort& Port() { return *window->findChild<QtSerialPort*>(); }
  bool Settled() {
    const LinkFlags& f = L().Flags;
    return f.Linked && f.BoundsAcked && f.GainSpeedAcked && f.CorrAcked;
  }
  int Count(std::uint8_t type) const { return static_cast<int>(std::count(types.begin(), types.end(), type)); }
  // Index of the first telegram of a type from `from` on, or -1.
  int Find(std::uint8_t type, int from = 0) const {
    for (std::size_t i = static_cast<std::size_t>(std::max(from, 0)); i < types.size(); ++i)
      if (types[i] == type) return static_cast<int>(i);
    return -1;
  }
  QString Log() { return window->MessageForm().Msg().toPlainText(); }

  std::unique_ptr<ProgramState> state;
  RegFileStore store;
  ErrorBoxes errors;
  std::unique_ptr<TQelMainForm> window;
  std::vector<std::uint8_t> types;
  std::function<void(const Telegram&)> onTelegram;
  QStringList boxes;
};

// The pass that has just ended, as the window holds it when the next pass
// starts (before it is cleared), and the plot's picture right after the
// repaint of the pass start, before any point of the new pass.
struct PassCapture {
  bool done = false;
  std::vector<SpectrumPoint> points;
  QImage drawn, background;
  PlotScales scales;
  int sweepMarkX = -1;

  // Takes the pass that ends at the `startIndex`-th pass start from now.
  void Arm(Program& p, int startsToSkip) {
    const int target = p.Count(3) + startsToSkip + 1;
    bool taken = false;
    p.onTelegram = [this, &p, target, taken](const Telegram& t) mutable {
      if (done) return;
      if (!taken && t.Type == 3 && p.Count(3) == target) {
        const SpectrumBuffer& c = p.state->Store.CurrentSpectrum;
        points.assign(c.begin(), c.begin() + MaxFieldCode + 1);
        drawn = p.Plot().Image().copy();
        scales = p.Plot().Scales();
        sweepMarkX = p.Plot().SweepMarkShownX();
        taken = true;
      } else if (taken) {
        background = p.Plot().Image().copy();
        done = true;
      }
    };
  }
};

}  // namespace

class WindowSimTest : public QObject {
  Q_OBJECT
 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
  }
  void HandshakeThenAWholePassOnThePlot();
  void AutomaticSavesCarryTheirNumbers();
  void InstrumentResetRestartsTheHandshake();
  void KilledSimulatorIsReconnected();
  void PortDialogSwitchesToAnotherPort();
  void AnalyseModeClosesThePort();

 private:
  QString Dir() const { return dir_->path(); }
  QString LinkPath(const char* name = "ttyQEL") const { return dir_->filePath(name); }
  std::unique_ptr<QTemporaryDir> dir_;
};

void WindowSimTest::HandshakeThenAWholePassOnThePlot() {
  SimProcess sim;
  QVERIFY(sim.Start(LinkPath()));
  Program p(Dir(), [&](Settings& s) { s.Port = LinkPath().toStdString(); });
  QVERIFY2(RunUntil([&] { return p.Settled(); }, 10000), "handshake");
  QCOMPARE(p.W().PanelText(0), LinkPath());
  QCOMPARE(p.W().PanelText(1), QString("115200 бод"));
  QCOMPARE(p.W().PanelText(5), QString("PR: 7"));
  QCOMPARE(p.W().PanelText(6), QString("S/N: 42"));
  // Each setting was echoed, in the handshake's order.
  const int t50 = p.Find(50), t11 = p.Find(11, t50), t22 = p.Find(22, t11), t33 = p.Find(33, t22);
  QVERIFY2(t50 >= 0 && t11 > t50 && t22 > t11 && t33 > t22, qPrintable(QString("%1 %2 %3 %4").arg(t50).arg(t11).arg(t22).arg(t33)));

  // The first pass may have begun before the settings reached the
  // instrument: take the one after it.
  PassCapture pass;
  pass.Arm(p, 1);
  QVERIFY2(RunUntil([&] { return pass.done; }, 30000), "three pass starts");
  const std::vector<int> expected = ExpectedPass();
  QCOMPARE(Mismatches(pass.points.data(), expected), 0);

  // The picture: the background of a fresh pass, one pixel per telegram in
  // the Graph colour where the mapping puts it, and the sweep mark where
  // the return pass left it. Nothing else, nothing missing.
  const PlotScales& sc = pass.scales;
  QVERIFY(sc.HasView() && sc.W == pass.drawn.width() && sc.H == pass.drawn.height());
  QCOMPARE(pass.background.size(), pass.drawn.size());
  QImage want = pass.background;
  const QRgb graph = ToQRgb(p.S().DisplayColors.Graph);
  for (int x = 0; x <= MaxFieldCode; x += kStep) {
    const int px = sc.X(x), py = std::min(sc.Y(expected[static_cast<std::size_t>(x)]), sc.H - 2);
    if (px >= 0 && px < want.width() && py >= 0 && py < want.height()) want.setPixel(px, py, graph);
  }
  QVERIFY(pass.sweepMarkX >= 0);
  for (int row = 0; row <= 5; ++row)
    for (int dx = -row; dx <= row; ++dx) {
      const int x = pass.sweepMarkX + dx, y = sc.H - 8 + row;
      if (x >= 0 && x < want.width()) want.setPixel(x, y, want.pixel(x, y) ^ 0x00FF0000);
    }
  int wrongPixels = 0;
  for (int y = 0; y < want.height(); ++y)
    for (int x = 0; x < want.width(); ++x) wrongPixels += want.pixel(x, y) != pass.drawn.pixel(x, y);
  QCOMPARE(wrongPixels, 0);
  // The picture has a signal in it at all: the three lines reach well off the zero line.
  int graphPixels = 0;
  for (int y = 0; y < want.height(); ++y)
    for (int x = 0; x < want.width(); ++x) graphPixels += pass.drawn.pixel(x, y) == graph;
  QVERIFY(graphPixels > sc.W / 2);
  QVERIFY(p.boxes.isEmpty());
}

void WindowSimTest::AutomaticSavesCarryTheirNumbers() {
  SimProcess sim;
  QVERIFY(sim.Start(LinkPath()));
  const QString work = Dir() + "/work";
  QVERIFY(QDir().mkpath(work));
  const int first = 41;
  Program p(Dir(), [&](Settings& s) {
    s.Port = LinkPath().toStdString();
    s.AutoSave = true;
    s.SaveStep = 1;
    s.NameMask = "ЭПР проба";
    s.NumbMask = first;
    s.WorkDir = work.toStdString();
  });
  QVERIFY(RunUntil([&] { return p.Settled(); }, 10000));
  // Saved from here on: the pass under way when the settings arrived, then
  // whole passes.
  const int settledAt = p.S().NumbMask;
  QVERIFY(RunUntil([&] { return p.S().NumbMask >= settledAt + 3; }, 30000));
  QCOMPARE(p.W().PanelText(8), QString("АВТО"));
  const int last = p.S().NumbMask - 1;

  QStringList want;
  for (int n = first; n <= last; ++n) want << QString::fromStdString(AutoSaveFileName(p.S(), n));
  QCOMPARE(want.first(), QString("ЭПР_проба00000041.qel"));
  QStringList have = QDir(work).entryList({"*.qel"}, QDir::Files, QDir::Name);
  QCOMPARE(have, want);

  const std::vector<int> expected = ExpectedPass();
  SpectrumStore file;
  for (int n = settledAt + 1; n <= last; ++n) {
    QVERIFY(LoadSpectrum(file, AutoSavePath(p.S(), n)));
    QCOMPARE(Mismatches(file.CurrentSpectrum.data(), expected), 0);
  }
  // The number goes to the settings file at once, for a program that crashes.
  RegFileStore again((Dir() + "/1.0.reg").toStdString());
  Settings stored;
  SetDefaults(stored);
  RecentFileList recent;
  LoadSettings(stored, recent, again);
  QVERIFY(stored.NumbMask >= last + 1);
  QVERIFY(p.boxes.isEmpty());
}

void WindowSimTest::InstrumentResetRestartsTheHandshake() {
  SimProcess sim;
  QVERIFY(sim.Start(LinkPath()));
  Program p(Dir(), [&](Settings& s) { s.Port = LinkPath().toStdString(); });
  QVERIFY(RunUntil([&] { return p.Settled(); }, 10000));
  QCOMPARE(p.Count(1), 1);
  const int before = static_cast<int>(p.types.size());
  sim.Signal(SIGUSR1);
  QVERIFY(RunUntil([&] { return p.Find(1, before) >= 0; }, 5000));
  const int t01 = p.Find(1, before);
  QVERIFY(RunUntil([&] { return p.Find(33, t01) >= 0; }, 5000));
  // The whole chain again, in order, after the Tm01.
  const int t50 = p.Find(50, t01), t11 = p.Find(11, t50), t22 = p.Find(22, t11), t33 = p.Find(33, t22);
  QVERIFY(t50 > t01 && t11 > t50 && t22 > t11 && t33 > t22);
  QVERIFY(p.Settled());
  QCOMPARE(p.Log().count("Tm01. PROGRAMMA=7"), 2);
  QCOMPARE(p.W().PanelText(0), LinkPath());
  // The reset starts a new pass, and passes go on.
  const int passes = p.Count(3);
  QVERIFY(RunUntil([&] { return p.Count(3) >= passes + 1; }, 10000));
  QVERIFY(p.boxes.isEmpty());
}

void WindowSimTest::KilledSimulatorIsReconnected() {
  auto sim = std::make_unique<SimProcess>();
  QVERIFY(sim->Start(LinkPath()));
  Program p(Dir(), [&](Settings& s) { s.Port = LinkPath().toStdString(); });
  QVERIFY(RunUntil([&] { return p.Settled(); }, 10000));
  sim->Stop(SIGKILL);
  // The killed simulator leaves its link behind: take it away, as an
  // unplugged adapter's device node goes.
  QFile::remove(LinkPath());
  QVERIFY(RunUntil([&] { return p.W().PanelText(7) == "Ошибка обмена RS232"; }, 5000));
  QCOMPARE(p.W().PanelText(0), QString());
  QCOMPARE(p.W().PanelText(1), QString());
  QVERIFY(!p.Port().IsOpen());
  QVERIFY(p.L().Flags.Receiving);

  sim = std::make_unique<SimProcess>();
  QVERIFY(sim->Start(LinkPath()));
  QVERIFY2(RunUntil([&] { return p.W().PanelText(0) == LinkPath() && p.Settled(); }, 10000), "reconnected");
  QCOMPARE(p.W().PanelText(1), QString("115200 бод"));
  const int passes = p.Count(3);
  QVERIFY(RunUntil([&] { return p.Count(3) > passes; }, 10000));
  // Said once in the log, and no box for the operator.
  QCOMPARE(p.Log().count("Ошибка обмена RS232"), 1);
  QVERIFY(p.boxes.isEmpty());
}

void WindowSimTest::PortDialogSwitchesToAnotherPort() {
  // The second instrument has one line, not three: what arrives after the
  // switch can only have come from it.
  SimProcess first, second(kSimArgs + QStringList{"--lines", "1"});
  QVERIFY(first.Start(LinkPath("ttyA")));
  QVERIFY(second.Start(LinkPath("ttyB")));
  Program p(Dir(), [&](Settings& s) { s.Port = LinkPath("ttyA").toStdString(); });
  QVERIFY(RunUntil([&] { return p.Settled(); }, 10000));
  QVERIFY(HoldsOpen(LinkPath("ttyA")));

  bool answered = false;
  test::OnModal("SetupCommForm", [&](QWidget* dlg) {
    auto* box = dlg->findChild<QComboBox*>("PortBox");
    QVERIFY(box);
    QCOMPARE(box->currentText(), LinkPath("ttyA"));
    box->setCurrentText(LinkPath("ttyB"));
    dlg->findChild<QPushButton*>("BitBtnOk")->click();
    answered = true;
  });
  p.W().Action("ASetupCom")->trigger();
  QVERIFY(answered);
  QCOMPARE(QString::fromStdString(p.S().Port), LinkPath("ttyB"));
  // The old port is closed at once; the new one opens when QelTimer fires.
  QVERIFY(!HoldsOpen(LinkPath("ttyA")));
  QVERIFY(p.W().Driver().TimerActive(LinkTimer::QelTimer));
  QVERIFY(RunUntil([&] { return p.W().PanelText(0) == LinkPath("ttyB") && p.Settled(); }, 10000));
  QVERIFY(HoldsOpen(LinkPath("ttyB")) && !HoldsOpen(LinkPath("ttyA")));

  PassCapture pass;
  pass.Arm(p, 1);
  QVERIFY(RunUntil([&] { return pass.done; }, 30000));
  QCOMPARE(Mismatches(pass.points.data(), ExpectedPass(1)), 0);
  QVERIFY(p.boxes.isEmpty());
}

void WindowSimTest::AnalyseModeClosesThePort() {
  SimProcess sim;
  QVERIFY(sim.Start(LinkPath()));
  Program p(Dir(), [&](Settings& s) { s.Port = LinkPath().toStdString(); });
  QVERIFY(RunUntil([&] { return p.Settled() && p.Count(2) > 100; }, 10000));
  QVERIFY(p.Port().IsOpen() && HoldsOpen(LinkPath()));

  p.W().Action("AAnalyse")->trigger();
  QVERIFY(RunUntil([&] { return !p.Port().IsOpen(); }, 5000));
  QCOMPARE(p.W().PanelText(0), QString());
  QCOMPARE(p.W().PanelText(1), QString());
  QVERIFY(!HoldsOpen(LinkPath()));
  QVERIFY(!p.L().Flags.Receiving && !p.L().Session.Running());
  QVERIFY(!p.W().Driver().TimerActive(LinkTimer::QelTimer) && !p.W().Driver().TimerActive(LinkTimer::WDTimer));
  QVERIFY(p.W().Action("AReceive")->isEnabled() && !p.W().Action("AAnalyse")->isEnabled());
  // Back to receive mode: the port opens again.
  p.W().Action("AReceive")->trigger();
  QVERIFY(RunUntil([&] { return p.W().PanelText(0) == LinkPath() && p.Settled(); }, 10000));
  QVERIFY(p.boxes.isEmpty());
}

QTEST_MAIN(WindowSimTest)
#include "window_sim_test.moc"
