#include "engine/serial_device.h"

#include "common/orv_error.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace orv {

int SerialOpenErrorCode(int err) {
    switch (err) {
    case ENOENT: case ENODEV: case ENXIO: case ENOTDIR: case ENOTTY: return ecBadId;
    case EBUSY: case EWOULDBLOCK: return ecAlreadyOpen;
    case EACCES: case EPERM: case EROFS: return ecPermissionDenied;
    case EMFILE: case ENFILE: return ecTooManyFiles;
    case ENOMEM: return ecOutOfMemory;
    case EIO: return ecHardware;
    default: return -err;
    }
}

TtySerialDevice::~TtySerialDevice() { Close(); }

int TtySerialDevice::Open(const QString& path) {
    Close();
    const QByteArray name = path.toLocal8Bit();
    int fd;
    do fd = ::open(name.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return SerialOpenErrorCode(errno);
    if (!::isatty(fd)) {
        ::close(fd);
        return ecBadId;
    }
    // flock keeps out every other opener that asks, root included; TIOCEXCL
    // also keeps out programs that do not ask (it does not bind root).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        return err == EWOULDBLOCK ? ecAlreadyOpen : SerialOpenErrorCode(err);
    }
    ::ioctl(fd, TIOCEXCL);
    struct stat st {};
    pseudoTerminal_ = ::fstat(fd, &st) == 0 && major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
    fd_ = fd;
    return ecOK;
}

void TtySerialDevice::Close() {
    if (fd_ < 0) return;
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);  // also releases the flock
    fd_ = -1;
}

ssize_t TtySerialDevice::Read(uint8_t* buffer, size_t count) {
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, count);
        if (n >= 0) return n;
        if (errno != EINTR) return -errno;
    }
}

ssize_t TtySerialDevice::Write(const uint8_t* bytes, size_t count) {
    for (;;) {
        const ssize_t n = ::write(fd_, bytes, count);
        if (n >= 0) return n;
        if (errno != EINTR) return -errno;
    }
}

namespace {

bool speedOf(int32_t baud, speed_t* speed) {
    static const struct {
        int32_t baud;
        speed_t speed;
    } table[] = {{50, B50},         {75, B75},         {110, B110},       {134, B134},
                 {150, B150},       {200, B200},       {300, B300},       {600, B600},
                 {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
                 {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
                 {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
                 {576000, B576000}, {921600, B921600}, {1000000, B1000000}};
    for (const auto& e : table)
        if (e.baud == baud) {
            *speed = e.speed;
            return true;
        }
    return false;
}

}  // namespace

int TtySerialDevice::ApplyLine(const LineSettings& line) {
    speed_t speed;
    if (!speedOf(line.baud, &speed)) return ecBaudRate;
    if (line.dataBits < 5 || line.dataBits > 8) return ecByteSize;
    termios t{};
    if (::tcgetattr(fd_, &t) != 0) return ecNotSupported;
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;  // carrier loss must not hang up the line under us
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    // A pseudo-terminal carries whole bytes: it keeps CS8 and refuses other frames.
    const int dataBits = pseudoTerminal_ ? 8 : line.dataBits;
    const int parity = pseudoTerminal_ ? kParityNone : line.parity;
    t.c_cflag |= dataBits == 5 ? CS5 : dataBits == 6 ? CS6 : dataBits == 7 ? CS7 : CS8;
    switch (parity) {
    case kParityOdd: t.c_cflag |= PARENB | PARODD; break;
    case kParityEven: t.c_cflag |= PARENB; break;
    case kParityMark: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case kParitySpace: t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
    }
    if (line.stopBits >= 2) t.c_cflag |= CSTOPB;  // 1.5 stop bits (with 5 data bits) is CSTOPB too
    // termios has one hardware handshake, RTS/CTS; DTR/DSR handshaking has no equivalent.
    if (line.rtsHandshake || line.outxCtsFlow) t.c_cflag |= CRTSCTS;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (line.outX) t.c_iflag |= IXON;
    if (line.inX) t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = line.xonChar;
    t.c_cc[VSTOP] = line.xoffChar;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    if (::tcsetattr(fd_, TCSANOW, &t) != 0) return ecNotSupported;
    return ecOK;
}

int TtySerialDevice::SetModemLines(bool dtr, bool rts) {
    int set = 0, clear = 0;
    (dtr ? set : clear) |= TIOCM_DTR;
    (rts ? set : clear) |= TIOCM_RTS;
    if (set && ::ioctl(fd_, TIOCMBIS, &set) != 0) return ecNotSupported;
    if (clear && ::ioctl(fd_, TIOCMBIC, &clear) != 0) return ecNotSupported;
    return ecOK;
}

int TtySerialDevice::ReadModemLines(uint8_t* lines) {
    int bits = 0;
    if (::ioctl(fd_, TIOCMGET, &bits) != 0) return ecNotSupported;
    *lines = uint8_t(((bits & TIOCM_CTS) ? kMsrCts : 0) | ((bits & TIOCM_DSR) ? kMsrDsr : 0) |
                     ((bits & TIOCM_RNG) ? kMsrRi : 0) | ((bits & TIOCM_CAR) ? kMsrDcd : 0));
    return ecOK;
}

int TtySerialDevice::ReadLineCounts(LineCounts* counts) {
    serial_icounter_struct c{};
    if (::ioctl(fd_, TIOCGICOUNT, &c) != 0) return ecNotSupported;
    counts->overrun = uint32_t(c.overrun + c.buf_overrun);
    counts->parity = uint32_t(c.parity);
    counts->framing = uint32_t(c.frame);
    counts->brk = uint32_t(c.brk);
    return ecOK;
}

void TtySerialDevice::Purge(bool input, bool output) {
    if (fd_ < 0) return;
    if (input && output) ::tcflush(fd_, TCIOFLUSH);
    else if (input) ::tcflush(fd_, TCIFLUSH);
    else if (output) ::tcflush(fd_, TCOFLUSH);
}

}  // namespace orv
