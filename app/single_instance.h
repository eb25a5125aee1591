#pragma once
// One window per settings folder. The first start locks a file in the
// settings folder (the system lets the lock go when the process ends, however
// it ends: a start after `kill -9` is a first start again) and takes requests
// on a local socket. A later start on the same settings hands its spectrum
// file to that window, or asks it to come forward, and ends without reading
// or writing the settings: two windows on one settings folder would write
// each other's settings (and so the automatic-save numbers) over at exit.
// POSIX: Windows has no settings folder, and guards its window otherwise.

#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;

namespace qel {

class SingleInstance : public QObject {
  Q_OBJECT
 public:
  // `settingsFolder`: the folder of the settings file.
  explicit SingleInstance(const QString& settingsFolder, QObject* parent = nullptr);
  ~SingleInstance() override;

  // Takes the lock. False when another process holds it. A lock that cannot
  // be made at all (a folder without write access, where the settings cannot
  // be written either) guards nothing: true.
  bool TakeLock();

  // The other start's side: hands over an absolute file path (empty: only
  // come forward) and waits for the window to take it. Returns why it could
  // not, or an empty text.
  QString HandOver(const QString& file);

  // The first start's side, once its window is up: takes requests. Each is
  // given to `take` (the file, empty to come forward), which says whether
  // the window took it; the other start is told so.
  void Listen(std::function<bool(const QString&)> take);

  // The local socket's name for a settings folder: a socket in the folder
  // itself (where every start on those settings looks, whatever its
  // environment), or where that path is too long for a socket, one in the
  // user's runtime folder named after it.
  static QString ServerName(const QString& settingsFolder);

 private:
  QString folder_;
  int lockFd_ = -1;
  QLocalServer* server_ = nullptr;
  std::function<bool(const QString&)> take_;
};

}  // namespace qel
