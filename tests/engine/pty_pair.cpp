#include "engine/pty_pair.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace orv::test {

PtyPair::PtyPair() {
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master_, &slave, name, nullptr, nullptr) != 0) std::abort();
    // Raw from the start, so nothing is echoed before the port sets the line up.
    termios t{};
    ::tcgetattr(slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave, TCSANOW, &t);
    ::close(slave);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    slave_ = QString::fromLocal8Bit(name);
}

PtyPair::~PtyPair() { hangUp(); }

void PtyPair::hangUp() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

void PtyPair::write(const QByteArray& bytes) {
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(master_, p, size_t(left));
        if (n < 0) {
            if (errno != EAGAIN && errno != EINTR) std::abort();
            pollfd pfd{master_, POLLOUT, 0};
            ::poll(&pfd, 1, 100);
            continue;
        }
        p += n;
        left -= n;
    }
}

QByteArray PtyPair::read(int count, int timeoutMs) {
    QByteArray out;
    QElapsedTimer timer;
    timer.start();
    char buf[4096];
    while (out.size() < count && timer.elapsed() < timeoutMs) {
        pollfd pfd{master_, POLLIN, 0};
        ::poll(&pfd, 1, 20);
        const ssize_t n = ::read(master_, buf, std::min<size_t>(sizeof buf, size_t(count - out.size())));
        if (n > 0) out.append(buf, n);
    }
    return out;
}

bool waitUntil(const std::function<bool()>& pred, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (pred()) return true;
        if (timer.elapsed() > timeoutMs) return false;
        QThread::msleep(2);
    }
}

}  // namespace orv::test
