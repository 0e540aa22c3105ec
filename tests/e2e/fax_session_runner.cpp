#include "e2e/fax_session_runner.h"

#include "common/orv_error.h"
#include "engine/com_port.h"
#include "engine/fax_port.h"

#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>

namespace orv::test {

namespace {

class Host : public QObject, public FaxEvents {
public:
    SessionResult result;
    QByteArray number;
    QString faxFile, coverFile;
    std::function<void()> whenWaiting;
    QEventLoop loop;

    void FaxStatus(const FaxProgress& p, bool, bool) override {
        result.statuses << p.status;
        if (p.status == fsWaitingForCall && whenWaiting) std::exchange(whenWaiting, nullptr)();
    }
    void FaxLog(int code, const FaxProgress& p) override {
        result.logs << code;
        if ((code == logReceiveOk || code == logReceiveFail) && !p.faxFile.isEmpty()) result.receivedFiles << p.faxFile;
    }
    void FaxError(int code, const FaxProgress&) override { result.errors << code; }
    void FaxFinish(int code, const FaxProgress& p) override {
        result.finished = true;
        result.finishCode = code;
        result.last = p;
        loop.quit();
    }
    bool FaxNext(QByteArray& phone, QString& fax, QString& cover) override {
        if (number.isEmpty()) return false;
        phone = std::exchange(number, {});
        fax = faxFile;
        cover = coverFile;
        return true;
    }
};

bool openPort(TOrvComPort& port, const QString& path, SessionResult& r) {
    port.SetDeviceName(path);
    ApplyFaxPortSettings(port);
    try {
        port.SetOpen(true);
    } catch (const EOrvException& e) {
        r.openError = e.code();
        return false;
    }
    return true;
}

void traceIfAsked(FaxSession& s) {
    if (qEnvironmentVariableIsSet("ORVANE_FAX_TRACE"))
        s.trace = [](const QString& t) { std::fprintf(stderr, "  %s\n", qPrintable(t)); };
}

void run(FaxMachine& machine, TOrvComPort& port, Host& host, int timeoutMs) {
    const int user = port.AddPortUser([&machine](TOrvCustomComPort&, unsigned msg) {
        if (msg == kMsgPortClosing) machine.PortClosing();
    });
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, [&machine] { machine.Abort(); });
    limit.start(timeoutMs);
    machine.Start();
    if (!host.result.finished) host.loop.exec();
    if (!host.result.finished) host.loop.exec();  // the abort's finish
    port.RemovePortUser(user);
}

}  // namespace

SessionResult runSend(const QString& portPath, const QByteArray& number, const QString& file,
                      const std::function<void(FaxSendSession&)>& setup, const QString& cover, int timeoutMs) {
    Host host;
    TOrvComPort port;
    if (!openPort(port, portPath, host.result)) return host.result;
    FaxSendSession s;
    s.port = port.PortHandle();
    traceIfAsked(s);
    if (setup) setup(s);
    host.number = number;
    host.faxFile = file;
    host.coverFile = cover;
    QueuedFaxEvents events(&host, host);
    {
        FaxSender sender(s, events);
        run(sender, port, host, timeoutMs);
    }
    port.SetOpen(false);
    return host.result;
}

SessionResult runReceive(const QString& portPath, const QString& dir, const std::function<void()>& whenWaiting,
                         const std::function<void(FaxReceiveSession&)>& setup, int timeoutMs) {
    Host host;
    host.whenWaiting = whenWaiting;
    TOrvComPort port;
    if (!openPort(port, portPath, host.result)) return host.result;
    FaxReceiveSession s;
    s.port = port.PortHandle();
    s.destinationDir = dir;
    s.oneFax = true;
    s.options = foExitOnError;
    traceIfAsked(s);
    if (setup) setup(s);
    QueuedFaxEvents events(&host, host);
    {
        FaxReceiver receiver(s, events);
        run(receiver, port, host, timeoutMs);
    }
    port.SetOpen(false);
    return host.result;
}

int openDescriptors() { return int(QDir("/proc/self/fd").entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size()); }

int runningThreads() { return int(QDir("/proc/self/task").entryList(QDir::NoDotAndDotDot | QDir::Dirs).size()); }

}  // namespace orv::test
