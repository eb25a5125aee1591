#pragma once
// Writes the archive of passes on a thread of its own: the window hands each
// finished pass over as a copy and goes on receiving; the writer serialises
// it, appends it to the series' file and flushes it to the disk. A failed
// write is logged and said once (like a failed automatic save); the passes
// not written wait in memory and go first at the next write.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "pass_archive.h"
#include "settings.h"

namespace qel {

class PassArchiveWriter final : public PassSink {
 public:
  // Passes not written wait in memory up to this many bytes of chunks (a
  // pass at the fastest sweep is about 80 kB: some 3,000 passes, hours);
  // beyond, the oldest waiting is given up, and said.
  static constexpr std::size_t MaxWaitingBytes = std::size_t{256} << 20;

  // `notify` is called on the writer's thread whenever a message waits for
  // TakeLog / TakeError.
  PassArchiveWriter(const Settings& s, std::function<void()> notify = {},
                    std::size_t maxWaitingBytes = MaxWaitingBytes);
  ~PassArchiveWriter() override;
  PassArchiveWriter(const PassArchiveWriter&) = delete;
  PassArchiveWriter& operator=(const PassArchiveWriter&) = delete;

  // PassSink, on the window's thread: WorkDir, NameMask and PassArchive are
  // read at a series' start.
  bool SeriesStarted(std::int64_t startSeconds) override;
  void PassFinished(PassRecord pass) override;
  void SeriesEnded() override;

  // Lines for the message log, and the first failure of a run of failures
  // for a box; taken on the window's thread.
  std::vector<std::string> TakeLog();
  std::optional<std::string> TakeError();
  // The file the series under way is written to (empty: none yet).
  std::string CurrentPath() const;
  // Waits until every pass handed over is written or waits in memory.
  void Flush();
  // Bytes of passes waiting in memory.
  std::size_t WaitingBytes() const;
  // At the program's end: the passes still waiting go into `folder`, in a
  // file of the series' name holding the passes written before them (when
  // they can be read) and them. Returns the lines that say where they went,
  // or why not.
  std::vector<std::string> WriteWaitingTo(const std::string& folder);

 private:
  struct Job {
    enum Kind { Start, Pass, End } What;
    std::string Folder, Mask;
    std::int64_t StartSeconds = 0;
    PassRecord Record;
  };
  void Run();
  void StartSeries(const Job& job);
  void WritePass(PassRecord& pass);
  bool Append(std::string& why);
  void Say(const std::string& line, bool box);

  const Settings& s_;
  std::function<void()> notify_;
  const std::size_t maxWaitingBytes_;
  mutable std::mutex mutex_;
  std::condition_variable wake_, idle_;
  std::deque<Job> jobs_;
  bool busy_ = false, stop_ = false;
  std::vector<std::string> log_;
  std::optional<std::string> error_;

  // The writer thread's own, read under the mutex by the window.
  std::string path_;        // the series' file
  std::string folder_, mask_;
  std::int64_t start_ = 0;
  bool created_ = false;    // its header is written
  std::uint64_t goodSize_ = 0;  // its length after the last whole pass
  struct Waiting {
    std::uint32_t Number;
    std::string Bytes;
  };
  std::deque<Waiting> waiting_;
  std::size_t waitingBytes_ = 0;
  bool failing_ = false;
  bool lossSaid_ = false;  // passes given up in this run of failures, said in a box
  std::thread thread_;
};

}  // namespace qel
