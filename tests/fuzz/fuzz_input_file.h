#pragma once
// For fuzz targets whose code reads a file by name: each input is written to
// one file, in memory (/dev/shm) where there is such a folder, so no input
// waits for a disk. The folder goes when the run ends.
#include "common/atomic_file.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

namespace orv::fuzz {

// The file's path: fileName in a folder of the run's own, named after prefix.
inline QString inputFilePath(const QString& prefix, const QString& fileName) {
    static std::unique_ptr<QTemporaryDir> dir = QDir(QStringLiteral("/dev/shm")).exists()
                                                    ? std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/") + prefix + "_XXXXXX")
                                                    : std::make_unique<QTemporaryDir>();
    return dir->path() + '/' + fileName;
}

// Replaces the file's contents with the input; false when it cannot be written.
// Plain system calls: a QFile per input cost more than the three calls.
inline bool writeInputFile(const QString& path, const uint8_t* data, size_t size) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const bool ok = WriteAll(fd, reinterpret_cast<const char*>(data), qsizetype(size));
    return ::close(fd) == 0 && ok;
}

}  // namespace orv::fuzz
