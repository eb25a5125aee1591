#include "pass_archive_writer.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include "win_text.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "atomic_file.h"

namespace qel {

namespace {

// A file opened for the archive's writes, closed when it goes.
class RawFile {
 public:
  // `create`: a new file, never one that is there. Otherwise an existing one.
  RawFile(const std::string& path, bool create) {
#ifdef _WIN32
    const int flags = _O_WRONLY | _O_BINARY | _O_NOINHERIT | (create ? _O_CREAT | _O_EXCL : 0);
    fd_ = _wopen(WideFromUtf8(path).c_str(), flags, _S_IREAD | _S_IWRITE);
#else
    const int flags = O_WRONLY | O_CLOEXEC | (create ? O_CREAT | O_EXCL : 0);
    fd_ = ::open(path.c_str(), flags, 0644);
#endif
    error_ = fd_ < 0 ? errno : 0;
  }
  ~RawFile() {
#ifdef _WIN32
    if (fd_ >= 0) _close(fd_);
#else
    if (fd_ >= 0) ::close(fd_);
#endif
  }
  RawFile(const RawFile&) = delete;
  RawFile& operator=(const RawFile&) = delete;
  bool Open() const { return fd_ >= 0; }
  int Error() const { return error_; }
  // Cuts the file to `size` and writes `bytes` after it, then flushes it
  // to the disk. 0, or the error number.
  int WriteAt(std::uint64_t size, std::string_view bytes) {
#ifdef _WIN32
    if (_chsize_s(fd_, static_cast<long long>(size)) != 0) return errno;
    if (_lseeki64(fd_, static_cast<long long>(size), SEEK_SET) < 0) return errno;
    while (!bytes.empty()) {
      const int n = _write(fd_, bytes.data(), static_cast<unsigned>(std::min<std::size_t>(bytes.size(), 1 << 20)));
      if (n <= 0) return n < 0 ? errno : ENOSPC;
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return _commit(fd_) == 0 ? 0 : errno;
#else
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) return errno;
    if (::lseek(fd_, static_cast<off_t>(size), SEEK_SET) < 0) return errno;
    while (!bytes.empty()) {
      const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return n < 0 ? errno : ENOSPC;
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return ::fsync(fd_) == 0 ? 0 : errno;
#endif
  }

 private:
  int fd_ = -1;
  int error_ = 0;
};

}  // namespace

PassArchiveWriter::PassArchiveWriter(const Settings& s, std::function<void()> notify, std::size_t maxWaitingBytes)
    : s_(s), notify_(std::move(notify)), maxWaitingBytes_(maxWaitingBytes), thread_([this] { Run(); }) {}

PassArchiveWriter::~PassArchiveWriter() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

bool PassArchiveWriter::SeriesStarted(std::int64_t startSeconds) {
  if (!s_.PassArchive) return false;
  Job job{Job::Start, s_.WorkDir, s_.NameMask, startSeconds, {}};
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  wake_.notify_all();
  return true;
}

void PassArchiveWriter::PassFinished(PassRecord pass) {
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(Job{Job::Pass, {}, {}, 0, std::move(pass)});
  }
  wake_.notify_all();
}

void PassArchiveWriter::SeriesEnded() {
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(Job{Job::End, {}, {}, 0, {}});
  }
  wake_.notify_all();
}

std::vector<std::string> PassArchiveWriter::TakeLog() {
  std::lock_guard lock(mutex_);
  return std::exchange(log_, {});
}

std::optional<std::string> PassArchiveWriter::TakeError() {
  std::lock_guard lock(mutex_);
  return std::exchange(error_, std::nullopt);
}

std::string PassArchiveWriter::CurrentPath() const {
  std::lock_guard lock(mutex_);
  return path_;
}

std::size_t PassArchiveWriter::WaitingBytes() const {
  std::lock_guard lock(mutex_);
  return waitingBytes_;
}

void PassArchiveWriter::Flush() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return jobs_.empty() && !busy_; });
}

void PassArchiveWriter::Say(const std::string& line, bool box) {
  {
    std::lock_guard lock(mutex_);
    log_.push_back(line);
    if (box) error_ = error_ ? *error_ + "\n" + line : line;
  }
  if (notify_) notify_();
}

void PassArchiveWriter::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
    if (jobs_.empty()) return;  // stopped with nothing left to do
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    busy_ = true;
    lock.unlock();
    switch (job.What) {
      case Job::Start:
        StartSeries(job);
        break;
      case Job::Pass:
        WritePass(job.Record);
        break;
      case Job::End: {
        std::lock_guard lock(mutex_);
        if (waiting_.empty()) path_.clear();  // no series under way
        break;
      }
    }
    lock.lock();
    busy_ = false;
    if (jobs_.empty()) idle_.notify_all();
  }
}

