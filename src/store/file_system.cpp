#include "store/file_system.h"

#include "store/file_handle.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orv {
namespace {

class PosixFile final : public OpenFile {
public:
    explicit PosixFile(int fd) : fd_(fd) {}
    ~PosixFile() override {
        unmap();
        ::close(fd_);
    }
    qint64 size() const override {
        struct stat st {};
        if (::fstat(fd_, &st) != 0) return -1;
        return st.st_size;
    }
    bool readAt(qint64 offset, void* data, qint64 n) const override {
        auto* p = static_cast<char*>(data);
        while (n > 0) {
            const ssize_t r = ::pread(fd_, p, size_t(n), offset);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return false;
            p += r, n -= r, offset += r;
        }
        return true;
    }
    bool writeAt(qint64 offset, const void* data, qint64 n) override {
        const auto* p = static_cast<const char*>(data);
        while (n > 0) {
            const ssize_t w = ::pwrite(fd_, p, size_t(n), offset);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                if (w == 0) errno = ENOSPC;
                return false;
            }
            p += w, n -= w, offset += w;
        }
        return true;
    }
    bool truncate(qint64 size) override { return ::ftruncate(fd_, size) == 0; }
    bool sync() override { return ::fdatasync(fd_) == 0 || errno == EINVAL; }
    bool lock(bool exclusive) override { return ::flock(fd_, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0; }
    bool lockByte(qint64 offset, bool lock) override {
        struct flock fl {};
        fl.l_type = lock ? F_WRLCK : F_UNLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = off_t(offset);
        fl.l_len = 1;
        return ::fcntl(fd_, F_OFD_SETLK, &fl) == 0;
    }
    const char* map(size_t length) override {
        unmap();
        void* p = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, fd_, 0);
        if (p == MAP_FAILED) return nullptr;
        map_ = p, mapLen_ = length;
        return static_cast<const char*>(p);
    }
    void unmap() override {
        if (map_) ::munmap(map_, mapLen_);
        map_ = nullptr, mapLen_ = 0;
    }

private:
    int fd_;
    void* map_ = nullptr;
    size_t mapLen_ = 0;
};

class PosixFileSystem final : public FileSystem {
public:
    std::unique_ptr<OpenFile> open(const QString& path, bool writable) override {
        const int fd = ::open(QFile::encodeName(path).constData(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
        if (fd < 0) return nullptr;
        return std::make_unique<PosixFile>(fd);
    }
    std::unique_ptr<OpenFile> create(const QString& path) override {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) return nullptr;
        return std::make_unique<PosixFile>(fd);
    }
    bool exists(const QString& path) const override {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0;
    }
    bool remove(const QString& path) override { return ::unlink(QFile::encodeName(path).constData()) == 0; }
    bool rename(const QString& from, const QString& to) override {
        return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
    }
    bool syncFolder(const QString& folder) override {
        const int fd = ::open(QFile::encodeName(folder.isEmpty() ? QStringLiteral(".") : folder).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return false;
        const bool ok = ::fsync(fd) == 0 || errno == EINVAL;
        const int e = errno;
        ::close(fd);
        errno = e;
        return ok;
    }
    qint64 stamp(const QString& path) const override {
        struct stat st {};
        if (::stat(QFile::encodeName(path).constData(), &st) != 0) return 0;
        return qint64(st.st_mtim.tv_sec) * 1000000007LL + st.st_mtim.tv_nsec + qint64(st.st_size) * 31 + qint64(st.st_ino) * 131;
    }
};

}  // namespace

FileSystem& FileSystem::real() {
    static PosixFileSystem fs;
    return fs;
}

QString FolderOf(const QString& path) { return QFileInfo(path).path(); }

QString TemporaryOf(const QString& path) { return path + QStringLiteral(".part"); }

QByteArray ReadWholeFile(FileSystem& fs, const QString& path) {
    const auto f = fs.open(path, false);
    if (!f) ThrowIoError(QStringLiteral("cannot read"), path);
    const qint64 n = f->size();
    QByteArray bytes(qsizetype(std::max<qint64>(n, 0)), Qt::Uninitialized);
    if (n < 0 || (n > 0 && !f->readAt(0, bytes.data(), n))) {
        if (errno == 0) errno = EIO;
        ThrowIoError(QStringLiteral("cannot read"), path);
    }
    return bytes;
}

bool ReplaceFileDurably(FileSystem& fs, const QString& path, const QByteArray& data, QString* error) {
    // A fixed name, so that what a crash leaves is known (TemporaryOf) and
    // removed on the next open; writers of one file take turns (update lock).
    const QString temp = TemporaryOf(path);
    auto fail = [&](const QString& what) {
        const int e = errno;
        fs.remove(temp);
        if (error) *error = what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(e));
        errno = e;
        return false;
    };
    {
        const auto f = fs.create(temp);
        if (!f) return fail(QStringLiteral("cannot create a file beside %1").arg(path));
        if (!f->writeAt(0, data.constData(), data.size()) || !f->sync()) return fail(QStringLiteral("cannot write %1").arg(path));
    }
    if (!fs.rename(temp, path)) return fail(QStringLiteral("cannot replace %1").arg(path));
    if (!fs.syncFolder(FolderOf(path))) {
        if (error) *error = QStringLiteral("cannot flush the folder of %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

}  // namespace orv
