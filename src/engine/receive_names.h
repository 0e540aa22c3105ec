#pragma once
// Names of received fax files, and creating them without ever replacing a file.
//
// Naming mode 1: "FAX" + four digits + "." + extension ("FAX0001.APF"), the
// lowest number from 0001 to 9999 that is free; mode 2: month and day (two
// digits each) + four digits; any other mode the fixed name "noname.apf".
// When every number is taken the name is "NONAME.APF".
#include <QDate>
#include <QString>

namespace orv {

// dir + "/" + name (no "/" added when dir is empty or ends with "/").
QString JoinFolder(const QString& dir, const QString& name);

// The generated name of the next received fax in dir, as above.
QString NextReceiveFileName(const QString& dir, int namingMode, const QString& extension,
                            const QDate& today = QDate::currentDate());

// path when no such file exists, else the first free "base-N.ext" beside it.
QString FreeVariantOf(const QString& path);

// Claims a new file for receiving: creates `path` empty and exclusively, or,
// when a file of that name exists (or appears meanwhile), the next free
// variant. On success `path` holds the name claimed and the result is 0;
// otherwise a file error code.
int ClaimNewFile(QString& path);

}  // namespace orv
