#include "store/file_handle.h"

#include "common/orv_error.h"

#include <cerrno>
#include <cstring>

namespace orv {

void ThrowIoError(const QString& what, const QString& path) {
    const int e = errno;
    int code = -e;
    if (e == ENOSPC || e == EDQUOT) code = ecDiskFull;
    if (code < -162 || code > -2) code = ecDiskWrite;
    const QString text = what + QStringLiteral(" ") + path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(e));
    if (code == ecOutOfMemory) throw EOutOfMemory(code, text);
    throw EInOutError(code, text);
}

bool FileHandle::open(FileSystem& fs, const QString& path, bool writable) {
    close();
    path_ = path;
    file_ = fs.open(path, writable);
    return file_ != nullptr;
}

bool FileHandle::create(FileSystem& fs, const QString& path) {
    close();
    path_ = path;
    file_ = fs.create(path);
    return file_ != nullptr;
}

qint64 FileHandle::size() const { return file_ ? file_->size() : -1; }

bool FileHandle::readAt(qint64 offset, void* data, qint64 n) const { return file_ && file_->readAt(offset, data, n); }

void FileHandle::writeAt(qint64 offset, const void* data, qint64 n) {
    if (!file_) errno = EBADF;
    if (!file_ || !file_->writeAt(offset, data, n)) ThrowIoError(QStringLiteral("cannot write"), path_);
}

void FileHandle::truncate(qint64 size) {
    if (!file_) errno = EBADF;
    if (!file_ || !file_->truncate(size)) ThrowIoError(QStringLiteral("cannot resize"), path_);
}

void FileHandle::sync() {
    if (!file_) errno = EBADF;
    if (!file_ || !file_->sync()) ThrowIoError(QStringLiteral("cannot flush"), path_);
}

bool FileHandle::lock(bool exclusive) { return file_ && file_->lock(exclusive); }

bool FileHandle::lockByte(qint64 offset, bool lock) { return file_ && file_->lockByte(offset, lock); }

const char* FileHandle::map(size_t length) {
    const char* p = file_ ? file_->map(length) : nullptr;
    if (!p) ThrowIoError(QStringLiteral("cannot map"), path_);
    return p;
}

void FileHandle::unmap() {
    if (file_) file_->unmap();
}

}  // namespace orv
