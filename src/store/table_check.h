#pragma once
// A read-only consistency check of a table, its memo file and its structural
// index (what "orvdb check" reports): header against file size, field
// contents, memo pointers, the index's structure, and whether every tag holds
// exactly the keys of the records its FOR condition admits, in order.
// Nothing is repaired and nothing is written.
#include "store/file_system.h"

#include <QString>
#include <QStringList>

namespace orv {

struct TableCheckResult {
    QStringList problems;  // empty when the table is consistent
    QStringList notes;     // observations that are not faults
};

TableCheckResult CheckTable(const QString& path, FileSystem& fs = FileSystem::real());

}  // namespace orv
