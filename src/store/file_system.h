#pragma once
// The seam between the record store and the files it keeps: every open,
// read, write, flush, rename and lock of a table, memo or index file goes
// through a FileSystem. The program uses the real one (POSIX calls); tests
// and fuzz targets use MemoryFileSystem, which keeps files in memory and can
// forget every write not yet flushed, as a power cut would.
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>

namespace orv {

// One open file. Failures return false (or nullptr) with errno set.
class OpenFile {
public:
    virtual ~OpenFile() = default;
    virtual qint64 size() const = 0;
    // Exactly n bytes at offset; false when the file ends first.
    virtual bool readAt(qint64 offset, void* data, qint64 n) const = 0;
    virtual bool writeAt(qint64 offset, const void* data, qint64 n) = 0;
    virtual bool truncate(qint64 size) = 0;
    // Makes the file's data durable (fdatasync).
    virtual bool sync() = 0;
    // Whole-file lock without waiting, shared or exclusive; false when another holder conflicts.
    virtual bool lock(bool exclusive) = 0;
    // Locks or unlocks one byte at offset without waiting (record and update locks).
    virtual bool lockByte(qint64 offset, bool lock) = 0;
    // A read-only view of the file valid for addresses below length (the
    // file may grow into it); nullptr on failure. One view per file at a time.
    virtual const char* map(size_t length) = 0;
    virtual void unmap() = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // The POSIX file system.
    static FileSystem& real();

    // An existing file; nullptr (errno set) when it cannot be opened.
    virtual std::unique_ptr<OpenFile> open(const QString& path, bool writable) = 0;
    // Creates or truncates a file.
    virtual std::unique_ptr<OpenFile> create(const QString& path) = 0;
    virtual bool exists(const QString& path) const = 0;
    virtual bool remove(const QString& path) = 0;
    // Replaces to with from (atomically, as rename(2)).
    virtual bool rename(const QString& from, const QString& to) = 0;
    // Makes the folder's entries (creations, renames, removals) durable.
    virtual bool syncFolder(const QString& folder) = 0;
    // A value that changes whenever the file is written or replaced.
    virtual qint64 stamp(const QString& path) const = 0;
};

// The folder part of a path.
QString FolderOf(const QString& path);
// The temporary file ReplaceFileDurably writes beside path.
QString TemporaryOf(const QString& path);
// The whole file; raises EInOutError when it cannot be read.
QByteArray ReadWholeFile(FileSystem& fs, const QString& path);
// Replaces a file so that a crash or power cut leaves the old contents or the
// new, never a mixture: temporary file, flush, rename, folder flush. False
// (error set) on failure, with no temporary file left behind.
bool ReplaceFileDurably(FileSystem& fs, const QString& path, const QByteArray& data, QString* error = nullptr);

}  // namespace orv
