// Files on Windows: replacement, refusal, Cyrillic names, free space, and
// the command line given a Cyrillic file name.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "model/atomic_file.h"
#include "model/auto_save.h"
#include "model/reg_file_store.h"
#include "model/spectrum.h"
#include "model/spectrum_file.h"
#include "model/win_text.h"
#include "../model/test_dir.h"

namespace qel {
namespace {

using test::FsPath;
using test::Slurp;
using test::Spit;

// The names in a folder as Windows lists them (wide), in UTF-8.
std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW d;
  HANDLE h = FindFirstFileW(WideFromUtf8(folder + "\\*").c_str(), &d);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string n = Utf8FromWide(d.cFileName);
    if (n != "." && n != "..") names.push_back(n);
  } while (FindNextFileW(h, &d));
  FindClose(h);
  std::sort(names.begin(), names.end());
  return names;
}

TEST(WinFiles, CyrillicFoldersAndNamesAreWrittenReplacedAndReadWhole) {
  test::TempDir dir;
  const std::string folder = dir.File("Спектры ЭПР");
  const std::string path = folder + "\\образец №1.qel";
  // The settings file's folders are made as the registry makes keys.
  RegFileStore settings(folder + "\\Talvor\\Qel\\1.0.reg");
  settings.OpenKey("", true);
  settings.WriteString("WorkDir", folder);
  EXPECT_EQ(Listing(folder), std::vector<std::string>{"Talvor"});
  EXPECT_EQ(Listing(folder + "\\Talvor\\Qel"), std::vector<std::string>{"1.0.reg"});

  WriteFileAtomically(path, "first");
  WriteFileAtomically(path, "second, longer");
  EXPECT_EQ(Listing(folder), (std::vector<std::string>{"Talvor", "образец №1.qel"}));
  EXPECT_TRUE(PathExists(path));
  EXPECT_EQ(ReadFileUpTo(path, 100), "second, longer");
  EXPECT_EQ(ReadRegularFile(path, 100), "second, longer");

  SpectrumStore store;
  store.CurrentSpectrum[7] = {7, 3000};
  SaveSpectrum(store, folder + "\\Спектр00000001.qel");
  SpectrumStore loaded;
  ASSERT_TRUE(LoadSpectrum(loaded, folder + "\\Спектр00000001.qel"));
  EXPECT_EQ(loaded.CurrentSpectrum[7], (SpectrumPoint{7, 3000}));

  // A damaged settings file is moved aside under its Cyrillic name.
  Spit(folder + "\\Talvor\\Qel\\1.0.reg", "not a settings file");
  RegFileStore damaged(folder + "\\Talvor\\Qel\\1.0.reg");
  EXPECT_FALSE(damaged.ReadOnly()) << damaged.LoadProblem();
  EXPECT_EQ(Listing(folder + "\\Talvor\\Qel"), std::vector<std::string>{"1.0.reg.bad"});
  EXPECT_EQ(Slurp(folder + "\\Talvor\\Qel\\1.0.reg.bad"), "not a settings file");
}

// Another program holding the file open (an editor, a backup) refuses the
// replacement: the old file stays as it was, nothing is left beside it.
TEST(WinFiles, RefusedReplacementLeavesTheOldFileWhole) {
  test::TempDir dir;
  const std::string path = dir.File("ночь.qel");
  WriteFileAtomically(path, "old contents");
  HANDLE holder = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  std::string error;
  try {
    WriteFileAtomically(path, std::string(1000, 'x'));
  } catch (const FileError& e) {
    error = e.what();
  }
  CloseHandle(holder);
  EXPECT_EQ(error.rfind("Не удалось заменить файл \"" + path + "\": ", 0), 0u) << error;
  EXPECT_EQ(Slurp(path), "old contents");
  EXPECT_EQ(Listing(dir.Path()), std::vector<std::string>{"ночь.qel"});
  // Once let go, the same write goes through.
  WriteFileAtomically(path, "new");
  EXPECT_EQ(Slurp(path), "new");
  EXPECT_EQ(Listing(dir.Path()), std::vector<std::string>{"ночь.qel"});
}

