#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "model/atomic_file.h"
#include "model/reg_file_store.h"
#include "test_dir.h"

namespace qel {

using test::Slurp;
using test::Spit;

namespace {
}  // namespace

TEST(RegFileStore, QuotesBackslashesAndLineBreaksRoundTrip) {
  test::TempDir dir;
  const std::string path = dir.File("1.0.reg");
  const std::string tricky = "C:\\Data\\\"new\" спектры";
  const std::string multiline = "first\nвторая\r\n\tthird";
  {
    RegFileStore store(path);
    store.OpenKey("", true);
    store.WriteString("Plain", tricky);
    store.WriteString("Lines", multiline);
    store.WriteString("Say \"hi\"\\", "x");
  }
  const std::string text = Slurp(path);
  EXPECT_NE(text.find("\"Plain\"=\"C:\\\\Data\\\\\\\"new\\\" спектры\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Lines\"=hex(1):66,00,69,00"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Say \\\"hi\\\"\\\\\"=\"x\""), std::string::npos) << text;
  RegFileStore again(path);
  ASSERT_TRUE(again.OpenKey("", false));
  EXPECT_EQ(again.ReadString("Plain"), tricky);
  EXPECT_EQ(again.ReadString("Lines"), multiline);
  EXPECT_EQ(again.ReadString("say \"HI\"\\"), "x");  // names ignore ASCII case
  EXPECT_EQ(again.Serialize(), text);
}

TEST(RegFileStore, ReadsWhatTheRegistryEditorWrites) {
  test::TempDir dir;
  const std::string path = dir.File("1.0.reg");
  Spit(path,
       "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
       "; exported by hand\r\n"
       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvor\\Qel\\1.0]\r\n"
       "\"BitRate\"=dword:0001C200\r\n"
       "\"Long\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,\\\r\n"
       "  18,19\r\n"
       "\"Exp\"=hex(2):25,00,41,00,00,00\r\n"
       "\"Multi\"=hex(7):61,00,00,00,00,00\r\n"
       "@=\"default\"\r\n"
       "[hkey_local_machine\\software\\talvor\\qel\\1.0\\POSITION]\r\n"
       "\"Top\"=dword:7\r\n");
  RegFileStore store(path);
  EXPECT_EQ(store.LoadProblem(), "");
  ASSERT_TRUE(store.OpenKey("", false));
  EXPECT_EQ(store.ReadInteger("BitRate"), 115200);
  EXPECT_EQ(store.GetValue("Long")->Data.size(), 25u);
  EXPECT_EQ(store.ReadString("Exp"), "%A");
  EXPECT_EQ(store.ReadString(""), "default");
  EXPECT_THROW(store.ReadString("Multi"), RegistryError);
  EXPECT_THROW(store.ReadInteger("Long"), RegistryError);
  ASSERT_TRUE(store.OpenKey("Position", false));
  EXPECT_EQ(store.ReadInteger("Top"), 7);
  EXPECT_FALSE(store.OpenKey("Missing", false));
  // Values of other types survive a save unchanged.
  store.OpenKey("", false);
  store.WriteInteger("BitRate", 9600);
  RegFileStore again(path);
  again.OpenKey("", false);
  EXPECT_EQ(again.GetValue("Multi"), store.GetValue("Multi"));
  EXPECT_EQ(again.GetValue("Long"), store.GetValue("Long"));
  EXPECT_EQ(again.ReadInteger("BitRate"), 9600);
}

