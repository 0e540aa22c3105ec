#pragma once
// A POSIX file descriptor owned RAII-style, with the few positioned I/O calls
// the table, memo and index files need. Errors raise EInOutError/EDatabase
// naming the file.
#include <QString>

#include <cstdint>

namespace orv {

class FileHandle {
public:
    FileHandle() = default;
    ~FileHandle();
    FileHandle(FileHandle&& other) noexcept;
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    // Opens an existing file; false (errno set) when it cannot be opened.
    bool open(const QString& path, bool writable);
    // Creates or truncates a file.
    bool create(const QString& path);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    const QString& path() const { return path_; }

    qint64 size() const;
    // Reads exactly n bytes at offset; false when the file ends first.
    bool readAt(qint64 offset, void* data, qint64 n) const;
    // Writes all bytes at offset or raises.
    void writeAt(qint64 offset, const void* data, qint64 n);
    void truncate(qint64 size);
    void sync();
    // flock(): exclusive or shared, without waiting; false when another holder conflicts.
    bool lock(bool exclusive);

private:
    int fd_ = -1;
    QString path_;
};

// Raises the EInOutError of errno for an operation on a file.
[[noreturn]] void ThrowIoError(const QString& what, const QString& path);

}  // namespace orv
