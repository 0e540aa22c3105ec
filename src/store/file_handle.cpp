#include "store/file_handle.h"

#include "common/orv_error.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

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

FileHandle::~FileHandle() { close(); }

FileHandle::FileHandle(FileHandle&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) { other.fd_ = -1; }

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        path_ = std::move(other.path_);
        other.fd_ = -1;
    }
    return *this;
}

bool FileHandle::open(const QString& path, bool writable) {
    close();
    path_ = path;
    fd_ = ::open(QFile::encodeName(path).constData(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    return fd_ >= 0;
}

bool FileHandle::create(const QString& path) {
    close();
    path_ = path;
    fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return fd_ >= 0;
}

void FileHandle::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

qint64 FileHandle::size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return -1;
    return st.st_size;
}

bool FileHandle::readAt(qint64 offset, void* data, qint64 n) const {
    auto* p = static_cast<char*>(data);
    while (n > 0) {
        const ssize_t r = ::pread(fd_, p, size_t(n), offset);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= r;
        offset += r;
    }
    return true;
}

void FileHandle::writeAt(qint64 offset, const void* data, qint64 n) {
    const auto* p = static_cast<const char*>(data);
    while (n > 0) {
        const ssize_t w = ::pwrite(fd_, p, size_t(n), offset);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            if (w == 0) errno = ENOSPC;
            ThrowIoError(QStringLiteral("cannot write"), path_);
        }
        p += w;
        n -= w;
        offset += w;
    }
}

void FileHandle::truncate(qint64 size) {
    if (::ftruncate(fd_, size) != 0) ThrowIoError(QStringLiteral("cannot resize"), path_);
}

void FileHandle::sync() {
    if (::fdatasync(fd_) != 0 && errno != EINVAL) ThrowIoError(QStringLiteral("cannot flush"), path_);
}

bool FileHandle::lock(bool exclusive) {
    return ::flock(fd_, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0;
}

}  // namespace orv