TEST(RegFileStore, UnparsableFileIsMovedAsideWithItsLine) {
  test::TempDir dir;
  const std::string path = dir.File("1.0.reg");
  const std::string bad =
      "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvor\\Qel\\1.0]\n"
      "\"Port\"=\"COM3\"\n\"BitRate\"=dword:xyz\n";
  Spit(path, bad);
  Spit(path + ".bad", "an older bad file");
  RegFileStore store(path);
  EXPECT_NE(store.LoadProblem().find(path), std::string::npos);
  EXPECT_NE(store.LoadProblem().find("строка 5"), std::string::npos) << store.LoadProblem();
  EXPECT_FALSE(store.KeyExists(""));
  EXPECT_FALSE(PathExists(path));
  EXPECT_EQ(Slurp(path + ".bad"), "an older bad file");  // never overwritten
  EXPECT_EQ(Slurp(path + ".bad.2"), bad);
  store.OpenKey("", true);
  store.WriteString("Port", "COM2");
  EXPECT_EQ(Slurp(path + ".bad.2"), bad);
  EXPECT_TRUE(PathExists(path));
}

// A damaged file that cannot be moved aside stays in the way: no save may
// replace it, even once the folder can be written again.
TEST(RegFileStore, DamagedFileThatCannotBeMovedIsNeverWritten) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX only: needs a folder made unwritable with chmod and a user without privileges (seteuid)";
#else
  test::TempDir dir;
  const std::string folder = dir.File("Qel");
  const std::string path = folder + "/1.0.reg";
  std::filesystem::create_directory(folder);
  Spit(path, "not a settings file");
  ::chmod(path.c_str(), 0644);
  ::chmod(dir.Path().c_str(), 0755);
  ::chmod(folder.c_str(), 0555);
  std::optional<RegFileStore> store;
  if (!test::WithoutPrivileges([&] { store.emplace(path); })) GTEST_SKIP() << "cannot drop privileges";
  ::chmod(folder.c_str(), 0755);
  EXPECT_NE(store->LoadProblem().find("Перенести его не удалось (нет прав доступа)"), std::string::npos)
      << store->LoadProblem();
  EXPECT_TRUE(store->ReadOnly());
  store->OpenKey("", true);
  try {
    store->WriteInteger("NumbMask", 1);
    FAIL() << "the damaged file was replaced";
  } catch (const RegistryError& e) {
    EXPECT_NE(e.Detail().find("Файл настроек \"" + path + "\""), std::string::npos) << e.Detail();
  }
  EXPECT_EQ(Slurp(path), "not a settings file");
#endif
}

TEST(RegFileStore, FileThatCannotBeReadIsNeverWritten) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX only: needs a file made unreadable with chmod and a user without privileges (seteuid)";
#else
  test::TempDir dir;
  const std::string path = dir.File("1.0.reg");
  const std::string text =
      "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvor\\Qel\\1.0]\n"
      "\"NumbMask\"=dword:00000400\n";
  Spit(path, text);
  ::chmod(path.c_str(), 0);
  std::optional<RegFileStore> store;
  if (!test::WithoutPrivileges([&] { store.emplace(path); })) GTEST_SKIP() << "cannot drop privileges";
  EXPECT_NE(store->LoadProblem().find("Не удалось открыть файл \"" + path + "\": нет прав доступа"), std::string::npos)
      << store->LoadProblem();
  EXPECT_TRUE(store->ReadOnly());
  store->OpenKey("", true);
  try {
    store->WriteInteger("NumbMask", 1);
    FAIL() << "the unread file was replaced";
  } catch (const RegistryError& e) {
    EXPECT_NE(e.Detail().find("Файл настроек \"" + path + "\""), std::string::npos) << e.Detail();
  }
  ::chmod(path.c_str(), 0600);
  EXPECT_EQ(Slurp(path), text);
  EXPECT_FALSE(PathExists(path + ".bad"));
#endif
}

