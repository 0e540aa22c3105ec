#include "pty_port.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace orv::modemsim {

std::unique_ptr<PtyPort> PtyPort::open(const std::string& linkPath, std::string& error) {
    std::unique_ptr<PtyPort> p(new PtyPort);
    p->link_ = linkPath;
    p->master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (p->master_ < 0 || grantpt(p->master_) != 0 || unlockpt(p->master_) != 0) {
        error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return nullptr;
    }
    fcntl(p->master_, F_SETFD, FD_CLOEXEC);
    char name[128];
    if (ptsname_r(p->master_, name, sizeof name) != 0) {
        error = std::string("cannot name the pseudo-terminal: ") + std::strerror(errno);
        return nullptr;
    }
    p->slaveName_ = name;
    p->slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (p->slave_ < 0) {
        error = "cannot open " + p->slaveName_ + ": " + std::strerror(errno);
        return nullptr;
    }
    // Raw, 8 bits, no echo: what a program that never touches the line
    // settings expects of a serial port, and no echo of our own responses.
    termios t{};
    tcgetattr(p->slave_, &t);
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&t, B19200);
    cfsetospeed(&t, B19200);
    tcsetattr(p->slave_, TCSANOW, &t);

    // Replace a stale link from an earlier run, never a real file.
    struct stat st{};
    if (lstat(linkPath.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = linkPath + " exists and is not a symbolic link";
            return nullptr;
        }
        ::unlink(linkPath.c_str());
    }
    if (::symlink(name, linkPath.c_str()) != 0) {
        error = "cannot create link " + linkPath + ": " + std::strerror(errno);
        return nullptr;
    }
    return p;
}

PtyPort::~PtyPort() { unplug(); }

bool PtyPort::dtrLow() const {
    if (slave_ < 0) return false;
    termios t{};
    if (tcgetattr(slave_, &t) != 0) return false;
    return cfgetospeed(&t) == B0;
}

size_t PtyPort::read(char* buf, size_t max) {
    if (master_ < 0) return 0;
    ssize_t n = ::read(master_, buf, max);
    return n > 0 ? static_cast<size_t>(n) : 0;
}

void PtyPort::write(const std::string& bytes) {
    if (master_ < 0) return;
    pending_ += bytes;
    flush();
}

void PtyPort::flush() {
    while (master_ >= 0 && !pending_.empty()) {
        ssize_t n = ::write(master_, pending_.data(), pending_.size());
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            return;  // the program is not reading; try again when writable
        }
        pending_.erase(0, static_cast<size_t>(n));
    }
}

void PtyPort::unplug() {
    if (!link_.empty()) {
        struct stat st{};
        char target[256];
        ssize_t n = ::readlink(link_.c_str(), target, sizeof target - 1);
        // Only our own link: a later run may already have replaced it.
        if (lstat(link_.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && n > 0 &&
            std::string(target, static_cast<size_t>(n)) == slaveName_)
            ::unlink(link_.c_str());
    }
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
    slave_ = master_ = -1;
    pending_.clear();
}

}  // namespace orv::modemsim
