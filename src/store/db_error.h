#pragma once
// Raising record-store errors with a message that names the file and the fault,
// e.g. "The table file is damaged: ORV.DBF: record length 0".
#include "common/orv_error.h"

#include <QString>

namespace orv {

[[noreturn]] void ThrowDbError(int code, const QString& detail);
// The message ThrowDbError raises, for callers that report a fault without
// raising it.
QString DbErrorText(int code, const QString& detail);

}  // namespace orv