// Only a regular file read whole is known to be damaged. A pipe, a device
// (through a link too) or a file far larger than any settings file is not
// read: it stays where it is and the store is read-only for the run.
TEST(RegFileStore, PipeDeviceOrHugeFileIsKeptAndNeverWritten) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX only: FIFOs, /dev/null, /dev/zero and inode numbers; devices and huge files on Windows are in WinFiles.DevicesAndHugeFilesAreRefused";
#else
  test::TempDir dir;
  const std::string path = dir.File("1.0.reg");
  auto expectKept = [&](const char* what, const char* reason) {
    SCOPED_TRACE(what);
    struct stat before;
    ASSERT_EQ(::lstat(path.c_str(), &before), 0);
    std::optional<RegFileStore> store;
    ASSERT_NO_THROW(store.emplace(path));
    EXPECT_NE(store->LoadProblem().find("\"" + path + "\""), std::string::npos) << store->LoadProblem();
    EXPECT_NE(store->LoadProblem().find(reason), std::string::npos) << store->LoadProblem();
    EXPECT_TRUE(store->ReadOnly());
    EXPECT_FALSE(PathExists(path + ".bad"));
    struct stat after;
    ASSERT_EQ(::lstat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    store->OpenKey("", true);
    EXPECT_THROW(store->WriteInteger("NumbMask", 1), RegistryError);
    ASSERT_EQ(::lstat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    std::filesystem::remove(path);
  };
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  expectKept("pipe", "не обычный файл");
  std::filesystem::create_symlink("/dev/null", path);
  expectKept("link to /dev/null", "не обычный файл");
  std::filesystem::create_symlink("/dev/zero", path);
  expectKept("link to /dev/zero", "не обычный файл");
  // One byte too many: a settings file is a few kilobytes.
  Spit(path, "");
  std::filesystem::resize_file(path, RegFileStore::MaxFileSize + 1);
  expectKept("huge file", "больше");
  // The largest file is read, and here, not parsing, moved aside.
  Spit(path, "");
  std::filesystem::resize_file(path, RegFileStore::MaxFileSize);
  RegFileStore largest(path);
  EXPECT_FALSE(largest.ReadOnly());
  EXPECT_TRUE(PathExists(path + ".bad"));
#endif
}

// A key is implied by its subkeys only: a section whose name merely begins
// with the key's name is another key.
TEST(RegFileStore, ANameThatOnlyBeginsWithTheKeysNameImpliesNothing) {
  const std::string header = "Windows Registry Editor Version 5.00\n\n";
  RegFileStore store("/nonexistent/never");
  store.Parse(header + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvor\\Qel\\1.0x\\Position]\n\"Top\"=dword:00000007\n");
  EXPECT_FALSE(store.KeyExists(""));
  EXPECT_FALSE(store.KeyExists("Position"));
  store.Parse(header + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvor\\Qel\\1.0\\PositionX]\n\"Top\"=dword:00000007\n");
  EXPECT_TRUE(store.KeyExists(""));
  EXPECT_FALSE(store.KeyExists("Position"));
  EXPECT_FALSE(store.OpenKey("Position", false));
}

TEST(RegFileStore, RejectsWhatItCannotRead) {
  const char* bodies[] = {
      "Not a registry file\n",
      "Windows Registry Editor Version 5.00\n\"x\"=dword:1\n",  // value outside a key
      "Windows Registry Editor Version 5.00\n[K]\n\"x\"=\n",
      "Windows Registry Editor Version 5.00\n[K]\n\"x=\"1\"\n",
      "Windows Registry Editor Version 5.00\n[K]\n\"x\"=hex:0g\n",
      "Windows Registry Editor Version 5.00\n[K]\n\"x\"=hex:01,\\\n",
      "Windows Registry Editor Version 5.00\n[K]\n\"x\"=dword:123456789\n",
      "Windows Registry Editor Version 5.00\n[-K]\n",
      "Windows Registry Editor Version 5.00\n[K]\n\"x\"=-\n",
  };
  for (const char* body : bodies) {
    RegFileStore store("/nonexistent/never");
    EXPECT_THROW(store.Parse(body), RegistryError) << body;
  }
}

