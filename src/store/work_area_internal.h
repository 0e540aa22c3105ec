#pragma once
// What the files of the work area share (work_area*.cpp): lock offsets and
// small file helpers. Not for use outside them.
#include "store/file_system.h"
#include "store/file_handle.h"

#include <QFileInfo>
#include <QString>

#include <cstdint>

namespace orv::detail {

// Record r is locked at kLockBase + r; the update lock (one writer at a time) at kLockBase.
constexpr qint64 kLockBase = 0x40000000;
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

}  // namespace orv::detail
