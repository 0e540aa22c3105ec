#pragma once
// Independent fax programs and a raw serial peer for the modemsim tests.
#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>

namespace orv::test {

// efax puts 20 blank scan lines above every page it sends.
inline constexpr int kEfaxTopLines = 20;

// A fax document made by efix (efax's converter) from text: one TIFF per page
// and all pages in one file.
struct TestDocument {
    QStringList pages;
    QString allPages;
};
// Writes `pages` pages of `lines` text lines into `folder`; empty on failure.
TestDocument makeDocument(const QString& folder, int pages, int lines);

// A program running with its output in a log file.
class LoggedProgram {
public:
    LoggedProgram(const QString& program, const QStringList& args, const QString& logFile);
    ~LoggedProgram();
    bool waitForLog(const QString& text, int timeoutMs);  // the text shows in the log
    int wait(int timeoutMs);  // exit code, or -1 on timeout (the program is killed)
    QString log() const;

private:
    QProcess process_;
    QString logFile_;
};

// The serial side of a modem port, opened raw like a fax program opens it.
class SerialPeer {
public:
    explicit SerialPeer(const QString& path);
    ~SerialPeer();
    bool isOpen() const { return fd_ >= 0; }
    void send(const QByteArray& bytes);
    void command(const QString& cmd) { send((cmd + "\r").toLatin1()); }
    // Reads until `text` has arrived (returns everything read, or what came
    // before the timeout).
    QByteArray readUntil(const QByteArray& text, int timeoutMs);
    // Everything that arrives within `ms`.
    QByteArray readFor(int ms);
    void setSpeed(int baudConstant);  // e.g. B0 to drop DTR, B19200 to raise it
    int fd() const { return fd_; }

private:
    int fd_ = -1;
};

}  // namespace orv::test
