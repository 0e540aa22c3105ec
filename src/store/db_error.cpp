#include "store/db_error.h"

namespace orv {

void ThrowDbError(int code, const QString& detail) {
    const QString text = ErrorMessage(code);
    if (code == ecDbInvalidFieldType) throw EDatabase(code, text + detail);
    throw EDatabase(code, detail.isEmpty() ? text : text + QStringLiteral(": ") + detail);
}

}  // namespace orv
