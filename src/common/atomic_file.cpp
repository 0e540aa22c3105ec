#include "common/atomic_file.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orv {
namespace {

bool fail(QString* error, const QString& what) {
    if (error) *error = what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

}  // namespace

bool WriteAll(int fd, const char* p, qsizetype n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, static_cast<size_t>(n));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            if (w == 0) errno = ENOSPC;
            return false;
        }
        p += w;
        n -= w;
    }
    return true;
}

bool WriteFileAtomically(const QString& path, const QByteArray& data, QString* error) {
    const QByteArray target = QFile::encodeName(path);
    QByteArray temp = target + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return fail(error, QStringLiteral("cannot create a file beside %1").arg(path));

    struct stat st {};
    mode_t mode;
    if (::stat(target.constData(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    const bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, data.constData(), data.size()) && ::fsync(fd) == 0;
    const int savedErrno = errno;
    const bool closed = ::close(fd) == 0;
    if (!ok || !closed) {
        errno = ok ? errno : savedErrno;
        ::unlink(temp.constData());
        return fail(error, QStringLiteral("cannot write %1").arg(path));
    }
    if (::rename(temp.constData(), target.constData()) != 0) {
        const int e = errno;
        ::unlink(temp.constData());
        errno = e;
        return fail(error, QStringLiteral("cannot replace %1").arg(path));
    }
    return true;
}

}  // namespace orv
