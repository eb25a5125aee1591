#pragma once
// The main window built for a test: a settings file of its own written from
// the defaults as `change` leaves them, the window shown, and the loop's
// starter stopped so that no port is opened.

#include <functional>
#include <memory>
#include <string>

#include "app/error_boxes.h"
#include "app/main_window.h"
#include "model/reg_file_store.h"

namespace qel::test {

// Receive mode saving every pass automatically into `workDir` as k00000005.qel,
// k00000006.qel and on: where the folder is missing, each pass is kept in memory.
inline void SaveEveryPass(Settings& s, const std::string& workDir) {
  s.Mode = true;
  s.AutoSave = true;
  s.SaveStep = 1;
  s.NameMask.assign(1, 'k');  // not `= "k"`: GCC 12 warns falsely there (-Wrestrict, GCC bug 105329)
  s.NumbMask = 5;
  s.WorkDir = workDir;
}

struct WindowRig {
  WindowRig(const std::string& dir, const std::function<void(Settings&)>& change, const std::string& sep = ",")
      : path(dir + "/1.0.reg"), store(path) {
    Settings s;
    SetDefaults(s);
    change(s);
    SaveSettings(s, {}, store);
    window = std::make_unique<TQelMainForm>(state, store, errors, sep);
    window->show();
    window->Driver().SetTimerEnabled(LinkTimer::QelTimer, false);
  }
  template <typename T>
  T* Find(const char* name) const {
    T* w = window->findChild<T*>(name);
    if (!w) qFatal("no widget %s", name);
    return w;
  }
  // The settings as the file holds them now.
  Settings Stored() const {
    RegFileStore other(path);
    Settings s;
    SetDefaults(s);
    RecentFileList recent;
    LoadSettings(s, recent, other);
    return s;
  }
  Settings& S() { return state.Settings; }
  LinkFlags& Flags() { return window->InstrumentLink().Flags; }

  std::string path;
  ProgramState state;
  RegFileStore store;
  ErrorBoxes errors;
  std::unique_ptr<TQelMainForm> window;
};

}  // namespace qel::test
