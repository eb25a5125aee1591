// qel-latency: the program's window (the real TQelMainForm with its link and
// plot), built in this process against a port, notes when each measured
// point is on the plot's backing image, on CLOCK_MONOTONIC. Joined with
// qel-sim --tm02-times, this gives the time from the last byte of a Tm02
// written to the port to its point on the image.
//
//   qel-latency --port PATH --seconds N --out FILE [--speed-index I]
//
// The link's telegram tap sees each Tm02 before it is handled; a call
// queued from there runs once the loop's iteration (drawing included) has
// returned, and looks for the point's pixel in the Graph colour. Writes a
// line per point found: its field code and the time in nanoseconds.

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/error_boxes.h"
#include "app/main_window.h"
#include "display/screen_box.h"
#include "display/view_window.h"
#include "model/reg_file_store.h"

namespace {
long long MonotonicNs() {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}
}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  std::string port, out;
  int seconds = 30, speedIndex = 10;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--port") port = argv[i + 1];
    else if (a == "--out") out = argv[i + 1];
    else if (a == "--seconds") seconds = std::atoi(argv[i + 1]);
    else if (a == "--speed-index") speedIndex = std::atoi(argv[i + 1]);
    else {
      std::fprintf(stderr, "qel-latency: unknown option %s\n", a.c_str());
      return 2;
    }
  }
  if (port.empty() || out.empty()) {
    std::fprintf(stderr, "usage: qel-latency --port PATH --seconds N --out FILE [--speed-index I]\n");
    return 2;
  }
  // Settings of its own, never the operator's.
  QTemporaryDir config;
  qel::RegFileStore store((config.path() + "/1.0.reg").toStdString());
  {
    qel::Settings s;
    qel::SetDefaults(s);
    s.Port = port;
    s.Rapid = static_cast<std::uint8_t>(speedIndex);
    s.Mode = true;
    s.WorkDir = config.path().toStdString();
    qel::SaveSettings(s, {}, store);
  }
  auto state = std::make_unique<qel::ProgramState>();
  qel::ErrorBoxes errors;
  qel::TQelMainForm window(*state, store, errors, ".");
  qel::ScreenBox& plot = window.View().Plot();
  const QRgb graph = qel::ToQRgb(state->Settings.DisplayColors.Graph);

  std::vector<std::uint16_t> pending;
  std::vector<std::pair<std::uint16_t, long long>> drawn;
  drawn.reserve(static_cast<std::size_t>(seconds) * 2000 + 1000);
  long long missing = 0;
  bool posted = false;
  auto look = [&] {
    posted = false;
    const long long t = MonotonicNs();
    const qel::PlotScales& sc = plot.Scales();
    const QImage& image = plot.Image();
    for (std::uint16_t code : pending) {
      const qel::SpectrumPoint p = state->Store.CurrentSpectrum[code];
      const int x = sc.X(code), y = std::min(sc.Y(p.Value), sc.H - 2);
      if (x >= 0 && y >= 0 && x < image.width() && y < image.height() && image.pixel(x, y) == graph)
        drawn.emplace_back(code, t);
      else
        ++missing;
    }
    pending.clear();
  };
  window.InstrumentLink().Session.SetTelegramTap([&](const qel::Telegram& t) {
    if (t.Type != 2 || t.Word(1) > qel::MaxFieldCode) return;
    pending.push_back(t.Word(1));
    if (!posted) {
      posted = true;
      QMetaObject::invokeMethod(&app, look, Qt::QueuedConnection);
    }
  });
  window.show();
  QTimer::singleShot(seconds * 1000, &app, [&] {
    window.close();
    app.quit();
  });
  app.exec();

  std::FILE* f = std::fopen(out.c_str(), "w");
  if (!f) {
    std::perror(out.c_str());
    return 1;
  }
  for (auto [code, t] : drawn) std::fprintf(f, "%u %lld\n", code, t);
  std::fclose(f);
  std::printf("points on the image: %zu, not found: %lld\n", drawn.size(), missing);
  return 0;
}
