#pragma once
// A fresh folder under the system's temporary folder, removed afterwards.

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <iterator>
#include <string>

#include <csignal>
#include <functional>
#ifdef _WIN32
#include <process.h>
#include <atomic>
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace qel::test {

// The program's paths are UTF-8; the standard library's narrow paths are
// the system's code page on Windows, so tests go through these.
inline std::filesystem::path FsPath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
inline std::string Utf8Path(const std::filesystem::path& p) {
  const std::u8string u = p.u8string();
  return std::string(u.begin(), u.end());
}

class TempDir {
 public:
  TempDir() {
#ifdef _WIN32
    static std::atomic<unsigned> serial{0};
    const auto base = std::filesystem::temp_directory_path();
    for (unsigned i = 0; path_.empty(); ++i) {
      const auto dir = base / ("qel-test-" + std::to_string(::_getpid()) + "-" + std::to_string(serial++));
      if (std::filesystem::create_directory(dir)) path_ = Utf8Path(dir);
      // Never a folder of somebody else's, which the destructor would remove.
      if (i > 1000) throw std::runtime_error("no temporary folder can be made");
    }
#else
    std::string tmpl = (std::filesystem::temp_directory_path() / "qel-test-XXXXXX").string();
    path_ = ::mkdtemp(tmpl.data());
#endif
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(FsPath(path_), ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
#ifdef _WIN32
  std::string File(const std::string& name) const { return path_ + "\\" + name; }
#else
  std::string File(const std::string& name) const { return path_ + "/" + name; }
#endif

 private:
  std::string path_;
};

#ifndef _WIN32
// Runs `fn` while the process may not write files larger than `bytes`: a
// real write failure (EFBIG), also for root, for whom permissions are no bar.
inline void WithFileSizeLimit(rlim_t bytes, const std::function<void()>& fn) {
  struct rlimit old;
  getrlimit(RLIMIT_FSIZE, &old);
  const auto handler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = bytes;
  setrlimit(RLIMIT_FSIZE, &small);
  fn();
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, handler);
}

// Runs `fn` with file permissions in force: as an ordinary user when the
// tests run as root. False when the user cannot be changed.
inline bool WithoutPrivileges(const std::function<void()>& fn) {
  if (::geteuid() != 0) {
    fn();
    return true;
  }
  if (::seteuid(65534) != 0) return false;
  fn();
  return ::seteuid(0) == 0;
}
#endif

// A file's bytes, and a file made of the given bytes.
inline std::string Slurp(const std::string& path) {
  std::ifstream in(FsPath(path), std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
inline void Spit(const std::string& path, const std::string& bytes) {
  std::ofstream(FsPath(path), std::ios::binary) << bytes;
}

}  // namespace qel::test
