#include "auto_save.h"

#include <cstdio>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/statvfs.h>
#endif

#include "atomic_file.h"
#include "registry_store.h"
#include "spectrum_file.h"
#ifdef _WIN32
#include "win_text.h"
#endif

namespace qel {

std::string AutoSaveName(std::string_view mask, std::int32_t number) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%8.8d", number);
  std::string text(mask);
  text += digits;
  for (char& c : text)
    if (c == ' ' || c == '.' || c == ',' || c == '\\' || c == '/' || c == '*') c = '_';
  return text;
}

std::string AutoSaveFileName(const Settings& s, std::int32_t number) {
  return AutoSaveName(s.NameMask, number) + ".qel";
}

std::string AutoSavePath(const Settings& s, std::int32_t number) {
  return PathInFolder(s.WorkDir, AutoSaveFileName(s, number));
}

std::string NoNumberLeftText(std::int32_t number) {
  return "Спектр не сохранён: номер файла " + std::to_string(number) +
         " наибольший из возможных, следующего номера нет. Задайте меньший стартовый номер "
         "в настройке автосохранения";
}

AutoSaveResult AutoSaveStep(SpectrumStore& store, Settings& s, const RunValues& run, std::int32_t& countdown,
                            RegistryStore* settingsStore, AutoSaveView& view) {
  AutoSaveResult result;
  if (!s.AutoSave) {
    view.SetStatusPanel(8, "");
    return result;
  }
  view.SetStatusPanel(8, "АВТО");
  if (countdown != 0) {
    --countdown;
    result.Outcome = AutoSaveResult::Skipped;
    return result;
  }
  result.Path = AutoSavePath(s, s.NumbMask);
  if (!AutoSaveNumberLeft(s)) {
    result.Outcome = AutoSaveResult::Failed;
    result.NoNumber = true;
    result.Error = NoNumberLeftText(s.NumbMask);
    return result;
  }
  StampParameters(store, s, run);
  try {
    SaveSpectrum(store, result.Path);
  } catch (const FileError& e) {
    result.Outcome = AutoSaveResult::Failed;
    result.Error = e.what();
    return result;
  }
  result.Outcome = AutoSaveResult::Saved;
  result.StoreError = AdvanceAutoSaveCounters(s, countdown, settingsStore);
  return result;
}

std::string AdvanceAutoSaveCounters(Settings& s, std::int32_t& countdown, RegistryStore* settingsStore) {
  if (AutoSaveNumberLeft(s)) ++s.NumbMask;
  countdown = UsedSaveStep(s) - 1;
  if (!settingsStore) return {};
  try {
    settingsStore->OpenKey("", true);
    settingsStore->WriteInteger("NumbMask", s.NumbMask);
  } catch (const RegistryError& e) {
    return std::string(e.what()) + (e.Detail().empty() ? "" : ": " + e.Detail());
  }
  return {};
}

#ifdef _WIN32

namespace {
// The root of the volume that holds the folder ("C:\", "\\server\share\",
// or the folder of a mounted volume), as Windows names it; for a folder that
// is not there (any more), the volume it would be on.
std::string VolumeOf(const std::string& directory) {
  wchar_t root[MAX_PATH + 1];
  if (!directory.empty() && GetVolumePathNameW(WinPath(directory).c_str(), root, MAX_PATH + 1)) {
    std::wstring r = root;
    // As it was asked, without the long-path prefix; a volume that has no
    // other name ("\\?\Volume{...}\") keeps it.
    if (r.rfind(L"\\\\?\\UNC\\", 0) == 0) r = L"\\\\" + r.substr(8);
    else if (r.rfind(L"\\\\?\\", 0) == 0 && r.size() >= 6 && r[5] == L':') r.erase(0, 4);
    return Utf8FromWide(r);
  }
  if (directory.size() >= 2 && directory[1] == ':') return directory.substr(0, 2) + "\\";
  return directory;
}
}  // namespace

long long FreeMegabytes(const std::string& directory) {
  // The space this user may still fill on the folder's drive; a drive that
  // cannot be asked shows 0.
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExW(WideFromUtf8(VolumeOf(directory)).c_str(), &available, nullptr, nullptr)) return 0;
  return static_cast<long long>(available.QuadPart / 1048576ULL);
}

std::string FreeSpaceText(const std::string& directory) {
  return "На диске " + VolumeOf(directory) + " осталось " + std::to_string(FreeMegabytes(directory)) + " Мбайт";
}

#else

namespace {
// The folder itself or, for one that is not there (any more), the nearest
// folder above it that is: the file system it would be on. Empty when none.
std::string ExistingFolder(const std::string& directory) {
  if (directory.empty()) return {};
  std::string cur = directory;
  while (cur.size() > 1 && cur.back() == '/') cur.pop_back();
  for (;;) {
    struct stat st;
    if (::stat(cur.c_str(), &st) == 0) return cur;
    const auto slash = cur.find_last_of('/');
    if (slash == std::string::npos) return ".";  // a relative name: the current folder
    cur = slash == 0 ? "/" : cur.substr(0, slash);
  }
}

// The mount point of the file system that holds the folder.
std::string MountPointOf(const std::string& directory) {
  std::string cur = ExistingFolder(directory);
  struct stat st;
  if (cur.empty() || cur[0] != '/' || ::stat(cur.c_str(), &st) != 0) return directory;
  for (;;) {
    if (cur == "/") return cur;
    auto slash = cur.find_last_of('/');
    std::string parent = slash == 0 ? "/" : cur.substr(0, slash);
    struct stat ps;
    if (::stat(parent.c_str(), &ps) != 0 || ps.st_dev != st.st_dev) return cur;
    cur = parent;
  }
}
}  // namespace

long long FreeMegabytes(const std::string& directory) {
  // The space this user may still fill on the folder's file system; one that
  // cannot be asked shows 0.
  const std::string folder = ExistingFolder(directory);
  struct statvfs v;
  if (folder.empty() || ::statvfs(folder.c_str(), &v) != 0) return 0;
  return static_cast<long long>(static_cast<unsigned long long>(v.f_bavail) * v.f_frsize / 1048576ULL);
}

std::string FreeSpaceText(const std::string& directory) {
  return "На диске " + MountPointOf(directory) + " осталось " + std::to_string(FreeMegabytes(directory)) + " Мбайт";
}

#endif

}  // namespace qel