// A write that fails part way (the disk full) leaves the old file whole and
// nothing beside it. The test command runs this case with the process's
// file size limited (QEL_TEST_FILE_LIMIT bytes), which Wine reports as a
// failed WriteFile.
TEST(WinFiles, FailedWriteLeavesTheOldFileWhole) {
  const char* limitText = std::getenv("QEL_TEST_FILE_LIMIT");
  if (!limitText) GTEST_SKIP() << "needs a file size limit: run by the test command with QEL_TEST_FILE_LIMIT";
  const std::size_t limit = std::stoul(limitText);
  test::TempDir dir;
  const std::string path = dir.File("Спектр00000001.qel");
  WriteFileAtomically(path, "old contents");
  std::string error;
  try {
    WriteFileAtomically(path, std::string(2 * limit, 'x'));
  } catch (const FileError& e) {
    error = e.what();
  }
  EXPECT_EQ(error.rfind("Ошибка записи файла \"" + path + "\": ", 0), 0u) << error;
  EXPECT_EQ(Slurp(path), "old contents");
  EXPECT_EQ(Listing(dir.Path()), std::vector<std::string>{"Спектр00000001.qel"});
}

// A replaced file keeps what Windows keeps for it: here, its hidden
// attribute, which a plain rename would lose.
TEST(WinFiles, ReplacementKeepsTheFilesAttributes) {
  test::TempDir dir;
  const std::string path = dir.File("1.0.reg");
  WriteFileAtomically(path, "a");
  ASSERT_TRUE(SetFileAttributesW(WideFromUtf8(path).c_str(), FILE_ATTRIBUTE_HIDDEN));
  WriteFileAtomically(path, "b");
  EXPECT_EQ(Slurp(path), "b");
  EXPECT_TRUE(GetFileAttributesW(WideFromUtf8(path).c_str()) & FILE_ATTRIBUTE_HIDDEN);
}

TEST(WinFiles, MissingFoldersAndFilesAreNotThereNotErrors) {
  test::TempDir dir;
  EXPECT_EQ(ReadFileUpTo(dir.File("нет.qel"), 100), std::nullopt);
  EXPECT_EQ(ReadFileUpTo(dir.File("нет\\нет.qel"), 100), std::nullopt);
  EXPECT_FALSE(PathExists(dir.File("нет")));
  try {
    WriteFileAtomically(dir.File("нет\\x.qel"), "data");
    FAIL() << "written into a missing folder";
  } catch (const FileError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Не удалось создать файл \"" + dir.File("нет\\x.qel") + "\": нет такого файла или каталога");
  }
  EXPECT_TRUE(Listing(dir.Path()).empty());
}

// The file calls' common failures end the message in Russian, as errno's do
// on other systems; any other keeps Windows' own words after its number.
TEST(WinFiles, FileReasonsAreRussianForTheCommonCauses) {
  EXPECT_EQ(WinFileReason(ERROR_FILE_NOT_FOUND), "нет такого файла или каталога");
  EXPECT_EQ(WinFileReason(ERROR_PATH_NOT_FOUND), "нет такого файла или каталога");
  EXPECT_EQ(WinFileReason(ERROR_ACCESS_DENIED), "нет прав доступа");
  EXPECT_EQ(WinFileReason(ERROR_WRITE_PROTECT), "файловая система доступна только для чтения");
  EXPECT_EQ(WinFileReason(ERROR_DISK_FULL), "на диске нет места");
  EXPECT_EQ(WinFileReason(ERROR_DIRECTORY), "часть пути не является каталогом");
  EXPECT_EQ(WinFileReason(ERROR_FILENAME_EXCED_RANGE), "слишком длинное имя файла или путь");
  EXPECT_EQ(WinFileReason(ERROR_SHARING_VIOLATION),
            "системная ошибка 32 (" + WinReason(ERROR_SHARING_VIOLATION) + ")");
}

