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
// The same from the program's key in the registry, opened for reading only.
OperatorSettings ReadOperatorSettingsFromRegistry();
#endif

}  // namespace qel::cli
