#pragma once
// The operator's settings as the command line uses them: read only. The file
// is never written, created or moved aside, damaged or not.

#include <string>

#include "model/settings.h"

namespace qel::cli {

struct OperatorSettings {
  Settings S;           // the defaults overlaid with what the file holds
  std::string Warning;  // why the file was not (wholly) used; empty when it was
};

// Reads the settings file at `path` without changing anything on the disk: a
// missing file gives the defaults, a damaged or unreadable one the defaults
// and a warning.
OperatorSettings ReadOperatorSettings(const std::string& path);

#ifdef _WIN32
// The same from the program's key in the registry, opened for reading only:
// a missing key is not created. The key is read where the window reads it
// (the user's own under HKEY_CURRENT_USER, else the earlier program's copy,
// else HKEY_LOCAL_MACHINE) unless a test names one root and path.
OperatorSettings ReadOperatorSettingsFromRegistry(void* root = nullptr,
                                                  const std::string& key = "SOFTWARE\\Talvor\\Qel\\1.0");
#endif

}  // namespace qel::cli
