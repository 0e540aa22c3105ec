#pragma once
// What the pieces of the work area share (table_file, index_set,
// record_cursor, table_pack, work_area): small file helpers. Not for use
// outside them.
#include "store/file_system.h"
#include "store/file_handle.h"
#include "store/sorted_keys.h"

#include <QFileInfo>
#include <QString>

#include <cstdint>
#include <vector>

namespace orv::detail {

// The canonical FOR condition of a tag that leaves out deleted records.
constexpr char kNotDeleted[] = ".NOT.DELETED()";

inline QString fileName(const QString& path) { return QFileInfo(path).fileName(); }

inline void renameOver(FileSystem& fs, const QString& from, const QString& to) {
    if (!fs.rename(from, to)) ThrowIoError(QStringLiteral("cannot replace"), to);
}

inline void syncFolderOf(FileSystem& fs, const QString& path) {
    if (!fs.syncFolder(FolderOf(path))) ThrowIoError(QStringLiteral("cannot flush the folder of"), path);
}

// The next value of a change counter (0 is kept for "not counted").
inline uint32_t nextCounter(uint32_t c) { return c + 1 == 0 ? 1 : c + 1; }

// Whether every record number an index names is one of the table's records
// (an index that names others missed a change and is rebuilt).
inline bool RecordNumbersWithin(const SortedKeys& keys, uint32_t recordCount) {
    bool within = true;
    keys.forEachRun([&](const char*, const uint32_t* recnos, size_t n) {
        for (size_t i = 0; i < n; ++i) within = within && recnos[i] != 0 && recnos[i] <= recordCount;
    });
    return within;
}

}  // namespace orv::detail
