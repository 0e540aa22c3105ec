#pragma once
// An open table, memo or index file (through a FileSystem, so tests can run
// the store on files in memory), with the few positioned I/O calls those
// files need. Errors raise EInOutError naming the file.
#include "store/file_system.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace orv {

class FileHandle {
public:
    FileHandle() = default;
    ~FileHandle() = default;
    FileHandle(FileHandle&& other) noexcept = default;
    FileHandle& operator=(FileHandle&& other) noexcept = default;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    // Opens an existing file; false (errno set) when it cannot be opened.
    bool open(FileSystem& fs, const QString& path, bool writable);
    // Creates or truncates a file.
    bool create(FileSystem& fs, const QString& path);
    void close() { file_.reset(); }
    bool isOpen() const { return file_ != nullptr; }
    const QString& path() const { return path_; }

    qint64 size() const;
    // Reads exactly n bytes at offset; false when the file ends first.
    bool readAt(qint64 offset, void* data, qint64 n) const;
    // Writes all bytes at offset or raises.
    void writeAt(qint64 offset, const void* data, qint64 n);
    void truncate(qint64 size);
    // Makes the data durable or raises.
    void sync();
    // flock()-style: exclusive or shared, without waiting; false when another holder conflicts.
    bool lock(bool exclusive);
    // One-byte lock or unlock without waiting.
    bool lockByte(qint64 offset, bool lock);
    // See OpenFile::map; raises when the file cannot be mapped.
    const char* map(size_t length);
    void unmap();

private:
    std::unique_ptr<OpenFile> file_;
    QString path_;
};

// Raises the EInOutError of errno for an operation on a file.
[[noreturn]] void ThrowIoError(const QString& what, const QString& path);

}  // namespace orv
