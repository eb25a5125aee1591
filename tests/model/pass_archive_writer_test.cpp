#include <gtest/gtest.h>

#include <filesystem>

#include "model/atomic_file.h"
#include "model/pass_archive_writer.h"
#include "test_dir.h"

namespace qel {
namespace {

PassRecord Pass(std::uint32_t number) {
  PassRecord p;
  p.Number = number;
  p.RTNumb = 9;
  p.AccumCount = static_cast<std::int32_t>(number);
  p.Entries = {{static_cast<std::uint16_t>(100 + number), 2048, 1}};
  return p;
}

class ArchiveWriter : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDefaults(s);
    s.PassArchive = true;
    s.WorkDir = dir.File("spectra");
    s.NameMask = "Образец";
    std::filesystem::create_directory(test::FsPath(s.WorkDir));
  }
  std::vector<std::uint32_t> Numbers(const std::string& path) {
    std::vector<std::uint32_t> n;
    for (const PassRecord& p : ReadPassArchive(path).Passes) n.push_back(p.Number);
    return n;
  }
  test::TempDir dir;
  Settings s;
};

TEST_F(ArchiveWriter, EachSeriesHasAFileOfItsOwn) {
  PassArchiveWriter w(s);
  ASSERT_TRUE(w.SeriesStarted(1765300000));
  // The file is there from the series' start, for the dialog to name.
  w.Flush();
  const std::string first = w.CurrentPath();
  ASSERT_FALSE(first.empty());
  EXPECT_TRUE(PathExists(first));
  for (std::uint32_t n = 1; n <= 3; ++n) w.PassFinished(Pass(n));
  w.SeriesEnded();
  w.Flush();
  EXPECT_EQ(w.CurrentPath(), "");  // no series under way
  EXPECT_EQ(std::filesystem::path(test::FsPath(first)).parent_path(), test::FsPath(s.WorkDir));
  EXPECT_EQ(first.substr(first.size() - 8), ".qelpass");
  const PassArchive a = ReadPassArchive(first);
  ASSERT_EQ(a.Passes.size(), 3u);
  EXPECT_TRUE(a.Passes[2] == Pass(3));
  EXPECT_EQ(a.Problem, "");
  // Another series in the same second: "_2", the first file untouched.
  const auto before = ReadRegularFile(first, 1 << 20);
  ASSERT_TRUE(w.SeriesStarted(1765300000));
  w.PassFinished(Pass(1));
  w.Flush();
  EXPECT_EQ(w.CurrentPath(), first.substr(0, first.size() - 8) + "_2.qelpass");
  EXPECT_EQ(ReadRegularFile(first, 1 << 20), before);
  EXPECT_EQ(Numbers(w.CurrentPath()), (std::vector<std::uint32_t>{1}));
  // Off: no series, no file.
  s.PassArchive = false;
  EXPECT_FALSE(w.SeriesStarted(1765300001));
  EXPECT_TRUE(w.TakeLog().empty());
}

