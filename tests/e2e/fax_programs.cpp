#include "fax_programs.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace orv::test {

TestDocument makeDocument(const QString& folder, int pages, int lines) {
    TestDocument doc;
    QStringList cp;
    for (int p = 1; p <= pages; ++p) {
        QString text;
        for (int l = 1; l <= lines; ++l)
            text += QString("Page %1 of %2, line %3: The quick brown fox jumps over the lazy dog %4\n")
                        .arg(p).arg(pages).arg(l).arg(l * 7919 % 1000);
        QString txt = folder + QString("/doc.%1.txt").arg(p);
        QString tif = folder + QString("/doc.%1.tif").arg(p);
        QFile f(txt);
        if (!f.open(QIODevice::WriteOnly)) return {};
        f.write(text.toLatin1());
        f.close();
        if (QProcess::execute("efix", {"-itext", "-otiffg3", "-n", tif, txt}) != 0 || !QFile::exists(tif)) return {};
        doc.pages << tif;
        cp << tif;
    }
    doc.allPages = folder + "/doc.tif";
    cp << doc.allPages;
    if (QProcess::execute("tiffcp", cp) != 0) return {};
    return doc;
}

LoggedProgram::LoggedProgram(const QString& program, const QStringList& args, const QString& logFile)
    : logFile_(logFile) {
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.setStandardOutputFile(logFile);
    process_.setStandardInputFile(QProcess::nullDevice());
    process_.start(program, args);
    process_.waitForStarted(5000);
}

LoggedProgram::~LoggedProgram() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(2000);
    }
}

bool LoggedProgram::waitForLog(const QString& text, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (log().contains(text)) return true;
        if (process_.state() == QProcess::NotRunning) return log().contains(text);
        QThread::msleep(50);
    }
    return false;
}

int LoggedProgram::wait(int timeoutMs) {
    if (!process_.waitForFinished(timeoutMs)) {
        process_.kill();
        process_.waitForFinished(2000);
        return -1;
    }
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

QString LoggedProgram::log() const {
    QFile f(logFile_);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromLatin1(f.readAll());
}

SerialPeer::SerialPeer(const QString& path) {
    fd_ = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) return;
    termios t{};
    tcgetattr(fd_, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, B19200);
    cfsetospeed(&t, B19200);
    tcsetattr(fd_, TCSANOW, &t);
}

SerialPeer::~SerialPeer() {
    if (fd_ >= 0) ::close(fd_);
}

void SerialPeer::send(const QByteArray& bytes) {
    qsizetype done = 0;
    QDeadlineTimer deadline(5000);
    while (fd_ >= 0 && done < bytes.size() && !deadline.hasExpired()) {
        ssize_t n = ::write(fd_, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n > 0) done += n;
        else QThread::msleep(2);
    }
}

QByteArray SerialPeer::readUntil(const QByteArray& text, int timeoutMs) {
    QByteArray got;
    QDeadlineTimer deadline(timeoutMs);
    while (fd_ >= 0 && !got.contains(text) && !deadline.hasExpired()) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(qMin<qint64>(deadline.remainingTime(), 100))) <= 0) continue;
        if (p.revents & (POLLHUP | POLLERR) && !(p.revents & POLLIN)) break;
        char buf[4096];
        ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n > 0) got.append(buf, n);
        else if (n == 0 || (n < 0 && errno != EAGAIN)) break;
    }
    return got;
}

QByteArray SerialPeer::readFor(int ms) { return readUntil(QByteArray("\x01\x02\x03never"), ms); }

void SerialPeer::setSpeed(int baud) {
    termios t{};
    tcgetattr(fd_, &t);
    cfsetispeed(&t, static_cast<speed_t>(baud));
    cfsetospeed(&t, static_cast<speed_t>(baud));
    tcsetattr(fd_, TCSANOW, &t);
}

}  // namespace orv::test
