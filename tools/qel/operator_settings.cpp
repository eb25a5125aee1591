#include "operator_settings.h"

#include "model/atomic_file.h"
#include "model/reg_file_store.h"
#include "model/registry_store.h"
#ifdef _WIN32
#include "model/registry_win.h"
#endif

namespace qel::cli {

OperatorSettings ReadOperatorSettings(const std::string& path) {
  OperatorSettings o;
  SetDefaults(o.S);
  std::optional<std::string> text;
  try {
    text = ReadRegularFile(path, RegFileStore::MaxFileSize);
  } catch (const FileError& e) {
    o.Warning = std::string("настройки не прочитаны (") + e.what() + "); используются настройки по умолчанию";
    return o;
  }
  if (!text) return o;
  try {
    RegFileStore store = RegFileStore::ReadOnlyFromText(path, *text);
    RecentFileList recent;
    LoadSettings(o.S, recent, store);
  } catch (const RegistryError& e) {
    // A file the window would move aside: here it stays where it is.
    SetDefaults(o.S);
    o.Warning = "файл настроек \"" + path + "\" не прочитан (" + e.what() + "); используются настройки по умолчанию";
  }
  return o;
}

#ifdef _WIN32
OperatorSettings ReadOperatorSettingsFromRegistry(void* root, const std::string& key) {
  OperatorSettings o;
  SetDefaults(o.S);
  try {
    RecentFileList recent;
    if (root) {
      WinRegistryStore store(static_cast<HKEY>(root), key, WinRegistryStore::Access::ReadOnly);
      LoadSettings(o.S, recent, store);
    } else {
      // As the window reads them: the user's own, else those it takes over.
      UserRegistryStores stores(WinRegistryStore::Access::ReadOnly, key, "Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE",
                                HKEY_LOCAL_MACHINE, key);
      LoadSettings(o.S, recent, stores.Store());
    }
  } catch (const RegistryError& e) {
    SetDefaults(o.S);
    o.Warning = std::string("настройки в реестре не прочитаны (") + e.what() + "); используются настройки по умолчанию";
  }
  return o;
}
#endif

}  // namespace qel::cli