TEST_F(ArchiveWriter, PassesWaitWhileTheFolderIsMissingAndAreWrittenAfter) {
  s.WorkDir = dir.File("later");
  PassArchiveWriter w(s);
  w.SeriesStarted(1765300000);
  w.PassFinished(Pass(1));
  w.PassFinished(Pass(2));
  w.Flush();
  // One box for the run of failures (the file made at the series' start);
  // every failure in the log.
  const auto error = w.TakeError();
  ASSERT_TRUE(error);
  EXPECT_NE(error->find("не создан"), std::string::npos) << *error;
  EXPECT_NE(error->find("later"), std::string::npos) << *error;
  EXPECT_EQ(error->find("проход 1"), std::string::npos) << *error;
  const auto failures = w.TakeLog();
  ASSERT_EQ(failures.size(), 3u);
  EXPECT_NE(failures[1].find("Архив проходов: проход 1 не записан"), std::string::npos) << failures[1];
  EXPECT_FALSE(w.TakeError());
  EXPECT_GT(w.WaitingBytes(), 0u);
  std::filesystem::create_directory(test::FsPath(s.WorkDir));
  w.PassFinished(Pass(3));
  w.Flush();
  EXPECT_EQ(w.WaitingBytes(), 0u);
  EXPECT_EQ(Numbers(w.CurrentPath()), (std::vector<std::uint32_t>{1, 2, 3}));
  const auto log = w.TakeLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find("записаны отложенные проходы (3)"), std::string::npos) << log[0];

  // Room for two passes only: the oldest are given up, said once in a box
  // and each time in the log, and the file then says what is missing.
  s.WorkDir = dir.File("much later");
  PassArchiveWriter small(s, {}, 2 * PassArchiveChunk(Pass(1)).size());
  small.SeriesStarted(1765300000);
  for (std::uint32_t n = 1; n <= 4; ++n) small.PassFinished(Pass(n));
  small.Flush();
  const auto lost = small.TakeError();
  ASSERT_TRUE(lost);
  EXPECT_NE(lost->find("проходы с 1 (1) потеряны"), std::string::npos) << *lost;
  EXPECT_EQ(lost->find("проходы с 2"), std::string::npos) << *lost;
  std::size_t losses = 0;
  for (const std::string& line : small.TakeLog()) losses += line.find("потеряны") != std::string::npos;
  EXPECT_EQ(losses, 2u);
  std::filesystem::create_directory(test::FsPath(s.WorkDir));
  small.PassFinished(Pass(5));
  small.Flush();
  const PassArchive gap = ReadPassArchive(small.CurrentPath());
  EXPECT_TRUE(gap.Passes.empty());
  EXPECT_NE(gap.Problem.find("нет проходов 1–3"), std::string::npos) << gap.Problem;
  // The folder goes away, and a new series starts while a pass waits: that
  // pass gets one more try, and is then given up in a box.
  std::filesystem::rename(test::FsPath(s.WorkDir), test::FsPath(dir.File("moved")));
  small.PassFinished(Pass(6));
  small.Flush();
  small.TakeError();
  small.SeriesStarted(1765300100);
  small.Flush();
  const auto old = small.TakeError();
  ASSERT_TRUE(old);
  EXPECT_NE(old->find("незаписанные проходы прежней серии (1) потеряны"), std::string::npos) << *old;
  EXPECT_EQ(small.WaitingBytes(), 0u);
  // This series loses passes too, and so does the next: each said in a box.
  for (int series = 0; series < 2; ++series) {
    if (series) {
      small.SeriesStarted(1765300200);
      small.Flush();
      small.TakeError();
    }
    for (std::uint32_t n = 1; n <= 3; ++n) small.PassFinished(Pass(n));
    small.Flush();
    const auto again = small.TakeError();
    ASSERT_TRUE(again) << series;
    EXPECT_NE(again->find("проходы с 1 (1) потеряны"), std::string::npos) << *again;
  }
}

TEST_F(ArchiveWriter, AWriteCutShortIsWrittenOverByTheNextPass) {
  PassArchiveWriter w(s);
  w.SeriesStarted(1765300000);
  w.PassFinished(Pass(1));
  w.Flush();
  // Half a pass left behind (a full disk, say).
  {
    std::ofstream f(test::FsPath(w.CurrentPath()), std::ios::binary | std::ios::app);
    f << "PASS\x10\x00";
  }
  w.PassFinished(Pass(2));
  w.Flush();
  const PassArchive a = ReadPassArchive(w.CurrentPath());
  EXPECT_EQ(a.Problem, "");
  EXPECT_EQ(a.Passes.size(), 2u);
}

TEST_F(ArchiveWriter, AtTheEndWaitingPassesGoToTheFallbackFolderWithTheWrittenOnes) {
  PassArchiveWriter w(s);
  w.SeriesStarted(1765300000);
  w.PassFinished(Pass(1));
  w.Flush();
  const std::string path = w.CurrentPath();
  std::filesystem::remove(test::FsPath(path));
  std::filesystem::create_directory(test::FsPath(path));  // in the way now
  w.PassFinished(Pass(2));
  w.Flush();
  EXPECT_TRUE(w.TakeError());
  const std::string fallback = dir.File("fallback");
  std::filesystem::create_directory(test::FsPath(fallback));
  const auto lines = w.WriteWaitingTo(fallback);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("незаписанные проходы (1) записаны"), std::string::npos) << lines[0];
  // The first pass could not be read back from a folder: the file says
  // which passes it lacks.
  const auto name = std::filesystem::path(test::FsPath(path)).filename();
  const PassArchive a = ReadPassArchive(test::Utf8Path(test::FsPath(fallback) / name));
  EXPECT_TRUE(a.Passes.empty());
  EXPECT_NE(a.Problem.find("нет проходов 1–1"), std::string::npos) << a.Problem;
  EXPECT_EQ(w.WaitingBytes(), 0u);
}

}  // namespace
}  // namespace qel
