#include "store/db_error.h"

namespace orv {

QString DbErrorText(int code, const QString& detail) {
    const QString text = ErrorMessage(code);
    if (code == ecDbInvalidFieldType) return text + detail;
    return detail.isEmpty() ? text : text + QStringLiteral(": ") + detail;
}

void ThrowDbError(int code, const QString& detail) { throw EDatabase(code, DbErrorText(code, detail)); }

}  // namespace orv
