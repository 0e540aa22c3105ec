#include "config/program_folder.h"

#include <QDir>
#include <QStandardPaths>

namespace orv {

QString ProgramFolder() {
    QString folder = qEnvironmentVariable("ORVANE_HOME");
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Orvane";
    if (!folder.endsWith('/')) folder += '/';
    return folder;
}

QString IniFilePath() { return ProgramFolder() + "ORV.INI"; }

bool EnsureProgramFolder() { return QDir().mkpath(ProgramFolder()); }

}  // namespace orv
