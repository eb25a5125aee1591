#pragma once
// A fresh folder under the system's temporary folder, removed afterwards.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>

namespace qel::test {

class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "qel-test-XXXXXX").string();
    path_ = ::mkdtemp(tmpl.data());
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

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

// A file's bytes, and a file made of the given bytes.
inline std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
inline void Spit(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace qel::test