TEST(RegFileStore, NeverCrashesOnAnyContent) {
  std::mt19937 rng(20261207);
  const std::string alphabet = "[]\"\\=@:,;hexdwor()0123456789abcdefHKEY_\n\r \t\xD0\x81\xFF";
  const std::string start = "Windows Registry Editor Version 5.00\n[K]\n";
  for (int round = 0; round < 3000; ++round) {
    std::string text = start;
    const int n = static_cast<int>(rng() % 200);
    for (int i = 0; i < n; ++i) {
      text += (rng() % 4 == 0) ? static_cast<char>(rng() % 256) : alphabet[rng() % alphabet.size()];
    }
    RegFileStore store("/nonexistent/never");
    try {
      store.Parse(text);
      // Whatever parsed must write and read back to the same store.
      RegFileStore again("/nonexistent/never");
      again.Parse(store.Serialize());
      EXPECT_EQ(again.Serialize(), store.Serialize());
    } catch (const RegistryError&) {
    }
  }
}

TEST(RegFileStore, Utf16Conversion) {
  const std::string s = "Aя€😀";
  EXPECT_EQ(Utf16LeToUtf8(Utf8ToUtf16Le(s)), s);
  EXPECT_EQ(Utf16LeToUtf8(std::string("\x00\xD8", 2)), "\xEF\xBF\xBD");  // lone surrogate
  EXPECT_EQ(Utf8ToUtf16Le("\xFF"), std::string("\xFD\xFF", 2));
}

TEST(AtomicFile, FailedWriteLeavesTheOldFileWhole) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX only: the write is made to fail with RLIMIT_FSIZE; on Windows see WinFiles.FailedWriteLeavesTheOldFileWhole";
#else
  test::TempDir dir;
  // The longest name a folder takes: the temporary name must not be longer.
  const std::string path = dir.File(std::string(251, 'n') + ".qel");
  WriteFileAtomically(path, "old contents");
  std::string error;
  test::WithFileSizeLimit(100, [&] {
    try {
      WriteFileAtomically(path, std::string(1000, 'x'));
    } catch (const FileError& e) {
      error = e.what();
    }
  });
  EXPECT_NE(error.find(path), std::string::npos) << error;
  EXPECT_EQ(Slurp(path), "old contents");
  // No temporary file is left behind.
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) ++entries;
  EXPECT_EQ(entries, 1);
#endif
}

// A file whose size tells nothing (the kernel's files show 0) is refused by
// the read itself, one byte past the limit.
TEST(AtomicFile, RegularFileLargerThanItsSizeSaysIsRefused) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX only: needs a /proc file whose size says 0";
#else
  const auto status = ReadRegularFile("/proc/self/cmdline", 1 << 20);
  ASSERT_TRUE(status && status->size() > 10);
  EXPECT_EQ(ReadRegularFile("/proc/self/cmdline", status->size())->size(), status->size());
  EXPECT_THROW(ReadRegularFile("/proc/self/cmdline", 10), FileError);
#endif
}

TEST(AtomicFile, MissingFolderIsReportedWithThePath) {
  try {
    WriteFileAtomically("/nonexistent-qel-dir/x.reg", "data");
    FAIL();
  } catch (const FileError& e) {
    EXPECT_STREQ(e.what(), "Не удалось создать файл \"/nonexistent-qel-dir/x.reg\": нет такого файла или каталога");
  }
}

// The common causes end a Russian message in Russian; any other keeps the
// system's own words, in parentheses after its number.
TEST(AtomicFile, SystemReasonsAreRussianForTheCommonCauses) {
  EXPECT_EQ(SystemReason(ENOENT), "нет такого файла или каталога");
  EXPECT_EQ(SystemReason(EACCES), "нет прав доступа");
  EXPECT_EQ(SystemReason(EPERM), "нет прав доступа");
  EXPECT_EQ(SystemReason(EROFS), "файловая система доступна только для чтения");
  EXPECT_EQ(SystemReason(ENOSPC), "на диске нет места");
  EXPECT_EQ(SystemReason(ENOTDIR), "часть пути не является каталогом");
  EXPECT_EQ(SystemReason(ENAMETOOLONG), "слишком длинное имя файла или путь");
  EXPECT_EQ(SystemReason(EISDIR), "это папка, а не файл");
  EXPECT_EQ(SystemReason(EIO), "системная ошибка " + std::to_string(EIO) + " (" + std::strerror(EIO) + ")");
}

