#include "single_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace qel {

namespace {
// A request is one line: the file's path, UTF-8, percent-encoded (a path may
// hold a line break); the window answers "ok".
constexpr qint64 kLongestRequest = 64 * 1024;
constexpr int kConnectMs = 10000;  // a window just started listens within this
constexpr int kAnswerMs = 10000;
}  // namespace

SingleInstance::SingleInstance(const QString& settingsFolder, QObject* parent)
    : QObject(parent), folder_(settingsFolder) {}

SingleInstance::~SingleInstance() {
  if (lockFd_ >= 0) ::close(lockFd_);
}

QString SingleInstance::ServerName(const QString& settingsFolder) {
  const QString inFolder = settingsFolder + "/qel-gui.socket";
  // A socket's path holds 107 bytes at the most.
  if (QFile::encodeName(inFolder).size() <= 100) return inFolder;
  const QString canonical = QFileInfo(settingsFolder).canonicalFilePath();
  const QByteArray hash =
      QCryptographicHash::hash((canonical.isEmpty() ? settingsFolder : canonical).toUtf8(), QCryptographicHash::Sha1)
          .toHex()
          .left(16);
  QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (dir.isEmpty() || !QFileInfo(dir).isDir()) dir = QDir::tempPath();
  return dir + "/qel-gui-" + QString::number(::getuid()) + "-" + QString::fromLatin1(hash);
}

bool SingleInstance::TakeLock() {
  QDir().mkpath(folder_);
  const QByteArray path = QFile::encodeName(folder_ + "/qel-gui.lock");
  lockFd_ = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lockFd_ < 0) return true;
  if (::flock(lockFd_, LOCK_EX | LOCK_NB) == 0) return true;
  const bool held = errno == EWOULDBLOCK;
  ::close(lockFd_);
  lockFd_ = -1;
  return !held;
}

QString SingleInstance::HandOver(const QString& file) {
  const QString name = ServerName(folder_);
  QLocalSocket socket;
  QElapsedTimer clock;
  clock.start();
  // The window takes the lock before it listens: it may be starting.
  for (;;) {
    socket.connectToServer(name);
    if (socket.waitForConnected(1000)) break;
    if (clock.elapsed() > kConnectMs)
      return "программа уже запущена с этими настройками (" + QDir::toNativeSeparators(folder_) +
             "), но её окно не отвечает";
    QThread::msleep(100);
  }
  socket.write(file.toUtf8().toPercentEncoding() + "\n");
  clock.restart();
  while (!socket.canReadLine()) {
    const qint64 left = kAnswerMs - clock.elapsed();
    if (left <= 0 || !socket.waitForReadyRead(static_cast<int>(left)))
      return "программа уже запущена с этими настройками (" + QDir::toNativeSeparators(folder_) +
             "), но её окно не ответило";
  }
  if (socket.readLine().trimmed() != "ok")
    return "программа с этими настройками (" + QDir::toNativeSeparators(folder_) +
           ") закрывается: запустите её снова, когда она закроется";
  return {};
}

void SingleInstance::Listen(std::function<bool(const QString&)> take) {
  if (server_) return;
  take_ = std::move(take);
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  const QString name = ServerName(folder_);
  // What a process killed before left there: this process holds the lock.
  QLocalServer::removeServer(name);
  if (!server_->listen(name)) return;
  connect(server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
      connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        if (!socket->canReadLine()) {
          if (socket->bytesAvailable() > kLongestRequest) socket->abort();
          return;
        }
        const QString file = QString::fromUtf8(QByteArray::fromPercentEncoding(socket->readLine().trimmed()));
        socket->write(take_(file) ? "ok\n" : "closing\n");
        socket->disconnectFromServer();
      });
    }
  });
}

}  // namespace qel
