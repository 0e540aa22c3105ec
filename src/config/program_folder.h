#pragma once
// Where Orvane keeps everything it writes: ORV.INI, the tables, "receive/",
// trace and log files, temporary files and the dictionaries.
#include <QString>

namespace orv {

// The folder named by ORVANE_HOME when set, otherwise the per-user data
// folder (~/.local/share/Orvane/). Always ends in "/".
QString ProgramFolder();

// ProgramFolder() + "ORV.INI"
QString IniFilePath();

// Creates ProgramFolder() when it does not exist yet; false when that fails.
bool EnsureProgramFolder();

}  // namespace orv