// A device would be read for ever (CON waits for the keyboard); a file far
// too large is refused before it is read.
TEST(WinFiles, DevicesAndHugeFilesAreRefused) {
  try {
    ReadFileUpTo("NUL", 1000);
    FAIL() << "a device was read";
  } catch (const FileError& e) {
    EXPECT_EQ(std::string(e.what()), "Не удалось прочитать файл \"NUL\": это не обычный файл (канал, устройство или папка)");
  }
  EXPECT_THROW(ReadRegularFile("NUL", 1000), FileError);
  // Without a console (as under Wine here) CON cannot even be opened.
  EXPECT_THROW(ReadFileUpTo("CON", 1000), FileError);
  // A folder is no file either.
  test::TempDir folder;
  try {
    ReadFileUpTo(folder.Path(), 1000);
    FAIL() << "a folder was read";
  } catch (const FileError& e) {
    EXPECT_NE(std::string(e.what()).find("не обычный файл"), std::string::npos) << e.what();
  }
  SpectrumStore store;
  store.CurrentSpectrum[5] = {5, 100};
  EXPECT_THROW(LoadSpectrum(store, "NUL"), FileError);
  EXPECT_EQ(store.CurrentSpectrum[5], (SpectrumPoint{5, 100}));

  test::TempDir dir;
  const std::string big = dir.File("большой.reg");
  Spit(big, "");
  std::filesystem::resize_file(FsPath(big), RegFileStore::MaxFileSize + 1);
  RegFileStore settings(big);
  EXPECT_TRUE(settings.ReadOnly());
  EXPECT_NE(settings.LoadProblem().find("больше"), std::string::npos) << settings.LoadProblem();
  EXPECT_EQ(std::filesystem::file_size(FsPath(big)), RegFileStore::MaxFileSize + 1);
  EXPECT_FALSE(PathExists(big + ".bad"));
}

// A short relative name below a deep current folder is long all the same.
TEST(WinFiles, RelativePathsAreMeasuredWhole) {
  test::TempDir dir;
  std::string deep = dir.Path();
  while (WideFromUtf8(deep).size() < 246) deep += "\\папка";
  std::filesystem::create_directories(FsPath(deep));
  wchar_t before[MAX_PATH * 4];
  GetCurrentDirectoryW(MAX_PATH * 4, before);
  ASSERT_TRUE(SetCurrentDirectoryW(WinPath(deep).c_str()));
  const std::string relative = std::string(150, 'r') + "\\spectrum.qel";
  const std::wstring expected = L"\\\\?\\" + WideFromUtf8(deep + "\\" + relative);
  const std::wstring got = WinPath(relative);
  const std::wstring driveRelative = WinPath(deep.substr(0, 2) + relative);
  const std::wstring shortThere = WinPath("a.qel");
  SetCurrentDirectoryW(before);
  EXPECT_EQ(got, expected);
  EXPECT_EQ(driveRelative, expected);
  EXPECT_EQ(shortThere, L"\\\\?\\" + WideFromUtf8(deep + "\\a.qel"));
  EXPECT_EQ(WinPath("a.qel"), L"a.qel");  // from a shallow folder: as typed
}

// Paths near the classic limit of 260 characters go to Windows absolute and
// with the long-path prefix, shorter ones as they are.
TEST(WinFiles, LongPathsAreGivenTheLongPathPrefix) {
  EXPECT_EQ(WinPath("C:\\Данные\\a.qel"), L"C:\\\u0414\u0430\u043d\u043d\u044b\u0435\\a.qel");
  const std::string deep = "C:\\" + std::string(120, 'a') + "\\..\\" + std::string(120, 'b') + "/x.qel";
  const std::string deeper = "C:\\" + std::string(120, 'a') + "\\..\\" + std::string(220, 'b') + "/x.qel";
  EXPECT_EQ(WinPath(deeper), L"\\\\?\\C:\\" + std::wstring(220, L'b') + L"\\x.qel");
  EXPECT_EQ(WinPath(deep), L"C:\\" + std::wstring(120, L'b') + L"\\x.qel");  // short once whole
  const std::string share = "\\\\server\\share\\" + std::string(250, 'c');
  EXPECT_EQ(WinPath(share), L"\\\\?\\UNC\\server\\share\\" + std::wstring(250, L'c'));
  EXPECT_EQ(WinPath("\\\\.\\COM9"), L"\\\\.\\COM9");
  // A device name at the end of a long path is no share.
  EXPECT_EQ(WinPath("C:\\" + std::string(200, 'd') + "\\NUL").find(L"UNC"), std::wstring::npos);
  EXPECT_EQ(WinPath("//?/C:/" + std::string(243, 'e')).rfind(L"\\\\?\\C:", 0), 0u);

  // A file 300 characters deep is written, replaced, read and listed.
  test::TempDir dir;
  std::string folder = dir.Path();
  while (folder.size() < 300) folder += "\\Спектры ЭПР";
  const std::string path = folder + "\\образец.qel";
  MakeParentFolders(path);
  WriteFileAtomically(path, "first");
  WriteFileAtomically(path, "second");
  EXPECT_EQ(ReadRegularFile(path, 100), "second");
  EXPECT_EQ(Listing(folder), std::vector<std::string>{"образец.qel"});
  EXPECT_EQ(FolderWriteProblem(folder), "");
  EXPECT_EQ(FreeSpaceText(folder).rfind("На диске C:\\ осталось ", 0), 0u) << FreeSpaceText(folder);
}

