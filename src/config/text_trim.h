#pragma once
// Blank trimming used across the program. Only the space character counts as
// a blank: tabs and other white space are kept.
#include <QString>

namespace orv {

QString TrimLeading(const QString& s);
QString TrimTrailing(const QString& s);
QString TrimBlanks(const QString& s);

}  // namespace orv