void PassArchiveWriter::StartSeries(const Job& job) {
  // Passes of the series before still waiting: one more try at their file.
  std::string why;
  std::size_t lost = 0;
  if (WaitingBytes() && !Append(why)) {
    std::lock_guard lock(mutex_);
    lost = waiting_.size();
  }
  {
    std::lock_guard lock(mutex_);
    waiting_.clear();
    waitingBytes_ = 0;
    folder_ = job.Folder;
    mask_ = job.Mask;
    start_ = job.StartSeconds;
    path_.clear();
    created_ = false;
    goodSize_ = 0;
  }
  if (lost)
    Say("Архив проходов: незаписанные проходы прежней серии (" + std::to_string(lost) + ") потеряны: " + why, true);
  failing_ = false;
  lossSaid_ = false;
  // The file is made at once: the dialog names it from the first pass on.
  if (!Append(why)) {
    Say("Архив проходов: " + why + ". Проходы будут храниться в памяти, пока файл не удастся создать", true);
    failing_ = true;
  }
}

bool PassArchiveWriter::Append(std::string& why) {
  std::string path;
  {
    std::lock_guard lock(mutex_);
    path = path_;
  }
  if (!created_) {
    // A new file for the series, never one that is there already.
    for (int n = 1;; ++n) {
      path = PathInFolder(folder_, PassArchiveName(mask_, start_, n));
      RawFile f(path, true);
      if (!f.Open() && f.Error() == EEXIST && n < 1000) continue;
      if (!f.Open()) {
        why = "файл \"" + path + "\" не создан: " + SystemReason(f.Error());
        return false;
      }
      const std::string header = PassArchiveHeader(start_);
      if (const int e = f.WriteAt(0, header)) {
        why = "файл \"" + path + "\" не записан: " + SystemReason(e);
        return false;
      }
      created_ = true;
      goodSize_ = header.size();
      std::lock_guard lock(mutex_);
      path_ = path;
      break;
    }
  }
  std::string bytes;
  {
    std::lock_guard lock(mutex_);
    for (const Waiting& w : waiting_) bytes += w.Bytes;
  }
  RawFile f(path, false);
  if (!f.Open()) {
    why = "файл \"" + path + "\" не открыт: " + SystemReason(f.Error());
    return false;
  }
  // After the last whole pass: a write cut short before leaves nothing.
  if (const int e = f.WriteAt(goodSize_, bytes)) {
    why = "файл \"" + path + "\" не записан: " + SystemReason(e);
    return false;
  }
  goodSize_ += bytes.size();
  return true;
}

void PassArchiveWriter::WritePass(PassRecord& pass) {
  std::string chunk = PassArchiveChunk(pass);
  std::size_t dropped = 0;
  std::uint32_t firstDropped = 0;
  {
    std::lock_guard lock(mutex_);
    waitingBytes_ += chunk.size();
    waiting_.push_back({pass.Number, std::move(chunk)});
    while (waitingBytes_ > maxWaitingBytes_ && waiting_.size() > 1) {
      if (!dropped) firstDropped = waiting_.front().Number;
      waitingBytes_ -= waiting_.front().Bytes.size();
      waiting_.pop_front();
      ++dropped;
    }
  }
  if (dropped)
    Say("Архив проходов: память для незаписанных проходов исчерпана, проходы с " + std::to_string(firstDropped) +
            " (" + std::to_string(dropped) + ") потеряны; архив этой серии будет неполным",
        !lossSaid_);
  lossSaid_ = lossSaid_ || dropped;
  std::string why;
  if (!Append(why)) {
    Say("Архив проходов: проход " + std::to_string(pass.Number) + " не записан: " + why +
            ". Проходы хранятся в памяти и будут записаны, когда это станет возможно",
        !failing_);
    failing_ = true;
    return;
  }
  std::size_t written = 0;
  {
    std::lock_guard lock(mutex_);
    written = waiting_.size();
    waiting_.clear();
    waitingBytes_ = 0;
  }
  lossSaid_ = false;
  if (failing_) {
    failing_ = false;
    std::string path;
    {
      std::lock_guard lock(mutex_);
      path = path_;
    }
    Say("Архив проходов: записаны отложенные проходы (" + std::to_string(written) + ") в \"" + path + "\"", false);
  }
}

std::vector<std::string> PassArchiveWriter::WriteWaitingTo(const std::string& folder) {
  Flush();
  std::vector<std::string> lines;
  std::string waiting, path;
  std::size_t count = 0;
  {
    std::lock_guard lock(mutex_);
    for (const Waiting& w : waiting_) waiting += w.Bytes;
    count = waiting_.size();
    path = path_;
  }
  if (!count) return lines;
  // The passes written before them, where the file can still be read.
  std::string before = PassArchiveHeader(start_);
  if (created_) {
    try {
      if (const auto bytes = ReadRegularFile(path, goodSize_ + 1); bytes && bytes->size() >= goodSize_)
        before = bytes->substr(0, goodSize_);
    } catch (const FileError&) {
    }
  }
  const std::string target = PathInFolder(folder, PassArchiveName(mask_, start_, 1));
  try {
    WriteFileAtomically(target, before + waiting);
    lines.push_back("Архив проходов: незаписанные проходы (" + std::to_string(count) + ") записаны в \"" + target + "\"");
    std::lock_guard lock(mutex_);
    waiting_.clear();
    waitingBytes_ = 0;
  } catch (const FileError& e) {
    lines.push_back("Архив проходов: незаписанные проходы (" + std::to_string(count) + ") потеряны: " + e.what());
  }
  return lines;
}

}  // namespace qel