TEST(WinFiles, FreeSpaceNamesTheDriveAsWindowsDoes) {
  test::TempDir dir;
  const std::string folder = dir.File("Спектры");
  std::filesystem::create_directory(FsPath(folder));
  wchar_t root[MAX_PATH + 1];
  ASSERT_TRUE(GetVolumePathNameW(WideFromUtf8(folder).c_str(), root, MAX_PATH + 1));
  ULARGE_INTEGER available;
  ASSERT_TRUE(GetDiskFreeSpaceExW(WideFromUtf8(folder).c_str(), &available, nullptr, nullptr));
  const long long mb = FreeMegabytes(folder);
  EXPECT_GT(mb, 0);
  // Whole megabytes, cut down; the disk may change a little in between.
  EXPECT_LE(mb, static_cast<long long>(available.QuadPart / 1048576) + 16);
  EXPECT_GE(mb, static_cast<long long>(available.QuadPart / 1048576) - 16);
  const std::string text = FreeSpaceText(folder);
  const std::string drive = Utf8FromWide(root);
  EXPECT_EQ(drive.size(), 3u) << drive;  // "C:\" and its kind
  EXPECT_EQ(text.rfind("На диске " + drive + " осталось ", 0), 0u) << text;
  EXPECT_EQ(text.substr(text.size() - 11), " Мбайт");
  // A folder that is gone (a working folder deleted since) is still on its
  // drive; a drive that cannot be asked shows nothing left.
  std::filesystem::remove(FsPath(folder));
  EXPECT_EQ(FreeSpaceText(folder).rfind("На диске " + drive + " осталось ", 0), 0u);
  EXPECT_NEAR(FreeMegabytes(folder), mb, 16);
  EXPECT_EQ(FreeMegabytes("Q:\\нет"), 0);
  EXPECT_EQ(FreeSpaceText("Q:\\нет"), "На диске Q:\\ осталось 0 Мбайт");
}

// The command line takes a Cyrillic file name as typed, whatever the code page.
TEST(WinCommandLine, ACyrillicFileNameReachesTheProgramWhole) {
  test::TempDir dir;
  const std::string spectrum = dir.File("спектр №2.qel");
  SpectrumStore store;
  store.CurrentSpectrum[100] = {100, 2048};
  SaveSpectrum(store, spectrum);
  const std::string out = dir.File("вывод.txt");
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE file = CreateFileW(WideFromUtf8(out).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = si.hStdError = file;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  std::wstring line = L"\"" + WideFromUtf8(QEL_EXE) + L"\" info \"" + WideFromUtf8(spectrum) + L"\"";
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi));
  WaitForSingleObject(pi.hProcess, 60000);
  DWORD status = 99;
  GetExitCodeProcess(pi.hProcess, &status);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  CloseHandle(file);
  const std::string printed = Slurp(out);
  EXPECT_EQ(status, 0u) << printed;
  EXPECT_NE(printed.find("спектр №2.qel"), std::string::npos) << printed;
}

}  // namespace
}  // namespace qel