TEST(AtomicFile, FileWherePathNeedsAFolderIsSaidInRussian) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX only: Windows says such a path is not found (WinFiles.MissingFoldersAndFilesAreNotThereNotErrors)";
#else
  test::TempDir dir;
  Spit(dir.File("файл"), "x");
  try {
    WriteFileAtomically(dir.File("файл/x.qel"), "data");
    FAIL();
  } catch (const FileError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Не удалось создать файл \"" + dir.File("файл/x.qel") + "\": часть пути не является каталогом");
  }
#endif
}

// What the automatic-save dialog says of a folder it cannot save into.
TEST(AtomicFile, FolderWriteProblemNamesWhatIsWrong) {
  test::TempDir dir;
  const std::string folder = dir.File("Спектры ЭПР");
  std::filesystem::create_directory(test::FsPath(folder));
  EXPECT_EQ(FolderWriteProblem(folder), "");
  EXPECT_TRUE(std::filesystem::is_empty(test::FsPath(folder)));  // the trial file is gone
  EXPECT_EQ(FolderWriteProblem(dir.File("нет")), "каталог не существует");
  test::Spit(dir.File("файл"), "x");
  EXPECT_EQ(FolderWriteProblem(dir.File("файл")), "это не каталог");
  EXPECT_EQ(FolderWriteProblem(dir.File("файл") + PathSeparator), "это не каталог");  // as WorkDir is kept
  EXPECT_EQ(FolderWriteProblem(""), "каталог не указан");
}

// A folder that is there but takes no files (the kernel's /proc answers "no
// such file" to any new name) is not said to be missing.
TEST(AtomicFile, FolderWriteProblemOfAFolderThatTakesNoFiles) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX only: /proc and a user without privileges (seteuid)";
#else
  if (::geteuid() == 0) {
    EXPECT_EQ(FolderWriteProblem("/proc"), "файловая система этого каталога не позволяет создавать в нём файлы");
  }
  std::string asUser;
  if (!test::WithoutPrivileges([&] { asUser = FolderWriteProblem("/proc"); })) GTEST_SKIP() << "cannot drop privileges";
  EXPECT_EQ(asUser, "нет прав на запись в каталог");
#endif
}

// A damaged settings file is moved aside, never over an earlier one.
TEST(AtomicFile, RenameNeverReplacesAFile) {
  test::TempDir dir;
  test::Spit(dir.File("1.0.reg"), "new");
  test::Spit(dir.File("1.0.reg.bad"), "old");
  std::string reason;
  EXPECT_FALSE(RenamePath(dir.File("1.0.reg"), dir.File("1.0.reg.bad"), reason));
  EXPECT_FALSE(reason.empty());
  EXPECT_EQ(test::Slurp(dir.File("1.0.reg.bad")), "old");
  EXPECT_TRUE(RenamePath(dir.File("1.0.reg"), dir.File("1.0.reg.bad.2"), reason));
  EXPECT_EQ(test::Slurp(dir.File("1.0.reg.bad.2")), "new");
  EXPECT_FALSE(PathExists(dir.File("1.0.reg")));
}

#ifndef _WIN32
TEST(AtomicFile, ADeviceIsWrittenIntoNeverReplaced) {
  // "qel passes --csv /dev/null" run as root replaced the device with a
  // file. Here a link to it, so that a fault replaces only the link.
  test::TempDir dir;
  const std::string link = dir.File("out.csv");
  ASSERT_EQ(::symlink("/dev/null", link.c_str()), 0);
  WriteFileAtomically(link, "pass,points\n");
  struct stat st;
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(::stat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
}
#endif

TEST(AtomicFile, CurrentFolderIsTheProcesssOwn) {
  EXPECT_EQ(CurrentFolder(), test::Utf8Path(std::filesystem::current_path()));
}

}  // namespace qel
