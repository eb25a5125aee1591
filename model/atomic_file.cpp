// Files on POSIX systems; the Windows side is atomic_file_win.cpp.
#ifndef _WIN32
#include "atomic_file.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <limits>
#include <cstdio>
#include <vector>

#include "file_messages.h"

namespace qel {

using file_messages::Refuse;
using file_messages::TooLarge;

std::string SystemReason(int err) { return file_messages::ErrnoReason(err); }

namespace {

std::string DirectoryOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

[[noreturn]] void Fail(const std::string& what, const std::string& path, int err) {
  file_messages::Fail(what, path, SystemReason(err));
}

}  // namespace

bool PathExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

void WriteFileAtomically(const std::string& path, std::string_view data) {
  // A device or a pipe (/dev/null, /dev/stdout, a FIFO) is written into:
  // renaming a file over it would replace the device itself.
  struct stat target;
  if (::stat(path.c_str(), &target) == 0 && !S_ISREG(target.st_mode) && !S_ISDIR(target.st_mode)) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) Fail("Не удалось открыть файл", path, errno);
    for (std::size_t done = 0; done < data.size();) {
      const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        const int err = errno;
        ::close(fd);
        Fail("Ошибка записи файла", path, err);
      }
      done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) Fail("Ошибка записи файла", path, errno);
    return;
  }
  // A short name of fixed length beside the target, so that any name the
  // folder takes (up to 255 bytes) can be written.
  std::string tmpl = DirectoryOf(path) + "/.qel-XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) Fail("Не удалось создать файл", path, errno);
  const std::string tmp(name.data());
  auto abandon = [&](const char* what, int err) {
    ::close(fd);
    ::unlink(tmp.c_str());
    Fail(what, path, err);
  };

  // A new file gets the usual permissions; a replaced one keeps its own.
  struct stat st;
  mode_t mode;
  if (::stat(path.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  if (::fchmod(fd, mode) != 0) abandon("Не удалось создать файл", errno);

  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      abandon("Ошибка записи файла", errno);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0) abandon("Ошибка записи файла", errno);
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(tmp.c_str());
    Fail("Ошибка записи файла", path, err);
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(tmp.c_str());
    Fail("Не удалось заменить файл", path, err);
  }
  // Make the new name itself durable; a folder that cannot be synced (some
  // network file systems) does not undo a completed replacement.
  const int dfd = ::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
}

namespace file_detail {

std::optional<std::string> ReadUpTo(const std::string& path, std::size_t limit,
                                    const std::function<void(std::uintmax_t)>& checkSize, bool regularOnly) {
  // Without O_NONBLOCK the open of a pipe would wait for a writer for ever.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
    Fail("Не удалось открыть файл", path, errno);
  }
  // Only read from: a failed close loses nothing.
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st;
  if (::fstat(fd, &st) != 0) Fail("Не удалось открыть файл", path, errno);
  if (S_ISREG(st.st_mode)) {
    if (regularOnly && static_cast<std::uintmax_t>(st.st_size) > limit) Refuse(path, TooLarge(limit));
    if (checkSize) checkSize(static_cast<std::uintmax_t>(st.st_size));
    // A regular file's reads never wait; they go back to being ordinary ones.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) Fail("Ошибка чтения файла", path, errno);
  } else if (regularOnly) {
    Refuse(path, file_messages::NotRegular());
  }
  // A pipe or a device stays non-blocking: a read that would wait fails with
  // EAGAIN instead, so the program cannot hang on one.
  std::string out;
  char buf[65536];
  // Only a regular file is read whole; a file that holds more than its size
  // says (the kernel's files) is refused one byte past the limit.
  const std::size_t upTo = regularOnly && limit < std::numeric_limits<std::size_t>::max() ? limit + 1 : limit;
  while (out.size() < upTo) {
    const ssize_t n = ::read(fd, buf, std::min(sizeof buf, upTo - out.size()));
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("Ошибка чтения файла", path, errno);
    }
    if (n == 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  if (out.size() > limit) Refuse(path, TooLarge(limit));
  return out;
}

}  // namespace file_detail

bool RenamePath(const std::string& from, const std::string& to, std::string& reason) {
#ifdef RENAME_NOREPLACE
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  int err = errno;
#else
  int err = ENOSYS;
#endif
  // A system or file system that cannot refuse by itself: looked at first.
  if (err == EINVAL || err == ENOSYS || err == ENOTSUP) {
    if (PathExists(to)) {
      err = EEXIST;
    } else {
      if (std::rename(from.c_str(), to.c_str()) == 0) return true;
      err = errno;
    }
  }
  reason = SystemReason(err);
  return false;
}

void MakeParentFolders(const std::string& filePath) {
  const auto slash = filePath.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return;
  for (std::size_t p = filePath.find('/', 1); p != std::string::npos && p <= slash; p = filePath.find('/', p + 1))
    ::mkdir(filePath.substr(0, p).c_str(), 0777);
}

std::string FolderWriteProblem(const std::string& folder) {
  if (folder.empty()) return "каталог не указан";
  std::string name = folder;
  if (name.back() != '/') name += '/';
  name += ".qel-XXXXXX";
  const int fd = ::mkstemp(name.data());
  if (fd >= 0) {
    ::close(fd);
    ::unlink(name.c_str());
    return {};
  }
  const int e = errno;
  switch (e) {
    case ENOENT: {
      // A folder that is there but takes no new names (the kernel's /proc
      // answers so) is not missing: say what holds it back.
      struct stat st;
      if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return "каталог не существует";
      struct statvfs v;
      if (::statvfs(folder.c_str(), &v) == 0 && (v.f_flag & ST_RDONLY))
        return "файловая система доступна только для чтения";
      if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        return "нет прав на запись в каталог";
      return "файловая система этого каталога не позволяет создавать в нём файлы";
    }
    case ENOTDIR: return "это не каталог";
    case EACCES:
    case EPERM: return "нет прав на запись в каталог";
    case EROFS: return "файловая система доступна только для чтения";
    case ENOSPC:
    case EDQUOT: return "на диске нет места";
    case ENAMETOOLONG: return "слишком длинное имя каталога";
    default: return SystemReason(e);
  }
}

std::string CurrentFolder() {
  std::string buf(4096, '\0');
  if (::getcwd(buf.data(), buf.size()) == nullptr) return ".";
  buf.resize(std::strlen(buf.c_str()));
  return buf;
}

}  // namespace qel
#endif
